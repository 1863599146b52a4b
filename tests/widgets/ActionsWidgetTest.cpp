// Choosing the CD drive and opening the current entry's file or folder through the shell.
#include "platform/settings/UserStore.h"
#include "support/IsoImage.h"
#include "widgets/WidgetHarness.h"

#include <QCoreApplication>
#include <filesystem>
#include <gtest/gtest.h>

using namespace orvtest;
namespace fs = std::filesystem;

namespace {

std::string storedDrive() { return orv::RegReadString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath); }

class Actions : public StartedWindow {
protected:
    void SetUp() override
    {
        StartedWindow::SetUp();
        if (HasFatalFailure())
            return;
        // The first entry lies in UTIL\SS\POINT and is POINT.EXE.
        ASSERT_EQ(ctl<QLabel>(w(), "lblFolder")->text(), QStringLiteral("UTIL\\SS\\POINT"));
        fs::create_directories(cd.path() / "UTIL" / "SS" / "POINT" / "SUB");
        writeFileBytes((cd.path() / "UTIL" / "SS" / "POINT" / "POINT.EXE").string(), "MZ");
        fs::create_directories(cd.path() / "UTIL" / "PC98" / "BGMTEST" / "ONLYDIRS");
    }
    void TearDown() override
    {
        clearStoredDrive();
        stop(); // the window goes before the CD folder it was pointed at
    }
    std::string root() const { return cd.path().string(); }

    TempDir cd;
};

} // namespace

TEST_F(Actions, ChoosingADriveStoresAndShowsIt)
{
    orv::FolderChooserHook::setNextFolders({QString::fromStdString(root())});
    ctl<QPushButton>(w(), "btnSelRoot")->click();
    EXPECT_EQ(orv::FolderChooserHook::calls(), 1);
    EXPECT_EQ(storedDrive(), root());
    const QString labelText = QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：") + QString::fromStdString(root());
    EXPECT_EQ(ctl<QLabel>(w(), "Label6")->toolTip(), labelText);
    EXPECT_EQ(ctl<QLabel>(w(), "Label6")->text(), labelText.left(28) + QStringLiteral("..."));
    const QString target = QStringLiteral("Orvantis  Target：") + QString::fromStdString(root());
    EXPECT_EQ(w().windowTitle(), target + QStringLiteral("/UTIL/SS/POINT"));

    // Moving to another entry changes the folder part of the title.
    w().views().StepRecord(3);
    EXPECT_EQ(w().windowTitle(), target + QStringLiteral("/UTIL/PC98/BGMTEST"));

    // After a search the title names the folder of the new current entry.
    ctl<QLineEdit>(w(), "txtStrGame_0")->setText(QStringLiteral("life"));
    ctl<QPushButton>(w(), "Command1")->click();
    const int first = h->shownRows().at(0);
    ASSERT_NE(first, 2);
    const std::string folderOfFirst = readFixtureCsv("tevox20.csv").at(static_cast<size_t>(first - 1)).at(11).value();
    EXPECT_EQ(w().windowTitle(),
              target + QStringLiteral("/")
                  + QString::fromStdString(folderOfFirst).replace(QLatin1Char('\\'), QLatin1Char('/')));
    w().views().StepRecord(1);

    // Cancelling later keeps the drive; the registry is not written again. The chooser opened with
    // the drive selected.
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "/elsewhere");
    orv::FolderChooserHook::setNextFolders({QString()});
    ctl<QPushButton>(w(), "btnSelRoot")->click();
    EXPECT_EQ(orv::FolderChooserHook::lastSelected(), QString::fromStdString(root()));
    EXPECT_EQ(ctl<QLabel>(w(), "Label6")->toolTip(), labelText);
    EXPECT_EQ(storedDrive(), "/elsewhere");
    EXPECT_EQ(w().windowTitle(),
              target + QStringLiteral("/")
                  + QString::fromStdString(folderOfFirst).replace(QLatin1Char('\\'), QLatin1Char('/')));
}

