// The program itself in a real X session under a window manager, driven and looked at through
// the X protocol: what no offscreen test can see (frames, placement, exposure, focus, the
// command line the toolkit would read).
#include "realx/RealSession.h"
#include "realx/ChildProcess.h"
#include "realx/SessionTest.h"

#include "BenchSupport.h"
#include "platform/settings/UserStore.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLibraryInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <iostream>

using namespace orvreal;

namespace {

// The frame of the window manager around the main window, placed from this saved rectangle:
// 1500, 1500, 10500, 7500 twips are 100, 100, 700, 500 pixels.
const QRect kSavedTwips(1500, 1500, 10500, 7500);
const QRect kSavedPixels(100, 100, 700, 500);

// The main window's design: where the controls the tests press lie in its client area (pixels).
const QPoint kNextRecordButton(152, 168); // btnRecord(3)
const QPoint kKeywordBox(390, 47); // txtStrGame(0)
const QPoint kGridRow(100, 230); // DBGrid1, list view
const QPoint kModeButton(40, 168); // btnMode
const QPoint kDriveLabel(150, 12); // Label6
const QPoint kFirstRecordButton(21, 168); // btnRecord(1)
const QPoint kNoTipSpot(450, 148); // the top band between frames and buttons

::testing::AssertionResult Near(const QRect& got, const QRect& want, int tolerance)
{
    if (std::abs(got.left() - want.left()) <= tolerance && std::abs(got.top() - want.top()) <= tolerance
        && std::abs(got.width() - want.width()) <= tolerance && std::abs(got.height() - want.height()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.left() << ", " << got.top() << ", " << got.width() << " x "
                                         << got.height() << "), want (" << want.left() << ", " << want.top() << ", "
                                         << want.width() << " x " << want.height() << ") within " << tolerance;
}

// Paints over the caret blinking at the start of the keyword box, in a picture of the client area.
void HideCaret(QImage& client) { QPainter(&client).fillRect(QRect(218, 38, 12, 19), Qt::black); }

QString Describe(const QRect& r)
{
    return QStringLiteral("LEFT=%1 TOP=%2 WIDTH=%3 HEIGHT=%4")
        .arg(r.left())
        .arg(r.top())
        .arg(r.width())
        .arg(r.height());
}

class RealSession : public SessionTest {
protected:
    QString sample() const { return QString::fromStdString(orvtest::dataPath("tevox20.mdb")); }
};

} // namespace

// --- Placement --------------------------------------------------------------------------------------

TEST_F(RealSession, FourStartsInARowSaveTheSameFrame)
{
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    for (int start = 1; start <= 4; ++start) {
        AppRun run(*x, app);
        const QString w = run.waitMainWindow();
        ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
        const WindowGeometry g = x->geometry(w);
        EXPECT_GT(g.frame.top(), 0) << "the window manager frames the window";
        EXPECT_TRUE(Near(g.outer(), kSavedPixels, 1)) << "start " << start;
        if (start == 1)
            x->keepScreenshot(x->screenshot(), QStringLiteral("list-view"));
        ASSERT_TRUE(run.closeThroughWindowManager(w));
        EXPECT_EQ(run.exitCode(), 0);
        const QRect saved = app.savedRect();
        std::cout << "start " << start << ": " << Describe(saved).toStdString() << std::endl;
        EXPECT_TRUE(Near(saved, kSavedTwips, 15)) << "start " << start;
        EXPECT_EQ(app.ini("WINDOW", "WINSATE"), "0");
    }
}

TEST_F(RealSession, ClampKeepsTheWholeFrameWithItsTitleBarOnTheScreen)
{
    struct Case {
        QRect saved, outer;
    };
    const Case cases[] = {
        // Above and left of the screen: pushed to the corner, title bar and all.
        {QRect(-1500, -3000, 10500, 7500), QRect(0, 0, 700, 500)},
        // Taller than the screen and past its right edge: the frame gets the screen's height.
        {QRect(15000, 12000, 10500, 20000), QRect(580, 0, 700, 1024)},
    };
    for (const Case& c : cases) {
        AppFolder app(sample());
        app.saveFrame(c.saved);
        AppRun run(*x, app);
        const QString w = run.waitMainWindow();
        ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
        const WindowGeometry g = x->geometry(w);
        EXPECT_TRUE(Near(g.outer(), c.outer, 1)) << Describe(c.saved).toStdString();
        EXPECT_TRUE(QRect(QPoint(0, 0), x->screenSize()).contains(g.outer()));
        ASSERT_TRUE(run.closeThroughWindowManager(w));
        EXPECT_TRUE(Near(app.savedRect(), QRect(c.outer.topLeft() * 15, c.outer.size() * 15), 15));
    }
}

TEST_F(RealSession, RestoringAMaximisedStartReturnsToTheSavedFrame)
{
    AppFolder app(sample());
    app.saveFrame(kSavedTwips, 2);
    AppRun run(*x, app);
    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    auto maximised = [&] {
        return x->property(w, QStringLiteral("_NET_WM_STATE")).contains(QStringLiteral("MAXIMIZED_VERT"));
    };
    ASSERT_TRUE(WaitUntil(maximised, kEventWaitMs));
    // A double click on the title bar restores the window.
    const WindowGeometry max = x->geometry(w);
    x->clickScreen(QPoint(max.client.center().x(), max.client.top() - max.frame.top() / 2), 2);
    ASSERT_TRUE(WaitUntil([&] { return !maximised(); }, kEventWaitMs));
    ASSERT_TRUE(WaitUntil([&] { return Near(x->geometry(w).outer(), kSavedPixels, 1); }, kEventWaitMs))
        << Near(x->geometry(w).outer(), kSavedPixels, 1).message();
    ASSERT_TRUE(run.closeThroughWindowManager(w));
    EXPECT_EQ(app.ini("WINDOW", "WINSATE"), "0");
    EXPECT_TRUE(Near(app.savedRect(), kSavedTwips, 15));
}

TEST_F(RealSession, FirstWindowFitsTheScreenAtEveryScale)
{
    XSession small(QSize(1024, 768));
    ASSERT_TRUE(small.started()) << small.error().toStdString();
    for (const QString& scale : {QStringLiteral("2"), QStringLiteral("3")}) {
        SCOPED_TRACE("QT_SCALE_FACTOR=" + scale.toStdString());
        AppFolder app(sample()); // no settings: the window as first created
        RunOptions scaled;
        scaled.setEnv.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
        AppRun run(small, app, scaled);
        const QString w = run.waitMainWindow();
        ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
        const WindowGeometry g = small.geometry(w);
        small.keepScreenshot(small.screenshot(), QStringLiteral("first-window-scale-") + scale);
        EXPECT_TRUE(QRect(QPoint(0, 0), small.screenSize()).contains(g.outer()))
            << g.outer().x() << ", " << g.outer().y() << ", " << g.outer().width() << " x " << g.outer().height();
        EXPECT_GT(g.frame.top(), 0) << "framed by the window manager";
        ASSERT_TRUE(run.closeThroughWindowManager(w));
    }
}

// --- Painting before the work ---------------------------------------------------------------------------

TEST_F(RealSession, WaitDialogAndMainWindowArePaintedWhileABigCatalogueLoads)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("big.mdb"));
    bench::generateCatalogue(catalogue.toStdString(), 400000);
    AppFolder app(catalogue);
    QFile::remove(catalogue);
    app.saveFrame(kSavedTwips);

