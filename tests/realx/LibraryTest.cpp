// The library of CD copies in a real session: a file opened out of a disc image, a copy out of a
// large image under the wait dialog cancelled with Escape, the drive kept through the chooser by
// Alt+D then Enter.
#include "realx/ChildProcess.h"
#include "realx/RealSession.h"
#include "realx/SessionTest.h"

#include "platform/settings/UserStore.h"
#include "support/IsoImage.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

using namespace orvreal;

namespace {

const QRect kSavedTwips(1500, 1500, 10500, 7500);
const QString kChooserTitle = QStringLiteral("お楽しみCDのドライブを選択して下さい");

std::string storedDrive() { return orv::RegReadString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath); }

void storeDrive(const QString& drive)
{
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, drive.toStdString());
}

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
    void TearDown() override { storeDrive(QString()); }
    QString sample() const { return QString::fromStdString(orvtest::dataPath("tevox20.mdb")); }

    // The desktop's opener and its association lookup as stubs that write down what they are asked
    // to open (in opened); the run's options put them first.
    RunOptions stubDesktop() const
    {
        const QString bin = dir.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        orvtest::writeFileBytes((bin + QStringLiteral("/xdg-open")).toStdString(),
                                "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened.toStdString() + "'\n");
        orvtest::writeFileBytes((bin + QStringLiteral("/xdg-mime")).toStdString(), "#!/bin/sh\necho stub.desktop\n");
        for (const QString& stub : {QStringLiteral("xdg-open"), QStringLiteral("xdg-mime")})
            QFile::setPermissions(bin + QLatin1Char('/') + stub, QFile::ReadOwner | QFile::ExeOwner);
        RunOptions options;
        options.setEnv.insert(QStringLiteral("PATH"), bin + QLatin1Char(':') + qEnvironmentVariable("PATH"));
        return options;
    }

    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("library"));
    const QString opened = dir.filePath(QStringLiteral("opened.txt"));
};

} // namespace

TEST_F(RealLibrary, TheFileButtonOpensAFileOutOfADiscImage)
{
    // Volume 011, the first entry's, as an image.
    QDir().mkpath(lib);
    orvtest::writeIsoImage((lib + QStringLiteral("/お楽しみCD 11.iso")).toStdString(),
                           {orvtest::isoFolder("UTIL"), orvtest::isoFolder("UTIL/SS"),
                            orvtest::isoFolder("UTIL/SS/POINT"), orvtest::isoFile("UTIL/SS/POINT/POINT.EXE", "MZ"),
                            orvtest::isoFile("UTIL/SS/POINT/POINT.INI", "[point]")});
    storeDrive(lib);
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    AppRun run(*x, app, stubDesktop());
    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    x->activate(w);
    // The title names where the entry's folder opens from: the image, and the folder inside it.
    EXPECT_EQ(x->windowName(w),
              QStringLiteral("Orvantis  Target：") + lib + QStringLiteral("/お楽しみCD 11.iso/UTIL/SS/POINT"));

    // Twice: the copy is made, then used again.
    const auto opens = [&] {
        const std::string calls = orvtest::readFileBytes(opened.toStdString());
        return std::count(calls.begin(), calls.end(), '\n');
    };
    for (int press = 1; press <= 2; ++press) {
        x->key(QStringLiteral("alt+u"));
        ASSERT_TRUE(WaitUntil([&] { return opens() == press; }, 10000))
            << "the opener was not started: " << run.output().toStdString();
    }
    const std::string calls = orvtest::readFileBytes(opened.toStdString());
    const std::string file = calls.substr(0, calls.find('\n'));
    EXPECT_EQ(calls, file + "\n" + file + "\n");
    const std::string cache = qEnvironmentVariable("XDG_CACHE_HOME").toStdString() + "/orvantis/volumes/";
    EXPECT_EQ(file.rfind(cache, 0), 0u) << file;
    EXPECT_EQ(file.substr(file.size() - 24), "/UTIL/SS/POINT/POINT.EXE");
    EXPECT_EQ(orvtest::readFileBytes(file), "MZ");
    EXPECT_EQ(orvtest::readFileBytes(file.substr(0, file.size() - 3) + "INI"), "[point]");
    // Nothing asked, nothing reported.
    EXPECT_EQ(x->findWindows(QStringLiteral("."), run.pid()).size(), 1) << "a message box came up";
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}

TEST_F(RealLibrary, ACopyOutOfALargeImageShowsTheWaitDialogAndEscapeCancelsIt)
{
    // Volume 011, the first entry's, as an image whose entry folder holds 600 MB; no copies yet.
    QDir(cacheFolder()).removeRecursively();
    QDir().mkpath(lib);
    std::vector<orvtest::IsoEntry> entries{orvtest::isoFolder("UTIL"), orvtest::isoFolder("UTIL/SS"),
                                           orvtest::isoFolder("UTIL/SS/POINT"),
                                           orvtest::isoFile("UTIL/SS/POINT/POINT.EXE", "MZ")};
    for (int i = 0; i < 3; ++i)
        entries.push_back(orvtest::isoFile("UTIL/SS/POINT/DATA" + std::to_string(i) + ".BIN",
                                           std::string(200u << 20, char('a' + i))));
    orvtest::writeIsoImage((lib + QStringLiteral("/CD011.iso")).toStdString(), entries);
    entries.clear();
    storeDrive(lib);

    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    const RunOptions options = stubDesktop();
    AppRun run(*x, app, options);
    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    x->activate(w);
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
    EXPECT_FALSE(QFile::exists(opened));
    EXPECT_EQ(x->findWindows(QStringLiteral("."), run.pid()).size(), 1) << "a message box came up";
    EXPECT_EQ(ChildWith(run.pid(), "--copy-image-folder"), 0);
    EXPECT_EQ(cacheEntries(), QStringList());
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}

TEST_F(RealLibrary, AltDThenEnterKeepsTheDrive)
{
    QDir().mkpath(lib);
    storeDrive(lib);
    AppFolder app(sample());
    app.saveFrame(kSavedTwips);
    {
        AppRun run(*x, app);
        const QString w = run.waitMainWindow();
        ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
        x->activate(w);
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
    storeDrive(QString());
    AppRun run(*x, app);
    const QString w = run.waitMainWindow();
    ASSERT_FALSE(w.isEmpty()) << run.output().toStdString();
    x->activate(w);
    x->key(QStringLiteral("alt+d"));
    ASSERT_TRUE(WaitUntil([&] { return !x->findWindows(kChooserTitle, run.pid()).isEmpty(); }, 20000));
    x->key(QStringLiteral("Return"));
    x->key(QStringLiteral("Escape"));
    ASSERT_TRUE(WaitUntil([&] { return x->findWindows(kChooserTitle, run.pid()).isEmpty(); }, 20000));
    EXPECT_EQ(storedDrive(), "");
    EXPECT_EQ(x->windowName(w), QStringLiteral("Orvantis"));
    ASSERT_TRUE(run.closeThroughWindowManager(w));
}