TEST(ActionsAtStart, StoredDriveShowsInTheTitleOnceTheListIsShown)
{
    AppFolder folder;
    orv::RegWriteString(orv::RegRoot::CurrentUser, orv::kRegKeyPath, orv::kRegSelPath, "/media/cd");
    Harness h(folder);
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h->windowTitle(), QStringLiteral("Orvantis  Target：/media/cd/UTIL/SS/POINT"));
    clearStoredDrive();
}

TEST_F(Actions, CancellingTheFirstChoiceLeavesNoDrive)
{
    const QString title = w().windowTitle();
    orv::FolderChooserHook::setNextFolders({QString()});
    ctl<QPushButton>(w(), "btnSelRoot")->click();
    EXPECT_EQ(ctl<QLabel>(w(), "Label6")->text(), QStringLiteral("指定ﾄﾞﾗｲﾌﾞ：未指定"));
    EXPECT_TRUE(ctl<QLabel>(w(), "Label6")->toolTip().isEmpty());
    EXPECT_EQ(w().windowTitle(), title);
    EXPECT_TRUE(storedDrive().empty());

    // Either action without a drive asks first; a cancel ends it quietly.
    orv::FolderChooserHook::setNextFolders({QString(), QString()});
    ctl<QPushButton>(w(), "Command3")->click();
    ctl<QPushButton>(w(), "Command2")->click();
    EXPECT_EQ(orv::FolderChooserHook::calls(), 2);
    EXPECT_TRUE(h->shellCalls.empty());
    EXPECT_TRUE(h->messages.empty());
}

TEST_F(Actions, FileButtonAsksForTheDriveFirstThenOpensTheFile)
{
    orv::FolderChooserHook::setNextFolders({QString::fromStdString(root())});
    ctl<QPushButton>(w(), "Command3")->click();
    EXPECT_EQ(orv::FolderChooserHook::calls(), 1);
    ASSERT_EQ(h->shellCalls.size(), 1u);
    EXPECT_FALSE(h->shellCalls[0].folder);
    EXPECT_EQ(h->shellCalls[0].target, root() + "/UTIL/SS/POINT/POINT.EXE");
    EXPECT_EQ(h->shellCalls[0].workingFolder, folder.path()) << "started in the application folder";
    EXPECT_TRUE(h->messages.empty());
    EXPECT_EQ(storedDrive(), root());
}

TEST_F(Actions, ShellFailuresHaveTheirMessages)
{
    orv::FolderChooserHook::setNextFolders({QString::fromStdString(root())});
    ctl<QPushButton>(w(), "btnSelRoot")->click();
    const std::string file = root() + "/UTIL/SS/POINT/POINT.EXE";
    const std::pair<int, QString> cases[] = {
        {0, QStringLiteral("メモリ不足です。")},
        {2, QStringLiteral("ファイルが見つかりません。")},
        {3, QStringLiteral("ファイルのパスが見つかりません。")},
        {31,
         QString::fromStdString(file)
             + QStringLiteral(" は\r\n関連付けされていないファイルです。\r\n関連付けを行って下さい。")},
        {5, QStringLiteral("5その他のエラー")},
        {-1, QStringLiteral("-1その他のエラー")},
    };
    for (const auto& [result, text] : cases) {
        h->messages.clear();
        h->shell->result = result;
        ctl<QPushButton>(w(), "Command3")->click();
        ASSERT_EQ(h->messages.size(), 1u) << result;
        EXPECT_EQ(h->messages[0].text, text) << result;
        EXPECT_EQ(h->messages[0].style, orv::MsgStyle::Critical) << result;
    }
    h->messages.clear();
    h->shell->result = 42;
    ctl<QPushButton>(w(), "Command3")->click();
    EXPECT_TRUE(h->messages.empty());
}

