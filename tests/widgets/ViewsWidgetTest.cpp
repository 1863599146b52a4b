// The views on screen: the layout applied to the widgets, record navigation with its press and
// timer states, the card's field boxes and the position label.
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"
#include "widgets/WidgetHarness.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QPlainTextEdit>

#include <QApplication>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using namespace orvtest;

namespace {

class Views : public StartedWindow {
protected:
    void SetUp() override
    {
        StartedWindow::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(w().size(), QSize(632, 453)) << "designed client area, 9480 x 6795 twips";
    }
    QString position() { return ctl<QLabel>(w(), "Label3")->text(); }
    void resizeTo(int width, int height)
    {
        w().resize(width, height);
        QCoreApplication::processEvents();
    }
};

} // namespace

// --- Layout ----------------------------------------------------------------------------------------

TEST_F(Views, ListViewAtTheDesignedSize)
{
    EXPECT_FALSE(ctl<QScrollBar>(w(), "HScroll1")->isVisible());
    EXPECT_FALSE(ctl<QWidget>(w(), "Frame8")->isVisible());
    EXPECT_FALSE(ctl<QScrollBar>(w(), "HScroll2")->isVisible());
    EXPECT_FALSE(ctl<QScrollBar>(w(), "VScroll2")->isVisible());
    EXPECT_EQ(ctl<QWidget>(w(), "Frame1")->geometry(), QRect(0, 0, 632, 185));
    EXPECT_TRUE(ctl<orv::DBGrid>(w(), "DBGrid1")->isVisible());
    EXPECT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->geometry(), QRect(0, 185, 632, 268))
        << "below the band, down to the bottom edge";
}

TEST_F(Views, NarrowWindowPansTheTopBand)
{
    resizeTo(533, 453); // 7995 twips: 1485 hidden, 99 pixels
    ASSERT_TRUE(ctl<QScrollBar>(w(), "HScroll1")->isVisible());
    EXPECT_EQ(ctl<QScrollBar>(w(), "HScroll1")->geometry(), QRect(0, 185, 533, 17));
    EXPECT_EQ(ctl<QScrollBar>(w(), "HScroll1")->maximum(), 99);
    EXPECT_EQ(ctl<QScrollBar>(w(), "HScroll1")->pageStep(), 533);
    EXPECT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->geometry(), QRect(0, 202, 533, 251));

    ctl<QScrollBar>(w(), "HScroll1")->setValue(40);
    EXPECT_EQ(ctl<QWidget>(w(), "Frame1")->x(), -40);
    resizeTo(540, 453);
    EXPECT_EQ(ctl<QScrollBar>(w(), "HScroll1")->value(), 0) << "every layout run shows the band from its left edge";
    EXPECT_EQ(ctl<QWidget>(w(), "Frame1")->x(), 0);

    resizeTo(700, 453);
    EXPECT_FALSE(ctl<QScrollBar>(w(), "HScroll1")->isVisible());
    EXPECT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->geometry(), QRect(0, 185, 700, 268));
}

