// An installed program: no catalogue beside the executable, so the catalogue comes from the
// user's or the system's data folder and the settings live in the user's configuration folder.
#include "widgets/WidgetHarness.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace orvtest;
namespace fs = std::filesystem;

namespace {

class Installed : public WindowTest {};
const QString kSampleTotal = QStringLiteral("全ﾚｺｰﾄﾞ数：80");
const QString kTypedTotal = QStringLiteral("全ﾚｺｰﾄﾞ数：20");
} // namespace

TEST_F(Installed, OpensTheSystemCatalogueAndKeepsTheSettingsInTheConfigFolder)
{
    InstalledFolders installed;
    installed.put(installed.systemData(), dataPath("tevox20.mdb"));
    AppFolder custom(std::string{});
    // Without a catalogue beside it, a settings file there does not make the custom portable.
    const std::string stray = "[SEARCH]\r\nWORD=stray\r\n";
    writeFileBytes(custom.iniPath(), stray);
    {
        Harness& h = start(custom);
        ASSERT_FALSE(h.ended) << h.messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label5")->text(), kSampleTotal);
        EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text(), QString());
        EXPECT_FALSE(fs::exists(installed.settingsFolder())) << "made only when first written";
        ctl<QLineEdit>(h.w(), "txtStrGame_0")->setText(QStringLiteral("kept"));
        ctl<QPushButton>(h.w(), "Command4")->click();
        ASSERT_TRUE(h.ended);
    }
    // The custom the settings need is made, for the owner only; nothing beside the program.
    struct stat st {};
    ASSERT_EQ(::stat(installed.settingsFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(installed.ini("SEARCH", "WORD"), "kept");
    EXPECT_EQ(readFileBytes(custom.iniPath()), stray);

    // The next run reads them back.
    Harness again(custom);
    ASSERT_TRUE(again.start());
    EXPECT_EQ(ctl<QLineEdit>(again.w(), "txtStrGame_0")->text(), QStringLiteral("kept"));
}

TEST_F(Installed, TheUsersOwnCatalogueWinsInAnyLetterCase)
{
    InstalledFolders installed;
    installed.put(installed.systemData(), dataPath("tevox20.mdb"));
    installed.put(installed.userData(), dataPath("tevox20-typed.mdb"), "TEVOX20.MDB");
    AppFolder custom(std::string{});
    Harness& h = start(custom);
    ASSERT_FALSE(h.ended) << h.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ctl<QLabel>(h.w(), "Label5")->text(), kTypedTotal);
}

TEST_F(Installed, ACatalogueBesideTheProgramStillMakesItPortable)
{
    InstalledFolders installed;
    installed.put(installed.userData(), dataPath("tevox20-typed.mdb"));
    {
        Harness& h = start();
        ASSERT_FALSE(h.ended) << h.messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label5")->text(), kSampleTotal);
        ctl<QPushButton>(h.w(), "Command4")->click();
    }
    EXPECT_TRUE(folder.hasIni());
    EXPECT_FALSE(fs::exists(installed.settingsFolder()));
}