    AppRun run(*x, app);
    int frozen = 0, dialogsSeen = 0;
    bool seen = false;
    QString why;
    QElapsedTimer quiet; // since when the load has looked over
    quiet.start();
    // Each time the load dialog is up, freeze the program and look at the screen: what it shows
    // then is what the user sees for as long as the job blocks the program.
    WaitUntil(
        [&] {
            if (!run.running())
                return true;
            const QStringList dialogs = x->findWindows(QStringLiteral("（読込）$"), run.pid());
            if (dialogs.isEmpty()) {
                // Over once a dialog has come and gone and the title has stayed plain since.
                if (!dialogsSeen || x->findWindows(QStringLiteral("^Orvantis$"), run.pid()).isEmpty())
                    quiet.restart();
                return quiet.elapsed() > 1000;
            }
            ++dialogsSeen;
            quiet.restart();
            run.pause();
            ++frozen;
            const QImage shot = x->screenshot();
            const WindowGeometry d = x->geometry(dialogs.front());
            QString main;
            for (const QString& id : x->findWindows(QStringLiteral("."), run.pid()))
                if (id != dialogs.front())
                    main = id;
            const WindowGeometry m = x->geometry(main);
            run.resume();

            const PixelShares dp = CountPixels(shot, d.client);
            const PixelShares mp = CountPixels(shot, m.client);
            const QPoint offCentre = d.outer().center() - m.outer().center();
            why = QStringLiteral("dialog light %1 dark %2, main window black %3, off centre by %4, %5")
                      .arg(dp.light)
                      .arg(dp.dark)
                      .arg(mp.black)
                      .arg(offCentre.manhattanLength())
                      .arg(x->property(dialogs.front(), QStringLiteral("_NET_FRAME_EXTENTS")));
            // Painted: mostly the window background, some dark text; the main window not black.
            if (dp.light > 0.6 && dp.dark > 0.003 && mp.black < 0.1 && !main.isEmpty()) {
                seen = true;
                x->keepScreenshot(shot, QStringLiteral("wait-dialog-mid-load"));
                // Centred on the main window, with no frame (so no buttons) from the window manager.
                EXPECT_LE(offCentre.manhattanLength(), 3) << why.toStdString();
                EXPECT_TRUE(d.frame.isNull()) << why.toStdString();
                return true;
            }
            return false;
        },
        60000, 30);
    EXPECT_TRUE(seen) << frozen << " looks at the frozen program; the last: " << why.toStdString();

    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}