TEST_F(Views, CardViewStackedAndSideBySide)
{
    ctl<QPushButton>(w(), "btnMode")->click();
    EXPECT_EQ(w().views().mode(), orv::ViewMode::Card);
    EXPECT_EQ(ctl<QPushButton>(w(), "btnMode")->text(), QStringLiteral("一覧(&L)"));
    ASSERT_TRUE(ctl<QWidget>(w(), "Frame8")->isVisible());
    EXPECT_EQ(ctl<QWidget>(w(), "Frame8")->geometry(), QRect(0, 185, 632, 230));
    EXPECT_EQ(ctl<QWidget>(w(), "Frame5")->geometry(), QRect(0, 0, 632, 230));
    EXPECT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->geometry(), QRect(0, 415, 632, 38));
    EXPECT_TRUE(ctl<orv::DBGrid>(w(), "DBGrid1")->isVisible());

    // Wider than band and card together: the card stands beside the band.
    resizeTo(1300, 600);
    EXPECT_EQ(ctl<QWidget>(w(), "Frame8")->geometry(), QRect(632, 0, 632, 230));
    EXPECT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->geometry(), QRect(0, 230, 1300, 370));
    EXPECT_FALSE(ctl<QScrollBar>(w(), "VScroll2")->isVisible());

    // Too short for the card: the vertical bar pans it and the grid goes.
    resizeTo(632, 350);
    ASSERT_TRUE(ctl<QScrollBar>(w(), "VScroll2")->isVisible());
    EXPECT_EQ(ctl<QWidget>(w(), "Frame8")->geometry(), QRect(0, 185, 615, 165));
    EXPECT_EQ(ctl<QScrollBar>(w(), "VScroll2")->geometry(), QRect(615, 185, 17, 165));
    EXPECT_EQ(ctl<QScrollBar>(w(), "VScroll2")->maximum(), 65);
    EXPECT_FALSE(ctl<orv::DBGrid>(w(), "DBGrid1")->isVisible());
    ctl<QScrollBar>(w(), "VScroll2")->setValue(30);
    EXPECT_EQ(ctl<QWidget>(w(), "Frame5")->y(), -30);

    // Narrow and short at once: the card's horizontal bar sits on the bottom edge.
    resizeTo(533, 350);
    ASSERT_TRUE(ctl<QScrollBar>(w(), "HScroll2")->isVisible());
    ASSERT_TRUE(ctl<QScrollBar>(w(), "VScroll2")->isVisible());
    EXPECT_EQ(ctl<QWidget>(w(), "Frame8")->geometry(), QRect(0, 202, 516, 131));
    EXPECT_EQ(ctl<QScrollBar>(w(), "HScroll2")->geometry(), QRect(0, 333, 516, 17));
    EXPECT_EQ(ctl<QScrollBar>(w(), "HScroll2")->maximum(), 116);
    EXPECT_EQ(ctl<QScrollBar>(w(), "VScroll2")->geometry(), QRect(516, 202, 17, 131));
    EXPECT_EQ(ctl<QScrollBar>(w(), "VScroll2")->maximum(), 99);
    EXPECT_FALSE(ctl<orv::DBGrid>(w(), "DBGrid1")->isVisible());
    ctl<QScrollBar>(w(), "HScroll2")->setValue(20);
    EXPECT_EQ(ctl<QWidget>(w(), "Frame5")->x(), -20);
    resizeTo(632, 350);

    // Back to the list: the card hides, the grid fills the space again.
    ctl<QPushButton>(w(), "btnMode")->click();
    EXPECT_EQ(ctl<QPushButton>(w(), "btnMode")->text(), QStringLiteral("カード(&C)"));
    EXPECT_EQ(ctl<QPushButton>(w(), "btnMode")->toolTip(), QStringLiteral("カード型表示へ"));
    EXPECT_FALSE(ctl<QWidget>(w(), "Frame8")->isVisible());
    EXPECT_FALSE(ctl<QScrollBar>(w(), "VScroll2")->isVisible());
    EXPECT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->geometry(), QRect(0, 185, 632, 165));
    EXPECT_TRUE(ctl<orv::DBGrid>(w(), "DBGrid1")->isVisible());
}

TEST_F(Views, WindowNeverSmallerThanItsMinimum)
{
    resizeTo(100, 100);
    EXPECT_GE(w().frameGeometry().width(), 400);
    EXPECT_GE(w().frameGeometry().height(), 300);
    EXPECT_TRUE(ctl<QScrollBar>(w(), "HScroll1")->isVisible());
    EXPECT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->height(), std::max(0, w().height() - 185 - 17));
}

// --- Navigation ------------------------------------------------------------------------------------

TEST_F(Views, StepsStopAtBothEnds)
{
    EXPECT_EQ(position(), QStringLiteral("1/80"));
    w().views().StepRecord(2);
    EXPECT_EQ(position(), QStringLiteral("1/80"));
    w().views().StepRecord(4);
    EXPECT_EQ(position(), QStringLiteral("80/80"));
    EXPECT_EQ(ctl<QLineEdit>(w(), "txtNo")->text(), QStringLiteral("007")) << "row 80 is volume 007";
    w().views().StepRecord(3);
    EXPECT_EQ(position(), QStringLiteral("80/80"));
    EXPECT_EQ(ctl<orv::DBGrid>(w(), "DBGrid1")->currentIndex().row(), 79);
    w().views().StepRecord(2);
    EXPECT_EQ(position(), QStringLiteral("79/80"));
    w().views().StepRecord(0);
    w().views().StepRecord(5);
    EXPECT_EQ(position(), QStringLiteral("79/80"));
    w().views().StepRecord(1);
    EXPECT_EQ(position(), QStringLiteral("1/80"));
}

TEST_F(Views, EmptyResultNavigatesNowhere)
{
    ctl<QLineEdit>(w(), "txtStrGame_0")->setText(QStringLiteral("no such words anywhere"));
    ctl<QPushButton>(w(), "Command1")->click();
    ASSERT_EQ(h->rowCount(), 0);
    EXPECT_EQ(position(), QStringLiteral("0/0"));
    for (int d = 1; d <= 4; ++d)
        w().views().StepRecord(d);
    w().views().btnRecord_MouseDown(3, 1);
    w().views().Timer1_Timer();
    w().views().btnRecord_MouseUp(3, 1);
    EXPECT_EQ(position(), QStringLiteral("0/0"));
    EXPECT_TRUE(h->messages.empty());
}

