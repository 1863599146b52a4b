// A library of CD copies in a real session: the file button opens an entry's file out of a disc
// image and out of a volume kept as a BIN/CUE image (the entry's folder copied out of the image's
// raw sectors first), a copy out of a large image shows the wait dialog and Escape cancels it, and
// the drive is kept through the chooser by Alt+D then Enter.
#include "realx/ChildProcess.h"
#include "realx/SessionTest.h"
#include "realx/StubOpener.h"

#include "support/DiscImages.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using namespace orvreal;

namespace {

// 100, 100, 700, 500 pixels at 15 twips a pixel.
const QRect kSavedTwips(1500, 1500, 10500, 7500);
const QString kChooserTitle = QStringLiteral("お楽しみCDのドライブを選択して下さい");

std::string storedDrive() { return orv::RegReadString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath); }

QString cacheFolder() { return qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/orvantis/volumes"); }

// What the cache holds besides the image folders' stamps and locks: the copies' files and
// folders, and copies in progress.
QStringList cacheEntries()
{
    const QString cache = cacheFolder();
    QStringList out;
    QDirIterator it(cache, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = it.fileName();
        if (name != QLatin1String("source") && name != QLatin1String("lock")
            && QFileInfo(path).dir().absolutePath() != cache)
            out << path.mid(cache.size() + 1);
    }
    return out;
}

class RealLibrary : public SessionTest {
protected:
    // The program on the sample catalogue, until its main window is there and has the focus; the
    // window's id in *window (empty when it did not come).
    std::unique_ptr<AppRun> start(const RunOptions& options, QString* window)
    {
        app.saveFrame(kSavedTwips);
        auto run = std::make_unique<AppRun>(*x, app, options);
        *window = run->waitMainWindow();
        if (!window->isEmpty())
            x->activate(*window);
        return run;
    }

    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("library"));
    AppFolder app{QString::fromStdString(orvtest::dataPath("tevox20.mdb"))};
};

} // namespace

TEST_F(RealLibrary, TheFileButtonOpensAFileOutOfADiscImage)
{
    // A library holding volume 011, the first entry's, as an image.
    QDir().mkpath(lib);
    orvtest::writeIsoImage((lib + QStringLiteral("/お楽しみCD 11.iso")).toStdString(), PointToolVolume());
    const StubOpener opener(dir.path());
    const SavedDrive drive(lib);
    ASSERT_TRUE(drive.ok());

    QString w;
    const std::unique_ptr<AppRun> started = start(opener.runOptions(), &w);
    AppRun& run = *started;
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    // The title names where the entry's folder opens from: the image, and the folder inside it.
    EXPECT_EQ(x->windowName(w),
              QStringLiteral("Orvantis  Target：") + lib + QStringLiteral("/お楽しみCD 11.iso/UTIL/SS/POINT"));

    // Twice: the copy is made, then used again.
    for (int press = 1; press <= 2; ++press) {
        x->key(QStringLiteral("alt+u"));
        ASSERT_TRUE(WaitUntil([&] { return opener.count() == press; }, 10000))
            << "the opener was not started: " << run.output().toStdString();
    }
    const std::string calls = opener.calls();
    const std::string file = calls.substr(0, calls.find('\n'));
    EXPECT_EQ(calls, file + "\n" + file + "\n");
    ExpectPointToolCopy(file);
    // Nothing asked, nothing reported.
    EXPECT_EQ(x->findWindows(QStringLiteral("."), run.pid()).size(), 1) << "a message box came up";
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}

TEST_F(RealLibrary, TheFileButtonOpensAFileOutOfABinCueVolume)
{
    // Volume 011, the first entry's, as a CUE sheet over raw Mode 1 sectors with an audio track
    // after the data; the sheet names its BIN in another letter case.
    QDir().mkpath(lib);
    const std::string iso = dir.filePath(QStringLiteral("volume.iso")).toStdString();
    orvtest::writeIsoImage(iso, PointToolVolume());
    const std::string sheet = orvtest::writeBinCue(lib.toStdString(), "お楽しみCD 11", orvtest::readFileBytes(iso),
                                                   {"MODE1/2352", 1, false, false, "お楽しみcd 11.BIN"});
    ASSERT_EQ(orvtest::patchFileBytes(sheet, "cd 11.BIN", "CD 11.bin"), 1);
    const StubOpener opener(dir.path());
    const SavedDrive drive(lib);
    ASSERT_TRUE(drive.ok());

    QString w;
    const std::unique_ptr<AppRun> started = start(opener.runOptions(), &w);
    AppRun& run = *started;
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();

    x->key(QStringLiteral("alt+u"));
    ASSERT_TRUE(WaitUntil([&] { return opener.count() == 1; }, kEventWaitMs))
        << "the opener was not started: " << run.output().toStdString();
    ExpectPointToolCopy(opener.calls().substr(0, opener.calls().find('\n')));
    EXPECT_EQ(x->findWindows(QStringLiteral("."), run.pid()).size(), 1) << "a message box came up";
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}