// SIGTERM while the catalogue is read: the program stops the read (its reader child, held here
// so that the read cannot end by itself), closes as its close command does and saves the
// settings, without waiting for the reader's own stall limit (10 s) or showing the open failure.
TEST_F(RealSession, SigtermDuringTheCatalogueReadEndsTheProgram)
{
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("big.mdb"));
    bench::generateCatalogue(catalogue.toStdString(), 100000);
    AppFolder app(catalogue);
    QFile::remove(catalogue);
    app.setIni("SEARCH", "WORD", "kept");

    AppRun run(*x, app);
    qint64 reader = 0;
    WaitUntil(
        [&] {
            reader = ChildWith(run.pid(), "--read-catalogue");
            return reader != 0 || !run.running();
        },
        30000, 2);
    ASSERT_NE(reader, 0) << "no reader child seen; " << run.output().toStdString();
    ::kill(pid_t(reader), SIGSTOP);
    ::kill(pid_t(run.pid()), SIGTERM);
    QElapsedTimer t;
    t.start();
    const bool exited = run.waitExit(8000);
    const qint64 ms = t.elapsed();
    if (!exited)
        ::kill(pid_t(reader), SIGKILL);
    ASSERT_TRUE(exited) << "still running " << ms << " ms after SIGTERM";
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_NE(::kill(pid_t(reader), 0), 0) << "the reader child is gone";
    EXPECT_EQ(app.ini("SEARCH", "WORD"), "kept");
    EXPECT_EQ(app.ini("WINDOW", "WINSATE"), "0") << "the close saved the settings";
}

// --- Keyboard ----------------------------------------------------------------------------------------

TEST_F(RealSession, TabLeavesTheGridBothWays)
{
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    AppRun run(*x, app);
    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    x->activate(w);

    // Tab from the grid reaches the drive button at the top of the order: Space opens the chooser.
    x->click(w, kGridRow);
    x->key(QStringLiteral("Tab"));
    x->key(QStringLiteral("space"));
    const QString chooserName = QStringLiteral("お楽しみCDのドライブを選択して下さい");
    QString chooser;
    ASSERT_TRUE(WaitUntil(
        [&] {
            chooser = x->findWindows(chooserName, run.pid()).value(0);
            return !chooser.isEmpty();
        },
        kEventWaitMs))
        << "the folder chooser did not open";
    x->activate(chooser);
    x->key(QStringLiteral("Escape"));
    ASSERT_TRUE(WaitUntil([&] { return x->findWindows(chooserName, run.pid()).isEmpty(); }, kEventWaitMs));
    x->activate(w);

    // Shift+Tab from the grid reaches the exit button, the last of the top band.
    x->click(w, kGridRow);
    x->key(QStringLiteral("shift+Tab"));
    x->key(QStringLiteral("space"));
    EXPECT_TRUE(run.waitExit(kEventWaitMs)) << "the exit button did not get the focus";
    EXPECT_EQ(run.exitCode(), 0);
}

