// Start-up and the keyboard from the first moment, in a real session under a window manager:
// restarts that go straight on to the list, access keys that answer at once and go where their
// captions say, input-method text that takes part in the search.
#include "realx/RealSession.h"

#include "platform/settings/UserStore.h"
#include "support/TestSupport.h"

#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <vector>

using namespace orvreal;

namespace {

// 100, 100, 700, 500 pixels at 15 twips a pixel.
const QRect kSavedTwips(1500, 1500, 10500, 7500);

// Where the controls the tests use lie in the client area (pixels), by the window's design.
const QPoint kGridRow(100, 230); // DBGrid1, list view
const QPoint kKeywordAnd(580, 46); // optGame(0)
const QPoint kNegativeOr(583, 109); // optMaker(1)
const QPoint kLastRecordButton(171, 168); // btnRecord(4)
const QPoint kKeywordBox(390, 47); // txtStrGame(0)
const QPoint kSearchButton(160, 132); // Command1

class RealStart : public testing::Test {
protected:
    void SetUp() override
    {
        const QStringList missing = MissingTools();
        if (!missing.isEmpty())
            GTEST_SKIP() << "not installed: " << missing.join(QStringLiteral(", ")).toStdString();
        x = std::make_unique<XSession>();
        ASSERT_TRUE(x->started()) << x->error().toStdString();
        // No drive from an earlier test of this process.
        orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "");
    }

    QString sample() const { return QString::fromStdString(orvtest::dataPath("tevox20.mdb")); }

    void saveFrame(const AppFolder& app) const
    {
        app.setIni("WINDOW", "LEFT", std::to_string(kSavedTwips.left()));
        app.setIni("WINDOW", "TOP", std::to_string(kSavedTwips.top()));
        app.setIni("WINDOW", "WIDTH", std::to_string(kSavedTwips.width()));
        app.setIni("WINDOW", "HEIGHT", std::to_string(kSavedTwips.height()));
        app.setIni("WINDOW", "WINSATE", "0");
    }

    // A drive makes the title name the current entry's folder: it tells which entry is shown.
    void chooseDrive() const
    {
        ASSERT_TRUE(orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "/cd"));
    }

    bool titleEndsWith(const QString& window, const QString& folder, int timeoutMs = 5000) const
    {
        return WaitUntil([&] { return x->windowName(window).endsWith(folder); }, timeoutMs);
    }

    std::unique_ptr<XSession> x;
};

} // namespace

// --- Straight on to the list ------------------------------------------------------------------------

TEST_F(RealStart, RestartsGoStraightOnToTheList)
{
    // The first start has no settings; every later one restores the frame the one before saved.
    // The window is created where that frame is, so the placement asks the window manager for
    // nothing and no answer comes: the load must not wait for one. (A wait would last its whole
    // bound, a second; the load itself takes a fraction of that.)
    AppFolder app(sample());
    QRect saved;
    {
        AppRun run(*x, app);
        const QString w = run.waitMainWindow();
        ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
        ASSERT_TRUE(run.closeThroughWindowManager(w));
        saved = app.savedRect();
    }
    std::vector<qint64> mappedToList;
    for (int start = 2; start <= 4; ++start) {
        AppRun run(*x, app);
        const QString w = run.waitMainWindow();
        ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
        mappedToList.push_back(run.lastChangeAtMs() - run.firstWindowAtMs());
        ASSERT_TRUE(run.closeThroughWindowManager(w));
        EXPECT_EQ(app.savedRect(), saved) << "start " << start;
    }
    std::sort(mappedToList.begin(), mappedToList.end());
    std::cout << "window mapped to list: " << mappedToList[0] << ", " << mappedToList[1] << ", " << mappedToList[2]
              << " ms" << std::endl;
    EXPECT_LT(mappedToList[1], 900) << "the start waited for the window manager";
}