TEST_F(Views, PressStepsAtOnceThenTheTimerRepeats)
{
    w().views().btnRecord_MouseDown(3, 1);
    EXPECT_EQ(position(), QStringLiteral("2/80"));
    EXPECT_TRUE(ctl<QTimer>(w(), "Timer1")->isActive());
    EXPECT_EQ(ctl<QTimer>(w(), "Timer1")->interval(), 800);

    w().views().Timer1_Timer();
    EXPECT_EQ(ctl<QTimer>(w(), "Timer1")->interval(), 50);
    EXPECT_TRUE(ctl<QTimer>(w(), "Timer1")->isActive());
    EXPECT_EQ(position(), QStringLiteral("3/80"));
    w().views().Timer1_Timer();
    EXPECT_EQ(position(), QStringLiteral("4/80"));

    w().views().btnRecord_MouseUp(3, 1);
    EXPECT_FALSE(ctl<QTimer>(w(), "Timer1")->isActive());
    w().views().btnRecord_Click(3); // the click that follows the release
    EXPECT_EQ(position(), QStringLiteral("4/80"));
    w().views().btnRecord_Click(3); // a click of its own
    EXPECT_EQ(position(), QStringLiteral("5/80"));
    w().views().StepRecord(2);

    // Holding the last button re-positions at the end.
    w().views().btnRecord_MouseDown(4, 1);
    w().views().Timer1_Timer();
    w().views().Timer1_Timer();
    EXPECT_EQ(position(), QStringLiteral("80/80"));
    w().views().btnRecord_MouseUp(4, 1);

    // Right button: no step, no repetition.
    w().views().btnRecord_MouseDown(1, 2);
    EXPECT_EQ(position(), QStringLiteral("80/80"));
    EXPECT_FALSE(ctl<QTimer>(w(), "Timer1")->isActive());
}