TEST_F(RealSession, AltRGoesToTheFirstRecordButton)
{
    // With a drive chosen the title names the current entry's folder: it tells which entry is shown.
    ASSERT_TRUE(orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "/cd"));
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    AppRun run(*x, app);
    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    x->activate(w);
    const QString first = x->windowName(w);
    ASSERT_TRUE(first.contains(QStringLiteral("Target"))) << first.toStdString();

    // Click the next-entry button (it keeps the focus it took), then the keyword box.
    x->click(w, kNextRecordButton);
    ASSERT_TRUE(WaitUntil([&] { return x->windowName(w) != first; }, kEventWaitMs));
    x->click(w, kKeywordBox);
    x->key(QStringLiteral("alt+r"));
    x->key(QStringLiteral("space"));
    EXPECT_TRUE(WaitUntil([&] { return x->windowName(w) == first; }, kEventWaitMs))
        << "Space stepped elsewhere: " << x->windowName(w).toStdString();

    // The card view, for looking at once it is shown.
    const QRect client = x->geometry(w).client;
    const QImage list = x->screenshot();
    x->key(QStringLiteral("alt+c"));
    EXPECT_TRUE(WaitUntil([&] { return DifferingPixels(list, x->screenshot(), client) > 5000; }, kEventWaitMs));
    x->settledPicture(client, HideCaret);
    x->keepScreenshot(x->screenshot(), QStringLiteral("card-view"));
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}

// --- Look ------------------------------------------------------------------------------------------------

TEST_F(RealSession, ToolTipsShowOnHover)
{
    // A drive of 20 or more characters: the label shows it shortened, the tip in full.
    const std::string root = "/media/cdrom/bonus-volume-twelve";
    ASSERT_TRUE(orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, root));
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    AppRun run(*x, app);
    const QString w = run.waitMainWindow();
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "");
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    x->activate(w);
    const QRect client = x->geometry(w).client;

    for (const QPoint at : {kModeButton, kDriveLabel}) {
        // The tip appears beside the pointer, within a little while, and goes when it leaves.
        const QRect near(client.topLeft() + at - QPoint(40, 10), QSize(320, 60));
        x->hover(w, kNoTipSpot); // the pointer away first, and no tip left near the spot
        const QImage before = x->settledPicture(near);
        x->hover(w, at);
        QImage during;
        const bool shown = WaitUntil(
            [&] {
                during = x->screenshot();
                return DifferingPixels(before, during.copy(near)) > 400;
            },
            kEventWaitMs, 100);
        x->keepScreenshot(during, QStringLiteral("tooltip-%1").arg(at.x()));
        EXPECT_TRUE(shown) << "no tip at " << at.x() << ", " << at.y();
    }
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}

TEST_F(RealSession, ScaleFactorTwoScalesTheWholeWindow)
{
    XSession big(QSize(1800, 1400));
    ASSERT_TRUE(big.started()) << big.error().toStdString();
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    RunOptions scaled;
    scaled.setEnv.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    AppRun run(big, app, scaled);
    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    // Twips stay 15 to a logical pixel: the saved frame is twice as many screen pixels.
    const WindowGeometry g = big.geometry(w);
    EXPECT_TRUE(Near(g.outer(), QRect(kSavedPixels.topLeft() * 2, kSavedPixels.size() * 2), 3));
    // The controls are where the design puts them, at twice the distance: the first record
    // button's dark picture under its design point.
    const QImage shot = big.screenshot();
    big.keepScreenshot(shot, QStringLiteral("scale-2"));
    const QRect picture(g.client.topLeft() + kFirstRecordButton * 2 - QPoint(8, 8), QSize(16, 16));
    EXPECT_GT(CountPixels(shot, picture).black, 0.2);
    ASSERT_TRUE(run.closeThroughWindowManager(w));
    EXPECT_TRUE(Near(app.savedRect(), kSavedTwips, 30));
}

