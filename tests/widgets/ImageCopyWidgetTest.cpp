// Copies out of disc images under the wait dialog: shown while the child copies, with its
// progress and a cancel button that Escape presses and that leaves nothing behind; no dialog for a
// copy from the cache; a failure named in its own message.
#include "actions/widgets/ImageCopyWait.h"
#include "platform/disc/VolumeCache.h"
#include "platform/settings/UserStore.h"
#include "support/IsoImage.h"
#include "widgets/WidgetHarness.h"

#include <QApplication>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace orvtest;
namespace fs = std::filesystem;

namespace {

// Every copy dialog that comes while an action runs: what it showed, and what was done with it
// once its bar had moved.
class CopyDialogs : public QObject {
public:
    explicit CopyDialogs(std::function<void(orv::dlgWait&)> onProgress = {}) : onProgress_(std::move(onProgress))
    {
        qApp->installEventFilter(this);
    }
    ~CopyDialogs() override { qApp->removeEventFilter(this); }

    int shown = 0;
    QString title, message, cancelText;
    int barValue = -1, barMaximum = -1;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        auto* d = qobject_cast<orv::dlgWait*>(o);
        if (e->type() == QEvent::Show && d && d->ProgressBar) {
            ++shown;
            title = d->windowTitle();
            message = d->Label1->text();
            cancelText = d->CancelButton->text();
            connect(d->ProgressBar, &QProgressBar::valueChanged, d, [this, d](int value) {
                if (value <= 0 || acted_)
                    return;
                acted_ = true;
                barValue = value;
                barMaximum = d->ProgressBar->maximum();
                // As the user would: from the event loop.
                if (onProgress_)
                    QTimer::singleShot(0, d, [this, d] { onProgress_(*d); });
            });
        }
        return false;
    }

private:
    std::function<void(orv::dlgWait&)> onProgress_;
    bool acted_ = false;
};

class ImageCopies : public StartedWindow {
protected:
    void SetUp() override
    {
        StartedWindow::SetUp();
        if (HasFatalFailure())
            return;
        // The first entry is on volume 011, in UTIL\SS\POINT, and is POINT.EXE.
        fs::remove_all(cache);
        fs::create_directories(lib);
        writeIsoImage(lib + "/CD011.iso",
                      {isoFolder("UTIL"), isoFolder("UTIL/SS"), isoFolder("UTIL/SS/POINT"),
                       isoFile("UTIL/SS/POINT/POINT.EXE", "MZ point")});
        orv::FolderChooserHook::setNextFolders({QString::fromStdString(lib)});
        ctl<QPushButton>(w(), "btnSelRoot")->click();
    }
    void TearDown() override
    {
        clearStoredDrive();
        stop();
    }

    // The cache's files, not counting the stamps and locks of the image folders.
    std::vector<std::string> cachedFiles() const
    {
        std::vector<std::string> out;
        if (!fs::exists(cache))
            return out;
        for (const auto& e : fs::recursive_directory_iterator(cache)) {
            const std::string name = e.path().filename().string();
            if (name != "source" && name != "lock" && !e.is_directory())
                out.push_back(fs::relative(e.path(), cache).string());
            if (e.is_directory() && name.rfind(".new-", 0) == 0)
                out.push_back(fs::relative(e.path(), cache).string());
        }
        return out;
    }

    TempDir dir;
    const std::string lib = (dir.path() / "library").string();
    const std::string cache = std::string(std::getenv("XDG_CACHE_HOME")) + "/orvantis/volumes";
};

} // namespace