TEST_F(Actions, FolderButtonChecksTheFolderFirst)
{
    orv::FolderChooserHook::setNextFolders({QString::fromStdString(root())});
    ctl<QPushButton>(w(), "btnSelRoot")->click();
    ctl<QPushButton>(w(), "Command2")->click();
    ASSERT_EQ(h->shellCalls.size(), 1u);
    EXPECT_TRUE(h->shellCalls[0].folder);
    EXPECT_EQ(h->shellCalls[0].target, root() + "/UTIL/SS/POINT");
    EXPECT_TRUE(h->messages.empty());

    // A folder that no file manager opens is named in the message.
    h->shell->result = 31;
    ctl<QPushButton>(w(), "Command2")->click();
    ASSERT_EQ(h->messages.size(), 1u);
    EXPECT_EQ(h->messages[0].text,
              QString::fromStdString(root() + "/UTIL/SS/POINT")
                  + QStringLiteral(" は\r\n関連付けされていないファイルです。\r\n関連付けを行って下さい。"));
    EXPECT_EQ(h->messages[0].style, orv::MsgStyle::Critical);

    // Only subfolders, or no folder at all: nothing to show.
    h->messages.clear();
    h->shellCalls.clear();
    w().views().StepRecord(3);
    ctl<QPushButton>(w(), "Command2")->click();
    w().views().StepRecord(3);
    ctl<QPushButton>(w(), "Command2")->click();
    ASSERT_EQ(h->messages.size(), 2u);
    for (const auto& m : h->messages) {
        EXPECT_EQ(m.text, QStringLiteral("無効なフォルダか、ファイルが存在しません。"));
        EXPECT_EQ(m.style, orv::MsgStyle::OkOnly);
    }
    EXPECT_TRUE(h->shellCalls.empty());
}

TEST_F(Actions, UnusableDriveRoot)
{
    const std::string gone = (cd.path() / "not-mounted").string();
    orv::FolderChooserHook::setNextFolders({QString::fromStdString(gone)});
    ctl<QPushButton>(w(), "btnSelRoot")->click();
    ctl<QPushButton>(w(), "Command2")->click();
    ASSERT_EQ(h->messages.size(), 1u);
    EXPECT_EQ(h->messages[0].text,
              QStringLiteral("指定ドライブ %1 は、現在使用できません。").arg(QString::fromStdString(gone)));
    EXPECT_EQ(h->messages[0].style, orv::MsgStyle::OkOnly);
    EXPECT_TRUE(h->shellCalls.empty());
}