TEST_F(RealSession, APlatformThemesFontLeavesTheLayoutAsDesigned)
{
    // qt6ct sets its own application font once the program runs, even with nothing configured.
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platformthemes/libqt6ct.so")))
        GTEST_SKIP() << "qt6ct is not installed";
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    QTemporaryDir config; // the theme's configuration: none
    auto band = [&](bool themed) {
        RunOptions o;
        o.setEnv.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        if (themed)
            o.setEnv.insert(QStringLiteral("QT_QPA_PLATFORMTHEME"), QStringLiteral("qt6ct"));
        else
            o.unsetEnv << QStringLiteral("QT_QPA_PLATFORMTHEME");
        AppRun run(*x, app, o);
        const QString w = run.waitMainWindow();
        if (w.isEmpty())
            return QImage();
        // The top band once painted, the blinking caret at the start of the keyword box left out.
        const QImage top = x->settledPicture(QRect(x->geometry(w).client.topLeft(), QSize(632, 185)), HideCaret);
        x->keepScreenshot(x->screenshot(), themed ? QStringLiteral("theme-qt6ct") : QStringLiteral("theme-none"));
        run.closeThroughWindowManager(w);
        return top;
    };
    const QImage plain = band(false);
    const QImage themed = band(true);
    ASSERT_FALSE(plain.isNull());
    ASSERT_FALSE(themed.isNull());
    EXPECT_EQ(DifferingPixels(plain, themed), 0);
}

// --- Command line and window system -------------------------------------------------------------------

TEST_F(RealSession, QtCommandLineOptionsChangeNothing)
{
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    auto look = [&](const QStringList& arguments, WindowGeometry* g) {
        AppRun run(*x, app, RunOptions{arguments, {}, {}});
        const QString w = run.waitMainWindow();
        if (w.isEmpty())
            return QImage();
        *g = x->geometry(w);
        // The last paint may come late on a busy machine: the picture once it holds still, the
        // blinking caret at the start of the keyword box left out.
        const QImage client = x->settledPicture(g->client, HideCaret);
        run.closeThroughWindowManager(w);
        return client;
    };
    WindowGeometry plainGeometry, optionsGeometry;
    const QImage plain = look({}, &plainGeometry);
    ASSERT_FALSE(plain.isNull());

    QTemporaryDir dir;
    const QString sheet = dir.filePath(QStringLiteral("red.qss"));
    QFile f(sheet);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("QWidget { background: red; }");
    f.close();
    const QImage options =
        look({QStringLiteral("-reverse"), QStringLiteral("-style"), QStringLiteral("windows"),
              QStringLiteral("-stylesheet"), sheet, QStringLiteral("-qwindowgeometry"), QStringLiteral("300x200+0+0"),
              QStringLiteral("-platform"), QStringLiteral("offscreen")},
             &optionsGeometry);
    ASSERT_FALSE(options.isNull()) << "no window on the X display";
    EXPECT_EQ(optionsGeometry.outer(), plainGeometry.outer());
    ASSERT_EQ(options.size(), plain.size());
    // Only the keyword box's blinking caret may differ.
    EXPECT_LT(DifferingPixels(plain, options), 200) << "of " << plain.width() * plain.height() << " pixels";
}

TEST_F(RealSession, WaylandSessionWithAnXServerRunsOnIt)
{
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    RunOptions wayland;
    wayland.setEnv.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    wayland.setEnv.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("orvantis-test-absent-0"));
    wayland.unsetEnv << QStringLiteral("QT_QPA_PLATFORM");
    AppRun run(*x, app, wayland);
    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    // On the X server it can place itself.
    EXPECT_TRUE(Near(x->geometry(w).outer(), kSavedPixels, 1));
    ASSERT_TRUE(run.closeThroughWindowManager(w));
    EXPECT_TRUE(Near(app.savedRect(), kSavedTwips, 15));
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
