// A library of CD copies in a real session: the file button opens an entry's file out of a volume
// kept as a BIN/CUE image, the entry's folder copied out of the image's raw sectors first.
#include "realx/SessionTest.h"
#include "realx/StubOpener.h"

#include "support/DiscImages.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvreal;

namespace {

// 100, 100, 700, 500 pixels at 15 twips a pixel.
const QRect kSavedTwips(1500, 1500, 10500, 7500);

using RealLibrary = SessionTest;

} // namespace

TEST_F(RealLibrary, TheFileButtonOpensAFileOutOfABinCueVolume)
{
    // Volume 011, the first entry's, as a CUE sheet over raw Mode 1 sectors with an audio track
    // after the data; the sheet names its BIN in another letter case.
    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("library"));
    QDir().mkpath(lib);
    const std::string iso = dir.filePath(QStringLiteral("volume.iso")).toStdString();
    orvtest::writeIsoImage(iso, PointToolVolume());
    const std::string sheet = orvtest::writeBinCue(lib.toStdString(), "お楽しみCD 11", orvtest::readFileBytes(iso),
                                                   {"MODE1/2352", 1, false, false, "お楽しみcd 11.BIN"});
    ASSERT_EQ(orvtest::patchFileBytes(sheet, "cd 11.BIN", "CD 11.bin"), 1);
    const StubOpener opener(dir.path());
    const SavedDrive drive(lib);
    ASSERT_TRUE(drive.ok());

    AppFolder app(QString::fromStdString(orvtest::dataPath("tevox20.mdb")));
    app.saveFrame(kSavedTwips);
    AppRun run(*x, app, opener.runOptions());
    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    x->activate(w);

    x->key(QStringLiteral("alt+u"));
    ASSERT_TRUE(WaitUntil([&] { return opener.count() == 1; }, 10000))
        << "the opener was not started: " << run.output().toStdString();
    ExpectPointToolCopy(opener.calls().substr(0, opener.calls().find('\n')));
    EXPECT_EQ(x->findWindows(QStringLiteral("."), run.pid()).size(), 1) << "a message box came up";
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}