TEST_F(Actions, EntriesLeadingOffTheDriveAreNotFound)
{
    writeFileBytes((cd.path() / "secret.txt").string(), "key");
    const std::string drive = (cd.path() / "CDROOT").string();
    fs::create_directories(drive + "/UTIL/SS/POINT");
    writeFileBytes(drive + "/UTIL/SS/POINT/POINT.EXE", "MZ");
    fs::create_directory_symlink(cd.path(), drive + "/UTIL/UP");
    orv::FolderChooserHook::setNextFolders({QString::fromStdString(drive)});
    ctl<QPushButton>(w(), "btnSelRoot")->click();

    // A catalogue entry as a hostile file would hold it.
    const std::pair<QString, QString> entries[] = {
        {QStringLiteral("UTIL\\..\\..\\..\\..\\etc"), QStringLiteral("passwd")},
        {QStringLiteral("UTIL\\SS\\POINT"), QStringLiteral("..\\..\\..\\..\\secret.txt")},
        {QStringLiteral("UTIL\\UP"), QStringLiteral("secret.txt")},
    };
    for (const auto& [folderText, fileText] : entries) {
        ctl<QLabel>(w(), "lblFolder")->setText(folderText);
        ctl<QLineEdit>(w(), "txtFile")->setText(fileText);
        h->messages.clear();
        ctl<QPushButton>(w(), "Command3")->click();
        ASSERT_EQ(h->messages.size(), 1u) << folderText.toStdString();
        EXPECT_EQ(h->messages[0].text, QStringLiteral("ファイルが見つかりません。"));
        EXPECT_EQ(h->messages[0].style, orv::MsgStyle::Critical);
    }
    for (const QString& folderText : {QStringLiteral("UTIL\\..\\.."), QStringLiteral("UTIL\\UP")}) {
        ctl<QLabel>(w(), "lblFolder")->setText(folderText);
        h->messages.clear();
        ctl<QPushButton>(w(), "Command2")->click();
        ASSERT_EQ(h->messages.size(), 1u) << folderText.toStdString();
        EXPECT_EQ(h->messages[0].text, QStringLiteral("無効なフォルダか、ファイルが存在しません。"));
    }
    EXPECT_TRUE(h->shellCalls.empty());
    // The title may still name the folder as stored.
    w().actions().ShowTargetCaption();
    EXPECT_EQ(w().windowTitle(),
              QStringLiteral("Orvantis  Target：") + QString::fromStdString(drive) + QStringLiteral("/UTIL/UP"));

    // A sound entry opens as before, also after climbing within the drive.
    ctl<QLabel>(w(), "lblFolder")->setText(QStringLiteral("UTIL\\SS\\..\\SS\\POINT"));
    ctl<QLineEdit>(w(), "txtFile")->setText(QStringLiteral("POINT.EXE"));
    ctl<QPushButton>(w(), "Command3")->click();
    ctl<QPushButton>(w(), "Command2")->click();
    ASSERT_EQ(h->shellCalls.size(), 2u);
    EXPECT_EQ(h->shellCalls[0].target, drive + "/UTIL/SS/POINT/POINT.EXE");
    EXPECT_EQ(h->shellCalls[1].target, drive + "/UTIL/SS/POINT");
}

TEST_F(Actions, CaseVariantsAreTriedUntilThePathIsFound)
{
    // A drive copied together from two CDs: an empty util/SS beside the util/ss that holds it.
    const std::string drive = (cd.path() / "mixed").string();
    fs::create_directories(drive + "/util/SS");
    fs::create_directories(drive + "/util/ss/point");
    writeFileBytes(drive + "/util/ss/point/POINT.EXE", "MZ");
    orv::FolderChooserHook::setNextFolders({QString::fromStdString(drive)});
    ctl<QPushButton>(w(), "btnSelRoot")->click();
    EXPECT_EQ(w().windowTitle(),
              QStringLiteral("Orvantis  Target：") + QString::fromStdString(drive) + QStringLiteral("/util/ss/point"));
    ctl<QPushButton>(w(), "Command3")->click();
    ctl<QPushButton>(w(), "Command2")->click();
    ASSERT_EQ(h->shellCalls.size(), 2u);
    EXPECT_EQ(h->shellCalls[0].target, drive + "/util/ss/point/POINT.EXE");
    EXPECT_EQ(h->shellCalls[1].target, drive + "/util/ss/point");
    EXPECT_TRUE(h->messages.empty());
}

