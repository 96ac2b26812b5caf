#include "PortSearch.h"

#include "Connection.h"
#include "Language.h"
#include "PortChoice.h"
#include "PortName.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>

#include <utility>

namespace {
constexpr int kIdSearch = 30172;
constexpr int kIdSearching = 30173;
constexpr int kIdFound = 30174;
constexpr int kIdNoneFound = 30175;
}  // namespace

PortSearch::PortSearch(QWidget& page, PortChoice& ports, const DeviceConnection& device, MessageFn message)
    : QObject(&page), ports_(ports), device_(device), message_(std::move(message)), candidates_([](QStringList* labels) {
          return comm::SearchCandidates({}, false, labels);
      })
{
    btnSearch = new QPushButton(&page);
    btnSearch->setObjectName(QStringLiteral("btnSearch"));
    btnSearch->setGeometry(12, 246, 218, 26);
    lstFound = new QListWidget(&page);
    lstFound->setObjectName(QStringLiteral("lstFound"));
    lstFound->setGeometry(12, 276, 218, 72);
    // A long adapter name keeps its start and its reply time; the whole is the tool tip.
    lstFound->setTextElideMode(Qt::ElideMiddle);
    lstFound->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstFound->setAccessibleName(QStringLiteral("Ports where a KESTRA answers"));
    connect(btnSearch, &QPushButton::clicked, this, &PortSearch::Start);
    connect(lstFound, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { Choose(item->data(Qt::UserRole).toString()); });
    ApplyLanguage();
}

void PortSearch::ApplyLanguage()
{
    btnSearch->setText(LoadStr(running_ ? kIdSearching : kIdSearch));
}

void PortSearch::Start()
{
    if (running_) {
        return;
    }
    running_ = true;
    btnSearch->setEnabled(false);
    ApplyLanguage();
    lstFound->clear();
    QPointer<PortSearch> self(this);
    // The pool is joined before the application object goes, which is what
    // the results are handed to; the window may be gone by then.
    QThreadPool::globalInstance()->start([self, candidates = candidates_] {
        QStringList labels;
        const QStringList names = candidates(&labels);
        std::vector<comm::ProbeResult> results = comm::ProbePorts(names, labels, kWaitMs);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, results = std::move(results)]() mutable {
                if (self) {
                    self->Show(std::move(results));
                }
            },
            Qt::QueuedConnection);
    });
}

void PortSearch::Show(std::vector<comm::ProbeResult> results)
{
    running_ = false;
    ++searches_;
    btnSearch->setEnabled(true);
    ApplyLanguage();
    results_ = std::move(results);
    QStringList found;
    // The port this window is connected to is held by the window itself.
    const QString self = QStringLiteral("(pid %1)").arg(QCoreApplication::applicationPid());
    for (const comm::ProbeResult& r : results_) {
        const bool ours = r.outcome == comm::ProbeOutcome::Busy && r.holder.endsWith(self) && device_.Connected();
        if (r.outcome == comm::ProbeOutcome::Answers || ours) {
            auto* item = new QListWidgetItem(ours ? QStringLiteral("%1  (%2)").arg(r.port, LoadStr(30117))
                                                  : QStringLiteral("%1  (%2 ms)").arg(r.port).arg(r.replyMs),
                                             lstFound);
            item->setData(Qt::UserRole, r.name);
            item->setToolTip(item->text());
            found << r.port;
        }
    }
    if (found.isEmpty()) {
        message_(LoadStr(kIdNoneFound).arg(results_.size()));
        return;
    }
    lstFound->setCurrentRow(0);
    Choose(lstFound->item(0)->data(Qt::UserRole).toString());
    message_(LoadStr(kIdFound).arg(found.join(QStringLiteral(", "))));
}

void PortSearch::Choose(const QString& name)
{
    // COM1..COM8's devices are chosen by their numbers, as the box lists them.
    for (int n = 1; n <= PortChoice::kComPorts; ++n) {
        if (name == comm::DefaultPortName(n)) {
            ports_.Choose(QStringLiteral("COM%1").arg(n));
            return;
        }
    }
    ports_.Choose(name);
}
