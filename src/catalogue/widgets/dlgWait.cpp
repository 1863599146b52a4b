#include "catalogue/widgets/dlgWait.h"

#include "platform/widgets/Toolkit.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

namespace orv {

QString dlgWait::MessageFor(unsigned char waitJob)
{
    const QString wait = QStringLiteral("\r\nしばらくお待ちください。");
    switch (waitJob) {
    case 0: return QStringLiteral("データベースファイル読み込み中・・・") + wait;
    case 1: return QStringLiteral("検索中・・・") + wait;
    case 2: return QStringLiteral("ソート中・・・") + wait;
    default: return {};
    }
}

QString dlgWait::TitleFor(unsigned char waitJob)
{
    switch (waitJob) {
    case 0: return kAppTitle + QStringLiteral(" （読込）");
    case 1: return kAppTitle + QStringLiteral(" （検索）");
    case 2: return kAppTitle + QStringLiteral(" （ソート）");
    default: return {};
    }
}

dlgWait::dlgWait(QWidget* mainWindow, unsigned char waitJob, std::function<void()> work)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), work_(std::move(work))
{
    setObjectName(QStringLiteral("dlgWait"));
    setModal(true);
    setFixedSize(TwipsToPxX(5190), TwipsToPxY(1590));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    PlaceTwips(Label1, 0, 480, 5115, 495);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    CancelButton = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    OKButton->hide();
    CancelButton->hide();

    // Form_Load: texts and position.
    started_ = true;
    const QString message = MessageFor(waitJob);
    if (!message.isEmpty()) {
        Label1->setText(QString(message).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        setWindowTitle(TitleFor(waitJob));
    }
    if (mainWindow) {
        const QRect m = mainWindow->frameGeometry();
        move(m.left() + (m.width() - width()) / 2, m.top() + (m.height() - height()) / 2);
    }
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
    repaint();   // the message is visible before the work blocks the window
    try {
        work_();
    } catch (...) {
        failure_ = std::current_exception();
    }
    accept();
}

} // namespace orv
