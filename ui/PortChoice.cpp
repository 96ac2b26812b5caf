#include "PortChoice.h"

#include "Lcomm.h"
#include "PortName.h"
#include "PortSetting.h"
#include "Settings.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QThreadPool>
#include <QTimer>

#include <utility>

PortChoice::PortChoice(PortSetting& port, QComboBox* combo, RefusedFn refused, ChosenFn chosen)
    : QObject(combo), port_(port), refused_(std::move(refused)), chosen_(std::move(chosen)), combo_(combo), timer_(new QTimer(this)), lister_(comm::DetectPorts)
{
    combo_->setEditable(true);
    // A typed name is taken as it is, never added to the list.
    combo_->setInsertPolicy(QComboBox::NoInsert);
    combo_->setToolTip(QStringLiteral("COM1..COM8, a detected port, a device path such as /dev/ttyUSB0, "
                                      "tcp://HOST:PORT or rfc2217://HOST:PORT"));
    connect(combo_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (combo_->currentText() != port_.Label()) {
            Choose(combo_->currentText());
        }
    });
#if defined(Q_OS_LINUX)
    // A node appears in /dev a moment before it is ready; list once it settled.
    timer_->setSingleShot(true);
    timer_->setInterval(kSettleMs);
    connect(timer_, &QTimer::timeout, this, &PortChoice::Refresh);
#else
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (combo_->isVisible()) {
            Refresh();
        }
    });
#endif
}

void PortChoice::Start()
{
    Refresh();
#if defined(Q_OS_LINUX)
    if (watcher_ == nullptr) {
        watcher_ = new QFileSystemWatcher({QStringLiteral("/dev")}, this);
        connect(watcher_, &QFileSystemWatcher::directoryChanged, timer_, qOverload<>(&QTimer::start));
    }
#else
    timer_->start();
#endif
}

void PortChoice::Refresh()
{
    if (listing_) {
        again_ = true;
        return;
    }
    listing_ = true;
    QPointer<PortChoice> self(this);
    // The pool is joined before the application object goes, which is what
    // the result is handed to; the box may be gone by then.
    QThreadPool::globalInstance()->start([self, lister = lister_] {
        const QList<comm::DetectedPort> detected = lister();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, detected] {
                if (self) {
                    self->Apply(detected);
                }
            },
            Qt::QueuedConnection);
    });
}

void PortChoice::Apply(const QList<comm::DetectedPort>& detected)
{
    listing_ = false;
    ++listings_;
    if (again_) {
        again_ = false;
        Refresh();
    }
    QList<comm::DetectedPort> ports;
    for (const comm::DetectedPort& port : detected) {
        bool isComPort = false;
        for (int n = 1; n <= kComPorts; ++n) {
            isComPort = isComPort || port.location == comm::DefaultPortName(n);
        }
        if (!isComPort) {
            ports.append(port);
        }
    }
    if (ports == listed_) {
        return;
    }
    listed_ = ports;
    const QSignalBlocker block(combo_);
    const QString shown = combo_->currentText();
    const bool editing = combo_->lineEdit()->hasFocus();
    while (combo_->count() > kComPorts) {
        combo_->removeItem(combo_->count() - 1);
    }
    for (const comm::DetectedPort& port : ports) {
        combo_->addItem(comm::DisplayText(port), port.location);
        combo_->setItemData(combo_->count() - 1, comm::DetailText(port), Qt::ToolTipRole);
    }
    if (editing) {
        combo_->setEditText(shown);
    } else {
        ShowCurrent();
    }
}

void PortChoice::ShowCurrent()
{
    const QSignalBlocker block(combo_);
    const QString& forRun = port_.forRun;
    if (!forRun.isEmpty()) {
        // A port given for this run is the one in use, so the one shown.
        combo_->setCurrentIndex(-1);
        combo_->setEditText(forRun);
        return;
    }
    if (port_.name.isEmpty()) {
        combo_->setCurrentIndex(port_.number - 1);
        return;
    }
    const int index = combo_->findData(port_.name);
    if (index >= 0) {
        combo_->setCurrentIndex(index);
    } else {
        combo_->setCurrentIndex(-1);
        combo_->setEditText(port_.name);
    }
}

bool PortChoice::Choose(const QString& text)
{
    // An item's text carries its description; the item's data is the port.
    QString name = text.trimmed();
    const int index = combo_->findText(name);
    if (index >= kComPorts) {
        name = combo_->itemData(index).toString();
    }
    const comm::PortAddress address = comm::ParsePortName(name);
    if (!address.Ok()) {
        refused_(address.error);
        return false;
    }
    if (!port_.forRun.isEmpty()) {
        SetForRun(QString());  // the user's choice replaces the run's port
    }
    static const QRegularExpression com(QStringLiteral("^COM([1-8])$"), QRegularExpression::CaseInsensitiveOption);
    if (const auto m = com.match(name); m.hasMatch()) {
        port_.number = m.captured(1).toInt();
        port_.name.clear();
    } else {
        port_.name = name;
    }
    ShowCurrent();
    chosen_();
    return true;
}

void PortChoice::SetForRun(const QString& name)
{
    port_.forRun = name;
    LComm::SetPortOverride(name);
    ShowCurrent();
}
