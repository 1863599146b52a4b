#include "platform/widgets/dlgWait.h"

#include "platform/widgets/Toolkit.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace orv {

QString dlgWait::MessageFor(WaitJob waitJob)
{
    const QString wait = QStringLiteral("\r\nしばらくお待ちください。");
    switch (waitJob) {
    case WaitJob::Load: return QStringLiteral("データベースファイル読み込み中・・・") + wait;
    case WaitJob::Search: return QStringLiteral("検索中・・・") + wait;
    case WaitJob::Sort: return QStringLiteral("ソート中・・・") + wait;
    case WaitJob::Copy: return QStringLiteral("CDイメージからコピー中・・・") + wait;
    default: return {};
    }
}

QString dlgWait::TitleFor(WaitJob waitJob)
{
    switch (waitJob) {
    case WaitJob::Load: return kAppTitle + QStringLiteral(" （読込）");
    case WaitJob::Search: return kAppTitle + QStringLiteral(" （検索）");
    case WaitJob::Sort: return kAppTitle + QStringLiteral(" （ソート）");
    case WaitJob::Copy: return kAppTitle + QStringLiteral(" （コピー）");
    default: return {};
    }
}

namespace {
// The dialog draws its own title bar in the band above the message: window managers keep a close
// (and often a minimise) button on every title bar they draw, and this dialog has no actions.
constexpr double kTitleBarTwips = 300;
} // namespace

dlgWait::dlgWait(QWidget* mainWindow, WaitJob waitJob, std::function<void()> work)
    : QDialog(mainWindow, Qt::Dialog | Qt::FramelessWindowHint), work_(std::move(work))
{
    Form_Load(mainWindow, waitJob);
}

dlgWait::dlgWait(QWidget* mainWindow, WaitJob waitJob, WaitTask* task)
    : QDialog(mainWindow, Qt::Dialog | Qt::FramelessWindowHint), task_(task)
{
    // Below the message: how far the task has come, and the button that stops it. The button
    // takes no focus and is nobody's default, so that keys typed meanwhile (Space, Enter) stop
    // nothing; Escape presses it.
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setAccessibleName(QStringLiteral("コピーの進み具合"));
    ProgressBar->setRange(0, 0);
    PlaceTwips(ProgressBar, 240, 1080, 3480, 240);
    CancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setFocusPolicy(Qt::NoFocus);
    CancelButton->setAutoDefault(false);
    PlaceTwips(CancelButton, 3900, 1020, 1050, 360);
    connect(CancelButton, &QPushButton::clicked, task_, &WaitTask::cancel);
    connect(task_, &WaitTask::progress, this, &dlgWait::ShowProgress);
    connect(task_, &WaitTask::finished, this, &QDialog::accept);
    Form_Load(mainWindow, waitJob);
}

void dlgWait::Form_Load(QWidget* mainWindow, WaitJob waitJob)
{
    setObjectName(QStringLiteral("dlgWait"));
    setModal(true);
    // Nothing to close, minimise, maximise or resize: on X11 the window manager learns that
    // from the window type.

    setFixedSize(TwipsToPxX(5190), TwipsToPxY(1590));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignCenter);
    // A task's message sits higher, leaving room for its progress below.
    PlaceTwips(Label1, 0, task_ ? 420 : 480, 5115, 495);

    started_ = true;
    const QString message = MessageFor(waitJob);
    if (!message.isEmpty()) {
        Label1->setText(QString(message).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        setWindowTitle(TitleFor(waitJob));
    }
    if (mainWindow) {
        // Centred on the main window with its frame, where the window system has it now.
        const QWindow* mw = mainWindow->window()->windowHandle();
        const QRect m = mw ? mw->frameGeometry() : mainWindow->window()->frameGeometry();
        move(m.left() + (m.width() - width()) / 2, m.top() + (m.height() - height()) / 2);
    }
}

void dlgWait::ShowProgress(qint64 done, qint64 total)
{
    // The bar counts in thousandths: byte counts outgrow its int.
    if (total <= 0) {
        ProgressBar->setRange(0, 0);
        return;
    }
    ProgressBar->setRange(0, 1000);
    ProgressBar->setValue(int(std::min<qint64>(done, total) * 1000 / total));
}

void dlgWait::reject()
{
    if (task_)
        CancelButton->click();
}

QRect dlgWait::titleBarRect() const { return QRect(0, 0, width(), TwipsToPxY(kTitleBarTwips)); }

void dlgWait::paintEvent(QPaintEvent* e)
{
    QDialog::paintEvent(e);
    QPainter p(this);
    const QRect bar = titleBarRect();
    p.fillRect(bar, palette().color(QPalette::Active, QPalette::Highlight));
    p.setPen(palette().color(QPalette::Active, QPalette::HighlightedText));
    const QRect text = bar.adjusted(6, 0, -6, 0);
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
               fontMetrics().elidedText(windowTitle(), Qt::ElideRight, text.width()));
    p.setPen(palette().color(QPalette::Active, QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void dlgWait::ShowModal()
{
    exec();
    if (failure_)
        std::rethrow_exception(failure_);
}

void dlgWait::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    QTimer::singleShot(0, this, &dlgWait::Form_Activate);
}

void dlgWait::Form_Activate()
{
    if (!started_)
        return;
    started_ = false;
    // The message is on the screen before the work blocks the user interface: the window
    // manager has mapped the dialog and the picture has gone to the display server.
    RepaintNow(this);
    if (task_) {
        task_->start();
        return;
    }
    try {
        work_();
    } catch (...) {
        failure_ = std::current_exception();
    }
    accept();
}

} // namespace orv
