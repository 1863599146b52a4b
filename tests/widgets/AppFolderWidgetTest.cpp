// The catalogue and the settings file in the application folder, whatever the case of their names.
#include "widgets/WidgetHarness.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace orvtest;

namespace {
class AppFolderNames : public WindowTest {};
} // namespace
namespace fs = std::filesystem;

TEST_F(AppFolderNames, CopiedWithUpperCaseNamesAndKept)
{
    folder.setIni("SEARCH", "WORD", "max");
    const fs::path dir = folder.path();
    fs::rename(dir / "tevox20.mdb", dir / "TEVOX20.MDB");
    fs::rename(dir / "tevo.ini", dir / "TEVO.INI");
    {
        Harness& h = start();
        ASSERT_FALSE(h.ended) << h.messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(ctl<QLabel>(h.w(), "Label5")->text(), QStringLiteral("全ﾚｺｰﾄﾞ数：80"));
        EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text(), QStringLiteral("max"));
        ctl<QLineEdit>(h.w(), "txtStrGame_0")->setText(QStringLiteral("life"));
        ctl<QPushButton>(h.w(), "Command4")->click();
        EXPECT_TRUE(h.ended);
    }
    // Written back to the file that was read; no second settings file beside it.
    EXPECT_FALSE(fs::exists(dir / "tevo.ini"));
    const std::string saved = readFileBytes((dir / "TEVO.INI").string());
    EXPECT_NE(saved.find("WORD=life"), std::string::npos) << saved;
}

TEST_F(AppFolderNames, TheExactNameComesFirst)
{
    const fs::path dir = folder.path();
    folder.setIni("SEARCH", "WORD", "exact");
    writeFileBytes((dir / "TEVO.INI").string(), "[SEARCH]\r\nWORD=other\r\n");
    writeFileBytes((dir / "TEVOX20.MDB").string(), "not a catalogue");
    {
        Harness& h = start();
        ASSERT_FALSE(h.ended) << h.messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(ctl<QLineEdit>(h.w(), "txtStrGame_0")->text(), QStringLiteral("exact"));
        ctl<QPushButton>(h.w(), "Command4")->click();
    }
    EXPECT_EQ(readFileBytes((dir / "TEVO.INI").string()), "[SEARCH]\r\nWORD=other\r\n");
    EXPECT_EQ(folder.ini("SEARCH", "WORD"), "exact");
    EXPECT_EQ(folder.ini("DISP", "MODE"), "0");
}
