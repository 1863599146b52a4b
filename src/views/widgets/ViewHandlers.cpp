// The record views of the main window: view mode and layout, record navigation with
// press-and-hold repetition, the card's field boxes and the position display.
#include "app/widgets/frmMain.h"
#include "platform/engine/Engine.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"
#include "platform/widgets/Toolkit.h"
#include "views/Layout.h"

#include <QGroupBox>
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

// --- View mode and layout ---------------------------------------------------------------------------

void frmMain::btnMode_Click()
{
    if (btnModeTag.toInt() == 1) {
        btnMode->setText(QStringLiteral("カード(&C)"));
        btnMode->setToolTip(QStringLiteral("カード型表示へ"));
        btnModeTag = QStringLiteral("0");
    } else {
        btnMode->setText(QStringLiteral("一覧(&L)"));
        btnMode->setToolTip(QStringLiteral("一覧型表示へ"));
        btnModeTag = QStringLiteral("1");
    }
    ArrangeViews();
}

namespace {
void applyScrollBar(QScrollBar* bar, const ScrollBarGeometry& g)
{
    if (g.visible) {
        PlaceTwips(bar, g.left, g.top, g.width, g.height);
        bar->setRange(g.min, std::max(g.min, g.max));
        bar->setPageStep(std::max(1, g.largeChange));
        bar->setValue(g.value);
        bar->show();
        bar->raise();
    } else {
        bar->setValue(g.value);
        bar->hide();
    }
}
} // namespace

void frmMain::ArrangeViews()
{
    LayoutInput in;
    in.scaleWidth = ScaleWidth();
    in.scaleHeight = ScaleHeight();
    in.mode = btnModeTag.toInt();
    in.tppX = TwipsPerPixelX();
    in.tppY = TwipsPerPixelY();
    in.gridHeight = static_cast<float>(DBGrid1->height()) * in.tppY;
    const LayoutResult r = ArrangeViewsGeometry(in);

    applyScrollBar(HScroll1, r.hScroll1);
    Frame1->move(TwipsToPxX(r.frame1Left), 0);
    if (r.frame8Visible) {
        PlaceTwips(Frame8, r.frame8Left, r.frame8Top, r.frame8Width, r.frame8Height);
        Frame8->show();
    } else {
        Frame8->hide();
    }
    applyScrollBar(HScroll2, r.hScroll2);
    applyScrollBar(VScroll2, r.vScroll2);
    Frame5->move(TwipsToPxX(r.frame5Left), TwipsToPxY(r.frame5Top));
    if (r.gridVisible) {
        PlaceTwips(DBGrid1, 0, r.gridTop, in.scaleWidth, r.gridHeight);
        DBGrid1->show();
    } else {
        DBGrid1->hide();
    }
    Frame1->raise();
    for (auto* s : {HScroll1, HScroll2, VScroll2})
        if (s->isVisible())
            s->raise();
}

void frmMain::HScroll1_Change() { Frame1->move(-HScroll1->value(), Frame1->y()); }
void frmMain::HScroll2_Change() { Frame5->move(-HScroll2->value(), Frame5->y()); }
void frmMain::VScroll2_Change() { Frame5->move(Frame5->x(), -VScroll2->value()); }

// --- Record navigation -------------------------------------------------------------------------------

void frmMain::StepRecord(int direction)
{
    Recordset* rs = Data1->recordset();
    if (!rs || rs->RecordCount() == 0)
        return;
    switch (direction) {
    case 1: rs->MoveFirst(); break;
    case 2:
        if (!rs->BOF())
            rs->MovePrevious();
        if (rs->BOF())
            rs->MoveFirst();
        break;
    case 3:
        if (!rs->IsEOF())
            rs->MoveNext();
        if (rs->IsEOF())
            rs->MoveLast();
        break;
    case 4: rs->MoveLast(); break;
    default: return;
    }
    Data1->notifyMoved();
}

void frmMain::btnRecord_MouseDown(int index, int button)
{
    if (button != 1)
        return;
    heldButton = index;
    StepRecord(heldButton);
    swallowClick = 1;
    Timer1->setInterval(800);
    Timer1->start();
}

void frmMain::btnRecord_MouseUp(int, int button)
{
    if (button != 1)
        return;
    Timer1->stop();
    endPressIfNoClick();
}

void frmMain::btnRecord_KeyDown(int index, int keyCode)
{
    if (keyCode == 32)
        btnRecord_MouseDown(index, 1);
}

void frmMain::btnRecord_KeyUp(int index, int keyCode)
{
    if (keyCode == 32)
        btnRecord_MouseUp(index, 1);
}

void frmMain::btnRecord_Click(int index)
{
    clickSeen_ = true;
    if (swallowClick) {
        swallowClick = 0;
        return;
    }
    StepRecord(index);
}

// A press whose click never comes (released outside the button, or started from a field box)
// must not swallow a later click of its own.
void frmMain::endPressIfNoClick()
{
    clickSeen_ = false;
    QTimer::singleShot(0, this, [this] {
        if (!clickSeen_)
            swallowClick = 0;
    });
}

void frmMain::Timer1_Timer()
{
    Timer1->setInterval(50);
    StepRecord(heldButton);
}

void frmMain::FieldPageKeyDown(int keyCode)
{
    if (keyCode == 33)
        btnRecord_MouseDown(2, 1);
    else if (keyCode == 34)
        btnRecord_MouseDown(3, 1);
}

void frmMain::FieldPageKeyUp(int keyCode)
{
    if (keyCode == 33)
        btnRecord_MouseUp(2, 1);
    else if (keyCode == 34)
        btnRecord_MouseUp(3, 1);
}

namespace {
int virtualKey(const QKeyEvent* k)
{
    switch (k->key()) {
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
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

bool frmMain::eventFilter(QObject* watched, QEvent* e)
{
    for (int i = 1; i <= 4; ++i) {
        if (watched != btnRecord[i])
            continue;
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            btnRecord_MouseDown(i, static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton ? 1 : 2);
            break;
        case QEvent::MouseButtonRelease:
            btnRecord_MouseUp(i, static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton ? 1 : 2);
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
    return QWidget::eventFilter(watched, e);
}

// --- Position display ---------------------------------------------------------------------------------

void frmMain::ShowRecordPosition()
{
    Recordset* rs = Data1->recordset();
    if (!rs)
        return;
    Label3->setText(QStringLiteral("%1/%2").arg(rs->AbsolutePosition() + 1).arg(rs->RecordCount()));
    ShowTargetCaption();
}

} // namespace orv
