// The views' record navigation: the record buttons with press-and-hold repetition, Page Up and
// Page Down in the card's boxes, and the position display.
#include "platform/engine/Engine.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DataControl.h"
#include "views/widgets/ViewsPanel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

namespace orv {

namespace {
// A held record button steps once at the press, again after the delay, then at every interval.
constexpr int kRepeatDelayMs = 800;
constexpr int kRepeatIntervalMs = 50;
} // namespace

// --- Record navigation -------------------------------------------------------------------------------

void ViewsPanel::StepRecord(int step)
{
    Recordset* rs = Data1->recordset();
    if (!rs || rs->RecordCount() == 0)
        return;
    switch (step) {
    case kFirstRecord: rs->MoveFirst(); break;
    case kPreviousRecord:
        if (!rs->BOF())
            rs->MovePrevious();
        if (rs->BOF())
            rs->MoveFirst();
        break;
    case kNextRecord:
        if (!rs->IsEOF())
            rs->MoveNext();
        if (rs->IsEOF())
            rs->MoveLast();
        break;
    case kLastRecord: rs->MoveLast(); break;
    default: return;
    }
    Data1->notifyMoved();
}

void ViewsPanel::btnRecord_MouseDown(int index, int button)
{
    if (button != kLeftButton)
        return;
    heldButton_ = index;
    StepRecord(heldButton_);
    swallowClick_ = 1;
    Timer1->setInterval(kRepeatDelayMs);
    Timer1->start();
}

void ViewsPanel::btnRecord_MouseUp(int, int button)
{
    if (button != kLeftButton)
        return;
    Timer1->stop();
    endPressIfNoClick();
}

void ViewsPanel::btnRecord_KeyDown(int index, int keyCode)
{
    if (keyCode == kKeySpace)
        btnRecord_MouseDown(index, kLeftButton);
}

void ViewsPanel::btnRecord_KeyUp(int index, int keyCode)
{
    if (keyCode == kKeySpace)
        btnRecord_MouseUp(index, kLeftButton);
}

void ViewsPanel::btnRecord_Click(int index)
{
    clickSeen_ = true;
    if (swallowClick_) {
        swallowClick_ = 0;
        return;
    }
    StepRecord(index);
}

// A press whose click never comes (released outside the button, or started from a field box)
// must not swallow a later click of its own.
void ViewsPanel::endPressIfNoClick()
{
    clickSeen_ = false;
    QTimer::singleShot(0, this, [this] {
        if (!clickSeen_)
            swallowClick_ = 0;
    });
}

void ViewsPanel::Timer1_Timer()
{
    Timer1->setInterval(kRepeatIntervalMs);
    StepRecord(heldButton_);
}

void ViewsPanel::FieldPageKeyDown(int keyCode)
{
    if (keyCode == kKeyPageUp)
        btnRecord_MouseDown(kPreviousRecord, kLeftButton);
    else if (keyCode == kKeyPageDown)
        btnRecord_MouseDown(kNextRecord, kLeftButton);
}

void ViewsPanel::FieldPageKeyUp(int keyCode)
{
    if (keyCode == kKeyPageUp)
        btnRecord_MouseUp(kPreviousRecord, kLeftButton);
    else if (keyCode == kKeyPageDown)
        btnRecord_MouseUp(kNextRecord, kLeftButton);
}

namespace {
int virtualKey(const QKeyEvent* k)
{
    switch (k->key()) {
    case Qt::Key_Space: return kKeySpace;
    case Qt::Key_PageUp: return kKeyPageUp;
    case Qt::Key_PageDown: return kKeyPageDown;
    default: return 0;
    }
}

void SelectAllText(QWidget* box)
{
    if (auto* e = qobject_cast<QLineEdit*>(box))
        e->setSelection(0, static_cast<int>(e->text().size()));
    else if (auto* p = qobject_cast<QPlainTextEdit*>(box))
        p->selectAll();
}
} // namespace

bool ViewsPanel::eventFilter(QObject* watched, QEvent* e)
{
    for (int i = kFirstRecord; i <= kLastRecord; ++i) {
        if (watched != btnRecord[i])
            continue;
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            btnRecord_MouseDown(i,
                                static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton ? kLeftButton : kOtherButton);
            break;
        case QEvent::MouseButtonRelease:
            btnRecord_MouseUp(i, static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton ? kLeftButton : kOtherButton);
            break;
        case QEvent::KeyPress: btnRecord_KeyDown(i, virtualKey(static_cast<QKeyEvent*>(e))); break;
        case QEvent::KeyRelease:
            // Keyboard repeat sends releases too; only the real one ends the press.
            if (!static_cast<QKeyEvent*>(e)->isAutoRepeat())
                btnRecord_KeyUp(i, virtualKey(static_cast<QKeyEvent*>(e)));
            break;
        default: break;
        }
        return false;
    }
    QWidget* boxes[] = {txtNew,  txtSS,        txtWindows, txtF_S, txtGame,  txtMaker,
                        txtFile, txtCopyright, txtEffect,  txtNo,  txtCDDate};
    for (size_t i = 0; i < std::size(boxes); ++i) {
        if (watched != boxes[i])
            continue;
        switch (e->type()) {
        case QEvent::FocusIn:
            // The CD number and date keep the caret where the platform puts it. The selection
            // waits for the focus to settle, and is not made once the focus has moved on.
            if (i < 9)
                QTimer::singleShot(0, boxes[i], [box = boxes[i]] {
                    if (box->hasFocus())
                        SelectAllText(box);
                });
            break;
        case QEvent::FocusOut:
            // Only the focused box shows a selection: a multi-line box drops its own when the
            // focus moves to another control, as a single-line box does.
            if (auto* p = qobject_cast<QPlainTextEdit*>(boxes[i]); p
                && static_cast<QFocusEvent*>(e)->reason() != Qt::ActiveWindowFocusReason
                && static_cast<QFocusEvent*>(e)->reason() != Qt::PopupFocusReason) {
                const int shown = p->verticalScrollBar()->value();
                QTextCursor c = p->textCursor();
                c.clearSelection();
                p->setTextCursor(c);
                p->verticalScrollBar()->setValue(shown);
            }
            break;
        case QEvent::KeyPress: FieldPageKeyDown(virtualKey(static_cast<QKeyEvent*>(e))); break;
        case QEvent::KeyRelease:
            if (!static_cast<QKeyEvent*>(e)->isAutoRepeat())
                FieldPageKeyUp(virtualKey(static_cast<QKeyEvent*>(e)));
            break;
        default: break;
        }
        return false;
    }
    return QObject::eventFilter(watched, e);
}

// --- Position display ---------------------------------------------------------------------------------

void ViewsPanel::ShowRecordPosition()
{
    Recordset* rs = Data1->recordset();
    if (!rs)
        return;
    Label3->setText(QStringLiteral("%1/%2").arg(rs->AbsolutePosition() + 1).arg(rs->RecordCount()));
    emit recordShown();
}

void ViewsPanel::StopRepeat() { Timer1->stop(); }

} // namespace orv
