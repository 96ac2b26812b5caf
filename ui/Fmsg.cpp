#include "Fmsg.h"

#include "Language.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>

namespace {
// Design-time geometry of the window and its memo.
constexpr int kDesignLeft = 661;
constexpr int kDesignTop = 19;
constexpr int kDesignWidth = 153;
constexpr int kDesignHeight = 609;
constexpr int kMemoWidth = 145;
constexpr int kMemoHeight = 529;
constexpr int kRadioLeft = 16;
constexpr int kRadioWidth = 113;
constexpr int kRadioHeight = 17;
// Space below the memo for the two radio buttons.
constexpr int kMemoBottomMargin = 98;
constexpr int kIdDecoded = 30134;
constexpr int kIdSaveLog = 30135;
}  // namespace

TfrmMsg::TfrmMsg(QWidget* parent) : QWidget(parent, Qt::Window | Qt::Tool)
{
    setObjectName(QStringLiteral("frmMsg"));
    setWindowTitle(QStringLiteral("frmMsg"));
    setGeometry(kDesignLeft, kDesignTop, kDesignWidth, kDesignHeight);

    mmMsg = new QPlainTextEdit(this);
    mmMsg->setObjectName(QStringLiteral("mmMsg"));
    mmMsg->setReadOnly(true);
    mmMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmMsg->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmMsg->setGeometry(0, 0, kMemoWidth, kMemoHeight);
    QPalette pal = mmMsg->palette();
    pal.setColor(QPalette::Base, QColor(0xC8, 0xC8, 0xC8));  // the scroll-bar grey
    mmMsg->setPalette(pal);

    rbRXTX = new QRadioButton(QStringLiteral("show rx and tx"), this);
    rbRXTX->setObjectName(QStringLiteral("rbRXTX"));
    rbRXTX->setGeometry(kRadioLeft, 536, kRadioWidth, kRadioHeight);
    rbRXTX->setChecked(true);
    rbRXOnly = new QRadioButton(QStringLiteral("show rx only"), this);
    rbRXOnly->setObjectName(QStringLiteral("rbRXOnly"));
    rbRXOnly->setGeometry(kRadioLeft, 560, kRadioWidth, kRadioHeight);

    // Within the room below the memo, under the two radio buttons.
    cbDecoded = new QCheckBox(this);
    cbDecoded->setObjectName(QStringLiteral("cbDecoded"));
    btnSaveLog = new QPushButton(this);
    btnSaveLog->setObjectName(QStringLiteral("btnSaveLog"));
    ApplyLanguage();
    PlaceAdditions();
    connect(btnSaveLog, &QPushButton::clicked, this, &TfrmMsg::saveLogRequested);
    // Decoded lines are long: the memo widens while they are shown.
    connect(cbDecoded, &QCheckBox::toggled, this, [this] {
        mmMsg->resize(MemoWidth(), mmMsg->height());
        resize(MemoWidth() + 8, height());
    });
}

int TfrmMsg::MemoWidth() const
{
    return cbDecoded->isChecked() ? kDecodedMemoWidth : kMemoWidth;
}

void TfrmMsg::PlaceAdditions()
{
    const int below = mmMsg->y() + mmMsg->height();
    cbDecoded->setGeometry(kRadioLeft, below + 52, kRadioWidth + 20, kRadioHeight);
    btnSaveLog->setGeometry(kRadioLeft - 8, below + 70, kMemoWidth - kRadioLeft + 8, 22);
}

void TfrmMsg::ApplyLanguage()
{
    cbDecoded->setText(LoadStr(kIdDecoded));
    btnSaveLog->setText(LoadStr(kIdSaveLog));
}

void TfrmMsg::AppendLine(const QString& line)
{
    if (pending_.isEmpty()) {
        QMetaObject::invokeMethod(this, &TfrmMsg::Flush, Qt::QueuedConnection);
    }
    pending_.append(line);
}

void TfrmMsg::Flush()
{
    if (!pending_.isEmpty()) {
        mmMsg->appendPlainText(pending_.join(QLatin1Char('\n')));
        pending_.clear();
    }
}

void TfrmMsg::Clear()
{
    pending_.clear();
    mmMsg->clear();
}

QStringList TfrmMsg::Lines() const
{
    const QString text = mmMsg->toPlainText();
    return (text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'))) + pending_;
}

void TfrmMsg::LayOut(int height)
{
    resize(MemoWidth() + 8, height);
    mmMsg->setGeometry(mmMsg->x(), mmMsg->y(), MemoWidth(), height - kMemoBottomMargin);
    const int below = mmMsg->y() + mmMsg->height();
    // "show rx only" now stands above "show rx and tx".
    rbRXOnly->move(rbRXOnly->x(), below + 16);
    rbRXTX->move(rbRXTX->x(), below + 33);
    PlaceAdditions();
}

void TfrmMsg::ShowDocked(const QRect& mainFrame, int mainHeight)
{
    // Sized by the main window's inside, not its frame: this window gets the
    // same title bar and borders, so the outer frames then match.
    LayOut(mainHeight);
    rbRXOnly->setChecked(false);
    rbRXTX->setChecked(true);
    move(mainFrame.x() + mainFrame.width(), mainFrame.y());
    show();
}

void TfrmMsg::FollowMain(const QRect& mainFrame)
{
    move(mainFrame.x() + mainFrame.width(), mainFrame.y());
}

void TfrmMsg::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    emit shown();
}

void TfrmMsg::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    emit closed();
}