TEST_F(Actions, ALibraryOfCopiesOpensEachEntryFromItsVolume)
{
    // The first entry is on volume 011 in UTIL\SS\POINT; the next is on 001 in UTIL\PC98\BGMTEST. The library holds 011 as an image and 001 as a folder.
    const std::string lib = (cd.path() / "library").string();
    fs::create_directories(lib + "/CD001/UTIL/PC98/BGMTEST");
    writeFileBytes(lib + "/CD001/UTIL/PC98/BGMTEST/BGMTEST.EXE", "MZ");
    writeIsoImage(lib + "/CD011.iso",
                  {isoFolder("util"), isoFolder("util/ss"), isoFolder("util/ss/point"),
                   isoFile("util/ss/point/point.exe", "MZ point"), isoFile("util/ss/point/point.dat", "data")});
    orv::FolderChooserHook::setNextFolders({QString::fromStdString(lib)});
    ctl<QPushButton>(w(), "btnSelRoot")->click();
    // The title names where the folder opens from: the image, and the folder inside it.
    const QString target = QStringLiteral("Orvantis  Target：") + QString::fromStdString(lib);
    EXPECT_EQ(w().windowTitle(), target + QStringLiteral("/CD011.iso/UTIL/SS/POINT"));

    ctl<QPushButton>(w(), "Command3")->click();
    ctl<QPushButton>(w(), "Command2")->click();
    ASSERT_EQ(h->shellCalls.size(), 2u) << h->messageTexts().join(QLatin1Char('|')).toStdString();
    const std::string cache = std::string(std::getenv("XDG_CACHE_HOME")) + "/orvantis/volumes/";
    const std::string file = h->shellCalls[0].target;
    EXPECT_EQ(file.rfind(cache, 0), 0u) << file;
    EXPECT_EQ(file.substr(file.size() - 24), "/util/ss/point/point.exe");
    EXPECT_EQ(readFileBytes(file), "MZ point");
    // The files beside it on the CD are there too; the folder button shows that folder.
    EXPECT_EQ(readFileBytes(fs::path(file).replace_filename("point.dat").string()), "data");
    EXPECT_TRUE(h->shellCalls[1].folder);
    EXPECT_EQ(h->shellCalls[1].target, fs::path(file).parent_path().string());

    w().views().StepRecord(3);
    ASSERT_EQ(ctl<QLabel>(w(), "lblFolder")->text(), QStringLiteral("UTIL\\PC98\\BGMTEST"));
    // The volume's folder copy.
    EXPECT_EQ(w().windowTitle(), target + QStringLiteral("/CD001/UTIL/PC98/BGMTEST"));
    ctl<QPushButton>(w(), "Command3")->click();
    ASSERT_EQ(h->shellCalls.size(), 3u);
    EXPECT_EQ(h->shellCalls[2].target, lib + "/CD001/UTIL/PC98/BGMTEST/BGMTEST.EXE");
    EXPECT_TRUE(h->messages.empty());
}

TEST_F(Actions, ADamagedImageIsNamedInTheMessage)
{
    const std::string lib = (cd.path() / "library").string();
    fs::create_directories(lib);
    writeIsoImage(lib + "/CD011.iso",
                  {isoFolder("UTIL"), isoFolder("UTIL/SS"), isoFolder("UTIL/SS/POINT"),
                   isoFile("UTIL/SS/POINT/POINT.EXE", std::string(100000, 'z'))});
    const std::string whole = readFileBytes(lib + "/CD011.iso");
    writeFileBytes(lib + "/CD011.iso", whole.substr(0, whole.find('z') + 50000));
    orv::FolderChooserHook::setNextFolders({QString::fromStdString(lib)});
    ctl<QPushButton>(w(), "btnSelRoot")->click();
    ctl<QPushButton>(w(), "Command3")->click();
    ctl<QPushButton>(w(), "Command2")->click();
    EXPECT_TRUE(h->shellCalls.empty());
    EXPECT_EQ(h->messageTexts(), QStringList(2, QStringLiteral("CDイメージ「CD011.iso」が読めません。")));
    for (const auto& m : h->messages)
        EXPECT_EQ(m.style, orv::MsgStyle::Critical);
    // An image without the entry's folder has the missing file's and folder's own messages.
    writeIsoImage(lib + "/CD011.iso", {isoFolder("UTIL"), isoFile("UTIL/OTHER.TXT", "x")});
    h->messages.clear();
    ctl<QPushButton>(w(), "Command3")->click();
    ctl<QPushButton>(w(), "Command2")->click();
    EXPECT_EQ(h->messageTexts(),
              (QStringList{QStringLiteral("ファイルが見つかりません。"),
                           QStringLiteral("無効なフォルダか、ファイルが存在しません。")}));
}