TEST_F(ImageCopies, TheCopyRunsUnderTheWaitDialogAndEscapeCancelsIt)
{
    // A reader that tells its size, goes half way when told to, and would take a minute more.
    const std::string slow = dir.file("slow-reader");
    writeFileBytes(slow,
                   "#!/bin/sh\nprintf 'size 1000 1\\n'\nhead -c1 >/dev/null\nprintf 'progress 500\\n'\n"
                   "exec sleep 60\n");
    fs::permissions(slow, fs::perms::owner_all);
    w().actions().setDiscReader(slow);
    bool openAfterKeys = false;
    CopyDialogs dialogs([&](orv::dlgWait& d) {
        // Keys typed meanwhile stop nothing; Escape presses the cancel button.
        QTest::keyClick(&d, Qt::Key_Return);
        QTest::keyClick(&d, Qt::Key_Space);
        QTest::keyClick(&d, Qt::Key_A);
        openAfterKeys = d.isVisible();
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    ctl<QPushButton>(w(), "Command3")->click();
    EXPECT_EQ(dialogs.shown, 1);
    EXPECT_EQ(dialogs.title, QStringLiteral("Orvantis （コピー）"));
    EXPECT_EQ(dialogs.message, QStringLiteral("CDイメージからコピー中・・・\nしばらくお待ちください。"));
    EXPECT_EQ(dialogs.cancelText, QStringLiteral("キャンセル"));
    EXPECT_EQ(dialogs.barValue * 2, dialogs.barMaximum) << "half of the folder's bytes";
    EXPECT_TRUE(openAfterKeys);
    // Nothing opened, nothing said, nothing left.
    EXPECT_TRUE(h->shellCalls.empty());
    EXPECT_TRUE(h->messages.empty()) << h->messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(cachedFiles(), std::vector<std::string>{});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ImageCopies, ACopyFromTheCacheShowsNoDialog)
{
    CopyDialogs dialogs;
    ctl<QPushButton>(w(), "Command3")->click();
    ASSERT_EQ(h->shellCalls.size(), 1u) << h->messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(dialogs.shown, 1) << "the first time, copied under the dialog";
    EXPECT_EQ(readFileBytes(h->shellCalls[0].target), "MZ point");
    // From the cache, either button.
    ctl<QPushButton>(w(), "Command3")->click();
    ctl<QPushButton>(w(), "Command2")->click();
    ASSERT_EQ(h->shellCalls.size(), 3u);
    EXPECT_EQ(h->shellCalls[1].target, h->shellCalls[0].target);
    EXPECT_EQ(h->shellCalls[2].target, fs::path(h->shellCalls[0].target).parent_path().string());
    EXPECT_EQ(dialogs.shown, 1);
    EXPECT_TRUE(h->messages.empty());
}

TEST_F(ImageCopies, ACacheThatCannotBeWrittenIsNamed)
{
    // Where the cache folder should be, a file.
    const fs::path orvantis = fs::path(cache).parent_path();
    fs::remove_all(orvantis);
    fs::create_directories(orvantis.parent_path());
    writeFileBytes(orvantis.string(), "not a folder");
    CopyDialogs dialogs;
    ctl<QPushButton>(w(), "Command3")->click();
    fs::remove(orvantis);
    EXPECT_EQ(dialogs.shown, 0);
    EXPECT_TRUE(h->shellCalls.empty());
    ASSERT_EQ(h->messages.size(), 1u);
    EXPECT_EQ(
        h->messages[0].text,
        QStringLiteral("CDイメージ「CD011.iso」からコピーできません。\r\nコピー先に書き込めません。\r\nコピー先：")
            + QString::fromStdString(cache));
    EXPECT_EQ(h->messages[0].style, orv::MsgStyle::Critical);
}

TEST_F(ImageCopies, AReaderThatHangsWithoutAWordIsStoppedAtItsTimeLimit)
{
    // Silent from the start: no line to wake the dialog, only the read's time limit.
    const std::string hang = dir.file("hang-reader");
    writeFileBytes(hang, "#!/bin/sh\nexec sleep 30\n");
    fs::permissions(hang, fs::perms::owner_all);
    orv::VolumeCacheLimits quick;
    quick.timeLimitMs = 300;
    CopyDialogs dialogs;
    const std::unique_ptr<orv::ImageCopyRun> run =
        orv::VolumeCache(hang, cache, quick).start(lib + "/CD011.iso", {"UTIL", "SS", "POINT"});
    orv::WaitForImageCopy(&w(), *run);
    EXPECT_EQ(run->result().status, orv::ImageCopyStatus::TimedOut);
    EXPECT_EQ(dialogs.shown, 1);
    EXPECT_EQ(cachedFiles(), std::vector<std::string>{});
}
