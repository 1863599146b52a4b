// An installed program: no catalogue beside the executable, so the catalogue comes from the
// user's or the system's data folder and the settings live in the user's configuration folder.
#include "widgets/WidgetHarness.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvtest;
namespace fs = std::filesystem;

namespace {
const QString kSampleTotal = QStringLiteral("全ﾚｺｰﾄﾞ数：80");
const QString kTypedTotal = QStringLiteral("全ﾚｺｰﾄﾞ数：20");
} // namespace

TEST(Installed, OpensTheSystemCatalogueAndKeepsTheSettingsInTheConfigFolder)
{
    clearStoredDrive();
    InstalledFolders installed;
    installed.put(installed.systemData(), dataPath("tevox20.mdb"));
    AppFolder folder(std::string{});
    // Without a catalogue beside it, a settings file there does not make the folder portable.
    const std::string stray = "[SEARCH]\r\nWORD=stray\r\n";
    writeFileBytes(folder.iniPath(), stray);
    {
        Harness h(folder);
        ASSERT_TRUE(h.start());
        ASSERT_FALSE(h.ended) << h.messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(h->Label5->text(), kSampleTotal);
        EXPECT_EQ(h->txtStrGame[0]->text(), QString());
        EXPECT_FALSE(fs::exists(installed.settingsFolder())) << "made only when first written";
        h->txtStrGame[0]->setText(QStringLiteral("kept"));
        h->Command4->click();
        ASSERT_TRUE(h.ended);
    }
    // The folder the settings need is made, for the owner only; nothing beside the program.
    struct stat st {};
    ASSERT_EQ(::stat(installed.settingsFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(installed.ini("SEARCH", "WORD"), "kept");
    EXPECT_EQ(readFileBytes(folder.iniPath()), stray);

    // The next run reads them back.
    Harness again(folder);
    ASSERT_TRUE(again.start());
    EXPECT_EQ(again->txtStrGame[0]->text(), QStringLiteral("kept"));
}

TEST(Installed, TheUsersOwnCatalogueWinsInAnyLetterCase)
{
    clearStoredDrive();
    InstalledFolders installed;
    installed.put(installed.systemData(), dataPath("tevox20.mdb"));
    installed.put(installed.userData(), dataPath("tevox20-typed.mdb"), "TEVOX20.MDB");
    AppFolder folder(std::string{});
    Harness h(folder);
    ASSERT_TRUE(h.start());
    ASSERT_FALSE(h.ended) << h.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(h->Label5->text(), kTypedTotal);
}

TEST(Installed, ACatalogueBesideTheProgramStillMakesItPortable)
{
    clearStoredDrive();
    InstalledFolders installed;
    installed.put(installed.userData(), dataPath("tevox20-typed.mdb"));
    AppFolder folder;
    {
        Harness h(folder);
        ASSERT_TRUE(h.start());
        ASSERT_FALSE(h.ended) << h.messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(h->Label5->text(), kSampleTotal);
        h->Command4->click();
    }
    EXPECT_TRUE(folder.hasIni());
    EXPECT_FALSE(fs::exists(installed.settingsFolder()));
}