TEST_F(Views, ShortMouseClickStepsExactlyOnce)
{
    QTest::mouseClick(ctl<QPushButton>(w(), "btnRecord_3"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(position(), QStringLiteral("2/80"));
    EXPECT_FALSE(ctl<QTimer>(w(), "Timer1")->isActive());
    QTest::mouseClick(ctl<QPushButton>(w(), "btnRecord_4"), Qt::LeftButton);
    QTest::mouseClick(ctl<QPushButton>(w(), "btnRecord_2"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(position(), QStringLiteral("79/80"));
    // Space on the focused button: one step on the press, none from the click at the release.
    ctl<QPushButton>(w(), "btnRecord_1")->setFocus();
    QTest::keyClick(ctl<QPushButton>(w(), "btnRecord_1"), Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(position(), QStringLiteral("1/80"));
    EXPECT_FALSE(ctl<QTimer>(w(), "Timer1")->isActive());
}

TEST_F(Views, DoubleClickStepsTwice)
{
    // Through the window system, as a real double click arrives: press, release, press (which
    // the toolkit also reports as a double click), release.
    QWindow* win = w().windowHandle();
    ASSERT_TRUE(win);
    const QPoint at =
        ctl<QPushButton>(w(), "btnRecord_3")->mapTo(&w(), ctl<QPushButton>(w(), "btnRecord_3")->rect().center());
    QTest::mouseClick(win, Qt::LeftButton, {}, at);
    EXPECT_EQ(position(), QStringLiteral("2/80"));
    QTest::mouseDClick(win, Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
    EXPECT_EQ(position(), QStringLiteral("4/80"));
    EXPECT_FALSE(ctl<QTimer>(w(), "Timer1")->isActive());
}

TEST_F(Views, PressWithoutClickDoesNotSwallowALaterEnter)
{
    w().views().btnRecord_MouseDown(3, 1);
    w().views().btnRecord_MouseUp(3, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(position(), QStringLiteral("2/80"));
    // Enter on the focused record button: exactly one step.
    ctl<QPushButton>(w(), "btnRecord_3")->setFocus();
    QTest::keyClick(ctl<QPushButton>(w(), "btnRecord_3"), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(position(), QStringLiteral("3/80"));
    QTest::keyClick(ctl<QPushButton>(w(), "btnRecord_3"), Qt::Key_Return);
    EXPECT_EQ(position(), QStringLiteral("4/80"));
}

TEST_F(Views, LosingTheWindowEndsAPress)
{
    w().views().btnRecord_MouseDown(3, 1);
    ASSERT_TRUE(ctl<QTimer>(w(), "Timer1")->isActive());
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&w(), &deactivate);
    EXPECT_FALSE(ctl<QTimer>(w(), "Timer1")->isActive());
}

TEST_F(Views, PageKeysInACardBoxStep)
{
    ctl<QPushButton>(w(), "btnMode")->click();
    w().activateWindow();
    ctl<QPlainTextEdit>(w(), "txtGame")->setFocus();
    QCoreApplication::processEvents();
    const QString first = ctl<QPlainTextEdit>(w(), "txtGame")->toPlainText();
    QWidget* box = QApplication::focusWidget() ? QApplication::focusWidget() : ctl<QPlainTextEdit>(w(), "txtGame");
    ASSERT_EQ(box, ctl<QPlainTextEdit>(w(), "txtGame"));

    QTest::keyPress(box, Qt::Key_PageDown);
    EXPECT_EQ(position(), QStringLiteral("2/80"));
    EXPECT_TRUE(ctl<QTimer>(w(), "Timer1")->isActive());
    QTest::keyRelease(box, Qt::Key_PageDown);
    EXPECT_FALSE(ctl<QTimer>(w(), "Timer1")->isActive());
    EXPECT_EQ(ctl<QPlainTextEdit>(w(), "txtGame")->toPlainText(), QStringLiteral("月影の剣士"));
    EXPECT_EQ(QApplication::focusWidget(), ctl<QPlainTextEdit>(w(), "txtGame")) << "the focus stays in the box";

    QTest::keyClick(box, Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(position(), QStringLiteral("3/80"));
    QTest::keyClick(box, Qt::Key_PageUp);
    QTest::keyClick(box, Qt::Key_PageUp);
    QTest::keyClick(box, Qt::Key_PageUp);
    EXPECT_EQ(position(), QStringLiteral("1/80"));
    EXPECT_EQ(ctl<QPlainTextEdit>(w(), "txtGame")->toPlainText(), first);

    // Typing changes nothing; other keys do not step.
    QTest::keyClicks(box, QStringLiteral("xyz"));
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(ctl<QPlainTextEdit>(w(), "txtGame")->toPlainText(), first);
    EXPECT_EQ(position(), QStringLiteral("1/80"));
    QTest::keyClick(ctl<QLineEdit>(w(), "txtNo"), Qt::Key_PageDown);
    EXPECT_EQ(position(), QStringLiteral("2/80"));
    EXPECT_EQ(ctl<QLineEdit>(w(), "txtNo")->text(), QStringLiteral("001"));

    // A box press leaves no click behind to swallow a later button click.
    QCoreApplication::processEvents();
    ctl<QPushButton>(w(), "btnRecord_3")->click();
    EXPECT_EQ(position(), QStringLiteral("3/80"));
}

TEST_F(Views, FocusSelectsTheWholeFieldExceptNumberAndDate)
{
    ctl<QPushButton>(w(), "btnMode")->click();
    w().activateWindow();
    ASSERT_TRUE(waitFor([&] { return w().isActiveWindow(); }, 2000));
    ctl<QLineEdit>(w(), "txtFile")->setFocus();
    EXPECT_TRUE(
        waitFor([&] { return ctl<QLineEdit>(w(), "txtFile")->selectedText() == QStringLiteral("POINT.EXE"); }, 2000))
        << ctl<QLineEdit>(w(), "txtFile")->selectedText().toStdString();
    ctl<QPlainTextEdit>(w(), "txtGame")->setFocus();
    EXPECT_TRUE(waitFor(
        [&] {
            return ctl<QPlainTextEdit>(w(), "txtGame")->textCursor().selectedText() == QStringLiteral("ぷにぷにパーク");
        },
        2000));
    ctl<QLineEdit>(w(), "txtNo")->setFocus();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(ctl<QLineEdit>(w(), "txtNo")->selectedText().isEmpty());
    // An empty field selects nothing.
    ctl<QLineEdit>(w(), "txtF_S")->setFocus();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(ctl<QLineEdit>(w(), "txtF_S")->text().isEmpty());
    EXPECT_FALSE(ctl<QLineEdit>(w(), "txtF_S")->hasSelectedText());
    EXPECT_TRUE(ctl<QLineEdit>(w(), "txtNew")->isReadOnly());
    EXPECT_TRUE(ctl<QPlainTextEdit>(w(), "txtEffect")->isReadOnly());
}

TEST_F(Views, OnlyTheFocusedCardBoxShowsASelection)
{
    ctl<QPushButton>(w(), "btnMode")->click();
    w().activateWindow();
    ASSERT_TRUE(waitFor([&] { return w().isActiveWindow(); }, 2000));
    // In tab order: the three multi-line boxes and single-line ones between them.
    const QList<QWidget*> boxes = {ctl<QWidget>(w(), "txtNew"),  ctl<QWidget>(w(), "txtSS"),
                                   ctl<QWidget>(w(), "txtGame"), ctl<QWidget>(w(), "txtMaker"),
                                   ctl<QWidget>(w(), "txtFile"), ctl<QWidget>(w(), "txtEffect")};
    auto selected = [](QWidget* box) {
        if (auto* line = qobject_cast<QLineEdit*>(box))
            return line->hasSelectedText();
        return static_cast<QPlainTextEdit*>(box)->textCursor().hasSelection();
    };
    boxes.front()->setFocus(Qt::TabFocusReason);
    for (QWidget* focused : boxes) {
        SCOPED_TRACE(focused->objectName().toStdString());
        for (int tabs = 0; QApplication::focusWidget() != focused && tabs < 5; ++tabs)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), focused);
        ASSERT_TRUE(waitFor([&] { return selected(focused); }, 2000));
        for (QWidget* other : boxes) {
            if (other != focused) {
                EXPECT_FALSE(selected(other)) << other->objectName().toStdString();
            }
        }
    }
    // Another window taking the focus leaves the box's selection, as a single-line box keeps its.
    auto* effect = ctl<QPlainTextEdit>(w(), "txtEffect");
    effect->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return effect->textCursor().hasSelection(); }, 2000));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitFor([&] { return other.isActiveWindow(); }, 2000));
    EXPECT_TRUE(effect->textCursor().hasSelection());
}

// --- Keyboard ---------------------------------------------------------------------------------------

TEST_F(Views, TabLeavesTheGridForTheWindowsNextControl)
{
    w().activateWindow();
    ASSERT_TRUE(waitFor([&] { return w().isActiveWindow(); }, 2000));
    // List view: the CD number and date boxes after the grid are hidden, so the order wraps round.
    ctl<orv::DBGrid>(w(), "DBGrid1")->setFocus();
    QTest::keyClick(ctl<orv::DBGrid>(w(), "DBGrid1"), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QPushButton>(w(), "btnSelRoot"));
    ctl<orv::DBGrid>(w(), "DBGrid1")->setFocus();
    QTest::keyClick(ctl<orv::DBGrid>(w(), "DBGrid1"), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QPushButton>(w(), "Command4"));
    // The arrow keys still move between the rows.
    ctl<orv::DBGrid>(w(), "DBGrid1")->setFocus();
    QTest::keyClick(ctl<orv::DBGrid>(w(), "DBGrid1"), Qt::Key_Down);
    EXPECT_EQ(position(), QStringLiteral("2/80"));
    EXPECT_EQ(QApplication::focusWidget(), ctl<orv::DBGrid>(w(), "DBGrid1"));

    // Card view with the grid below the card: the CD number box comes next, then the date.
    ctl<QPushButton>(w(), "btnMode")->click();
    ASSERT_TRUE(ctl<orv::DBGrid>(w(), "DBGrid1")->isVisible());
    ctl<orv::DBGrid>(w(), "DBGrid1")->setFocus();
    QTest::keyClick(ctl<orv::DBGrid>(w(), "DBGrid1"), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QLineEdit>(w(), "txtNo"));
    QTest::keyClick(ctl<QLineEdit>(w(), "txtNo"), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ctl<QLineEdit>(w(), "txtCDDate"));
}

TEST_F(Views, AltRGoesToTheFirstRecordButtonWhicheverWasUsedLast)
{
    w().activateWindow();
    ASSERT_TRUE(waitFor([&] { return w().isActiveWindow(); }, 2000));
    QTest::mouseClick(ctl<QPushButton>(w(), "btnRecord_3"), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(position(), QStringLiteral("2/80"));
    ASSERT_EQ(QApplication::focusWidget(), ctl<QPushButton>(w(), "btnRecord_3"));
    QTest::mouseClick(ctl<QLineEdit>(w(), "txtStrGame_0"), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), ctl<QLineEdit>(w(), "txtStrGame_0"));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), ctl<QPushButton>(w(), "btnRecord_1"));
    QTest::keyClick(ctl<QPushButton>(w(), "btnRecord_1"), Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(position(), QStringLiteral("1/80"));
}