TEST_F(RealLibrary, ACopyOutOfALargeImageShowsTheWaitDialogAndEscapeCancelsIt)
{
    // Volume 011, the first entry's, as an image whose entry folder holds 600 MB; no copies yet.
    QDir(cacheFolder()).removeRecursively();
    QDir().mkpath(lib);
    std::vector<orvtest::IsoEntry> entries = PointToolVolume();
    for (int i = 0; i < 3; ++i)
        entries.push_back(orvtest::isoFile("UTIL/SS/POINT/DATA" + std::to_string(i) + ".BIN",
                                           std::string(200u << 20, char('a' + i))));
    orvtest::writeIsoImage((lib + QStringLiteral("/CD011.iso")).toStdString(), entries);
    entries.clear();
    const StubOpener opener(dir.path());
    const SavedDrive drive(lib);
    ASSERT_TRUE(drive.ok());

    QString w;
    const std::unique_ptr<AppRun> started = start(opener.runOptions(), &w);
    AppRun& run = *started;
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    x->key(QStringLiteral("alt+u"));
    // The reader is held where it is as soon as it runs, so that the copy waits for the user.
    qint64 reader = 0;
    ASSERT_TRUE(WaitUntil([&] { return (reader = ChildWith(run.pid(), "--copy-image-folder")) != 0; }, 20000))
        << "no reader was started: " << run.output().toStdString();
    ::kill(pid_t(reader), SIGSTOP);
    QString dialog;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const QStringList found = x->findWindows(QStringLiteral("（コピー）"), run.pid());
            dialog = found.isEmpty() ? QString() : found.first();
            return !dialog.isEmpty();
        },
        20000));
    EXPECT_EQ(x->windowName(dialog), QStringLiteral("Orvantis （コピー）"));
    x->keepScreenshot(x->screenshot(), QStringLiteral("copy-wait-dialog"));

    x->activate(dialog);
    x->key(QStringLiteral("Escape"));
    ASSERT_TRUE(WaitUntil([&] { return x->findWindows(QStringLiteral("（コピー）"), run.pid()).isEmpty(); }, 20000));
    // Nothing opened, nothing said, nothing left: the reader ended, its copy removed.
    EXPECT_EQ(opener.count(), 0);
    EXPECT_EQ(x->findWindows(QStringLiteral("."), run.pid()).size(), 1) << "a message box came up";
    EXPECT_EQ(ChildWith(run.pid(), "--copy-image-folder"), 0);
    EXPECT_EQ(cacheEntries(), QStringList());
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}

TEST_F(RealLibrary, AltDThenEnterKeepsTheDrive)
{
    QDir().mkpath(lib);
    {
        const SavedDrive drive(lib);
        ASSERT_TRUE(drive.ok());
        QString w;
        const std::unique_ptr<AppRun> started = start({}, &w);
        AppRun& run = *started;
        ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
        const QString title = x->windowName(w);
        EXPECT_EQ(title, QStringLiteral("Orvantis  Target：") + lib + QStringLiteral("/UTIL/SS/POINT"));
        x->key(QStringLiteral("alt+d"));
        ASSERT_TRUE(WaitUntil([&] { return !x->findWindows(kChooserTitle, run.pid()).isEmpty(); }, 20000));
        x->keepScreenshot(x->screenshot(), QStringLiteral("chooser-with-the-saved-drive"));
        x->key(QStringLiteral("Return"));
        ASSERT_TRUE(WaitUntil([&] { return x->findWindows(kChooserTitle, run.pid()).isEmpty(); }, 20000));
        EXPECT_EQ(x->windowName(w), title);
        EXPECT_EQ(storedDrive(), lib.toStdString());
        ASSERT_TRUE(run.closeThroughWindowManager(w));
    }

    // Without a saved drive Enter chooses nothing: the chooser stays until Escape.
    QString w;
    const std::unique_ptr<AppRun> started = start({}, &w);
    AppRun& run = *started;
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    x->key(QStringLiteral("alt+d"));
    ASSERT_TRUE(WaitUntil([&] { return !x->findWindows(kChooserTitle, run.pid()).isEmpty(); }, 20000));
    x->key(QStringLiteral("Return"));
    x->key(QStringLiteral("Escape"));
    ASSERT_TRUE(WaitUntil([&] { return x->findWindows(kChooserTitle, run.pid()).isEmpty(); }, 20000));
    EXPECT_EQ(storedDrive(), "");
    EXPECT_EQ(x->windowName(w), QStringLiteral("Orvantis"));
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}
