#include "app/Settings.h"
#include "platform/settings/NumberText.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>

using namespace orv;
using orvtest::readFileBytes;
using orvtest::writeFileBytes;
using K = SettingKey;

namespace {

// Every value a shutdown takes from the window, as a window with the defaults has them.
SettingsValues defaultWindow()
{
    SettingsValues v;
    v.setWhole(K::New, 0);
    v.setWhole(K::PformFl, 1);
    v.setText(K::PformStr, "");
    v.setWhole(K::WordFl, 1);
    for (int i = 0; i < 4; ++i) {
        v.setWhole(WordSelFl(i), 1);
        v.setWhole(NotWordSelFl(i), 1);
    }
    v.setText(K::Word, "");
    v.setBoolean(K::WordAndFl, true);
    v.setWhole(K::NotWordFl, 1);
    v.setText(K::NotWord, "");
    v.setText(K::Mode, "0");
    v.setWhole(K::WinState, 0);
    v.setSingle(K::Top, 1200);
    v.setSingle(K::Left, 1500);
    v.setSingle(K::Width, 9600.5f);
    v.setSingle(K::Height, 7200);
    for (int i = 0; i <= 10; ++i)
        v.setSingle(WidthCol(i), 0);
    return v;
}

AppliedSettings all()
{
    AppliedSettings a;
    for (auto g : {SettingGroup::Search, SettingGroup::Platforms, SettingGroup::ViewMode, SettingGroup::Window,
                   SettingGroup::ColumnWidths})
        a.mark(g);
    return a;
}

} // namespace

TEST(Settings, FirstShutdownWritesEveryKeyInItsSectionAndOrder)
{
    orvtest::TempDir dir;
    const std::string path = dir.file("tevo.ini");
    ASSERT_TRUE(SaveSettings(path, defaultWindow(), all()));
    EXPECT_EQ(readFileBytes(path),
              "[SEARCH]\r\nNEW=0\r\nPFORMFL=1\r\nPFORMSTR=\r\nWORDFL=1\r\nWORDSELFL0=1\r\nWORDSELFL1=1\r\n"
              "WORDSELFL2=1\r\nWORDSELFL3=1\r\nWORD=\r\nWORDANDFL=True\r\nNOTWORDFL=1\r\nNOTWORDSELFL0=1\r\n"
              "NOTWORDSELFL1=1\r\nNOTWORDSELFL2=1\r\nNOTWORDSELFL3=1\r\nNOTWORD=\r\n"
              "[DISP]\r\nMODE=0\r\n"
              "[WINDOW]\r\nWINSATE=0\r\nTOP=1200\r\nLEFT=1500\r\nWIDTH=9600.5\r\nHEIGHT=7200\r\n"
              "[LIST]\r\nWIDTHCOL00=0\r\nWIDTHCOL01=0\r\nWIDTHCOL02=0\r\nWIDTHCOL03=0\r\nWIDTHCOL04=0\r\n"
              "WIDTHCOL05=0\r\nWIDTHCOL06=0\r\nWIDTHCOL07=0\r\nWIDTHCOL08=0\r\nWIDTHCOL09=0\r\nWIDTHCOL10=0\r\n");
    // What was written reads back as the same values.
    const SavedSettings back = SavedSettings::Read(path);
    for (const SettingDef& d : SettingDefs())
        EXPECT_TRUE(back.stored(static_cast<K>(&d - SettingDefs().data()))) << d.key;
    EXPECT_EQ(back.text(K::PformStr), "") << "an empty selection is not the default";
    EXPECT_EQ(back.single(K::Width), 9600.5f);
}

TEST(Settings, GroupsNeverAppliedAreLeftAsTheFileHasThem)
{
    orvtest::TempDir dir;
    const std::string path = dir.file("tevo.ini");
    const std::string before = "[SEARCH]\r\nPFORMSTR=PC,PS\r\nWORD=max\r\n[DISP]\r\nMODE=1\r\n"
                               "[LIST]\r\nWIDTHCOL03=3000\r\n[WINDOW]\r\nTOP=15\r\n";
    writeFileBytes(path, before);
    // A start whose catalogue failed: the search panel and the window were set up, nothing else.
    AppliedSettings applied;
    applied.mark(SettingGroup::Search);
    applied.mark(SettingGroup::Window);
    SettingsValues now = defaultWindow();
    now.setText(K::Word, "max");
    ASSERT_TRUE(SaveSettings(path, now, applied));
    const SavedSettings after = SavedSettings::Read(path);
    EXPECT_EQ(after.text(K::PformStr), "PC,PS");
    EXPECT_EQ(after.text(K::Mode), "1");
    EXPECT_EQ(after.text(K::WidthCol03), "3000");
    EXPECT_FALSE(after.stored(K::WidthCol00)) << "a key the file lacked stays missing";
    EXPECT_EQ(after.text(K::Word), "max");
    EXPECT_EQ(after.text(K::NotWordSelFl3), "1");
    EXPECT_EQ(after.text(K::Top), "1200");
    EXPECT_EQ(readFileBytes(path).substr(0, 30), "[SEARCH]\r\nPFORMSTR=PC,PS\r\nWORD");

    // Nothing applied at all: the file stays byte for byte.
    writeFileBytes(path, before);
    ASSERT_TRUE(SaveSettings(path, now, AppliedSettings{}));
    EXPECT_EQ(readFileBytes(path), before);
}

TEST(Settings, MinimisedOrMaximisedWindowKeepsTheSavedRectangle)
{
    for (long state : {1L, 2L}) {
        SettingsValues now = defaultWindow();
        now.setWhole(K::WinState, state);
        std::vector<std::string> keys;
        for (const IniEntry& e : SettingsToWrite(now, all()))
            if (e.section == "WINDOW")
                keys.push_back(e.key);
        EXPECT_EQ(keys, std::vector<std::string>{"WINSATE"}) << state;
    }
    SettingsValues now = defaultWindow();
    EXPECT_EQ(SettingsToWrite(now, all()).size(), kSettingCount);
}

TEST(Settings, ValuesThatAreNoNumberFallBackToTheDefault)
{
    orvtest::TempDir dir;
    const std::string path = dir.file("tevo.ini");
    writeFileBytes(path,
                   "[search]\r\nnew=1.5\r\nPFORMFL=3\r\nWORDFL=\r\nWORDSELFL0=2\r\nWORDSELFL1=x\r\n"
                   "WORDANDFL=true\r\nNOTWORDFL=-1\r\n[DISP]\r\nMODE=abc\r\n[WINDOW]\r\nTOP=1005.5\r\n"
                   "LEFT=zz\r\nWINSATE=2.5\r\n[LIST]\r\nWIDTHCOL05=1234.5\r\nWIDTHCOL06=wide\r\n");
    const SavedSettings s = SavedSettings::Read(path);
    EXPECT_EQ(s.whole(K::New), 2) << "1.5 rounds to the even neighbour";
    EXPECT_EQ(s.check(K::PformFl), 1);
    EXPECT_EQ(s.check(K::WordFl), 1);
    EXPECT_EQ(s.check(WordSelFl(0)), 2);
    EXPECT_EQ(s.check(WordSelFl(1)), 1);
    EXPECT_FALSE(s.boolean(K::WordAndFl)) << "only True in that spelling";
    EXPECT_EQ(s.check(K::NotWordFl), 1);
    EXPECT_EQ(s.number(K::Mode), std::nullopt);
    EXPECT_EQ(s.whole(K::Mode), 0);
    EXPECT_EQ(s.whole(K::Top), 1006);
    EXPECT_EQ(s.whole(K::Left), 0);
    EXPECT_EQ(s.whole(K::WinState), 2);
    EXPECT_EQ(s.single(WidthCol(5)), 1234.5f);
    EXPECT_EQ(s.single(WidthCol(6)), std::nullopt);
    EXPECT_EQ(s.single(WidthCol(7)), 0.f) << "missing: the default 0";
}

TEST(Settings, DefaultsWithoutAFileAndTheReadingIsASnapshot)
{
    orvtest::TempDir dir;
    const std::string path = dir.file("tevo.ini");
    SavedSettings none = SavedSettings::Read(path);
    EXPECT_EQ(none.text(K::PformStr), "@ALL@");
    EXPECT_TRUE(none.boolean(K::WordAndFl));
    EXPECT_EQ(none.check(K::NotWordFl), 1);
    EXPECT_EQ(none.text(K::Word), "");
    for (const SettingDef& d : SettingDefs())
        EXPECT_FALSE(none.stored(static_cast<K>(&d - SettingDefs().data()))) << d.key;

    std::string longWord(200, 'w');
    writeFileBytes(path, "[SEARCH]\r\nword=" + longWord + "\r\n");
    const SavedSettings s = SavedSettings::Read(path);
    writeFileBytes(path, "[SEARCH]\r\nWORD=changed\r\n");
    EXPECT_EQ(s.text(K::Word), std::string(127, 'w')) << "as read before the change, cut to 127 bytes";
}

// --- The values the window applies ---------------------------------------------------------------------

namespace orv {

// Readable values in failure messages.
void PrintTo(const SearchConditions& v, std::ostream* os)
{
    *os << "{new " << v.newMark << ", platforms " << v.platformCheck << " '" << JoinPlatforms(v.selectedPlatforms)
        << "', words " << v.keywordCheck << " '" << v.keywordText << "' " << (v.keywordAnd ? "AND" : "OR") << " fields";
    for (int f : v.keywordFields)
        *os << ' ' << f;
    *os << ", not " << v.negativeCheck << " '" << v.negativeText << "' fields";
    for (int f : v.negativeFields)
        *os << ' ' << f;
    *os << '}';
}

void PrintTo(const ViewSettings& v, std::ostream* os)
{
    *os << "{mode " << (v.mode ? std::to_string(*v.mode) : "none") << ", widths";
    for (const auto& w : v.columnWidths)
        *os << ' ' << (w ? std::to_string(*w) : "none");
    *os << '}';
}

} // namespace orv

namespace {

SearchConditions unusualSearch()
{
    SearchConditions v;
    v.newMark = 2;
    v.platformCheck = 2;
    v.selectedPlatforms = {"PC", "M'S BOX", "ＭＳＸ"};
    v.keywordCheck = 0;
    v.keywordFields = {0, 2, 1, 0};
    v.keywordText = "max　life [x] ; a=b";
    v.keywordAnd = false;
    v.negativeCheck = 2;
    v.negativeFields = {1, 0, 0, 2};
    v.negativeText = "demo ライフ";
    return v;
}

} // namespace

TEST(Settings, SearchAndViewValuesComeBackAsTheyWereSaved)
{
    orvtest::TempDir dir;
    const std::string path = dir.file("tevo.ini");
    ViewSettings view;
    view.mode = 1;
    for (int i = 0; i < kSavedColumnCount; ++i)
        view.columnWidths[static_cast<std::size_t>(i)] = 100.5f * static_cast<float>(i + 1);
    SettingsValues now = defaultWindow();
    StoreSearchSettings(unusualSearch(), now);
    StoreViewSettings(view, now);
    ASSERT_TRUE(SaveSettings(path, now, all()));

    const SavedSettings back = SavedSettings::Read(path);
    EXPECT_EQ(LoadSearchSettings(back), unusualSearch());
    EXPECT_EQ(LoadViewSettings(back), view);
    EXPECT_EQ(back.text(K::PformStr), "PC,M'S BOX,ＭＳＸ");
}

TEST(Settings, EveryKeyIsWrittenInTheFormatItsEntryDeclares)
{
    // Drift between the table and the code converting the values shows here: a key nobody
    // writes, or a value its format cannot read back.
    ViewSettings view;
    view.mode = 0;
    view.columnWidths.fill(1234.5f);
    SettingsValues now = defaultWindow();
    StoreSearchSettings(unusualSearch(), now);
    StoreViewSettings(view, now);
    const std::vector<IniEntry> entries = SettingsToWrite(now, all());
    ASSERT_EQ(entries.size(), kSettingCount);
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        const SettingDef& d = SettingDefs()[i];
        const std::string& v = entries[i].value;
        switch (d.format) {
        case SettingFormat::Whole: EXPECT_TRUE(ParseWhole(v)) << d.key << "=" << v; break;
        case SettingFormat::Check: EXPECT_TRUE(v == "0" || v == "1" || v == "2") << d.key << "=" << v; break;
        case SettingFormat::Single: EXPECT_TRUE(ParseSingle(v)) << d.key << "=" << v; break;
        case SettingFormat::Boolean: EXPECT_TRUE(v == "True" || v == "False") << d.key << "=" << v; break;
        case SettingFormat::Text: break;
        }
        // The defaults read as their formats too.
        if (d.format == SettingFormat::Whole || d.format == SettingFormat::Check) {
            EXPECT_TRUE(ParseWhole(d.def)) << d.key;
        } else if (d.format == SettingFormat::Single) {
            EXPECT_TRUE(ParseSingle(d.def)) << d.key;
        }
    }
}

TEST(Settings, BadOrMissingValuesGiveTheDefaultsOfTheTable)
{
    const SearchConditions none = LoadSearchSettings(SavedSettings{});
    EXPECT_EQ(none.newMark, 0);
    EXPECT_EQ(none.platformCheck, 1);
    EXPECT_EQ(JoinPlatforms(none.selectedPlatforms), "@ALL@");
    EXPECT_EQ(none.keywordCheck, 1);
    EXPECT_EQ(none.keywordFields, (std::array<int, 4>{1, 1, 1, 1}));
    EXPECT_TRUE(none.keywordAnd);
    EXPECT_EQ(none.negativeCheck, 1);
    EXPECT_EQ(none.negativeFields, (std::array<int, 4>{1, 1, 1, 1}));
    EXPECT_EQ(none.keywordText, "");
    EXPECT_EQ(LoadViewSettings(SavedSettings{}), ViewSettings{.mode = 0}) << "mode 0, every width the grid's";

    orvtest::TempDir dir;
    const std::string path = dir.file("tevo.ini");
    writeFileBytes(path,
                   "[SEARCH]\r\nNEW=7\r\nPFORMFL=-1\r\nWORDSELFL2=9\r\nWORDANDFL=TRUE\r\n"
                   "NOTWORDSELFL0=0\r\nNOTWORDSELFL1=1e3\r\n");
    const SearchConditions bad = LoadSearchSettings(SavedSettings::Read(path));
    EXPECT_EQ(bad.newMark, 0) << "no option 7: the first";
    EXPECT_EQ(bad.platformCheck, 1);
    EXPECT_EQ(bad.keywordFields, (std::array<int, 4>{1, 1, 1, 1}));
    EXPECT_FALSE(bad.keywordAnd) << "only True in that spelling";
    EXPECT_EQ(bad.negativeFields[0], 0) << "a good value among bad ones";
    EXPECT_EQ(bad.negativeFields[1], 1);
    for (long mark : {-1L, 3L}) {
        writeFileBytes(path, "[SEARCH]\r\nNEW=" + std::to_string(mark) + "\r\n");
        EXPECT_EQ(LoadSearchSettings(SavedSettings::Read(path)).newMark, 0) << mark;
    }
    writeFileBytes(path,
                   "[DISP]\r\nMODE=x\r\n[LIST]\r\nWIDTHCOL00=0\r\nWIDTHCOL01=-0\r\nWIDTHCOL02=wide\r\n"
                   "WIDTHCOL10=-15\r\n");
    const ViewSettings view = LoadViewSettings(SavedSettings::Read(path));
    EXPECT_EQ(view.mode, std::nullopt) << "no number: the view stays as it is";
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(view.columnWidths[static_cast<std::size_t>(i)], std::nullopt) << i;
    EXPECT_EQ(view.columnWidths[10], -15.f) << "a number other than 0 reaches the grid, which stops it at 0";
}

TEST(Settings, PlatformSelectionsJoinInListOrder)
{
    EXPECT_EQ(JoinPlatforms({}), "") << "nothing chosen is not the default, which chooses all";
    EXPECT_EQ(JoinPlatforms({"PC"}), "PC");
    EXPECT_EQ(JoinPlatforms({"PS", "", "PC"}), "PS,,PC");
}

TEST(Settings, ViewValuesNeverAppliedKeepWhatTheFileHolds)
{
    // The catalogue failed to open: the search panel was applied, the widths and the mode not.
    orvtest::TempDir dir;
    const std::string path = dir.file("tevo.ini");
    writeFileBytes(path, "[DISP]\r\nMODE=1\r\n[LIST]\r\nWIDTHCOL04=2500\r\n");
    const ViewSettings before = LoadViewSettings(SavedSettings::Read(path));
    SettingsValues now;
    StoreSearchSettings(LoadSearchSettings(SavedSettings::Read(path)), now);
    ViewSettings grid;
    grid.mode = 0;
    grid.columnWidths.fill(900.f);
    StoreViewSettings(grid, now);
    AppliedSettings applied;
    applied.mark(SettingGroup::Search);
    ASSERT_TRUE(SaveSettings(path, now, applied));
    const SavedSettings after = SavedSettings::Read(path);
    EXPECT_EQ(LoadViewSettings(after), before);
    EXPECT_EQ(LoadSearchSettings(after), LoadSearchSettings(SavedSettings{}));
    EXPECT_FALSE(after.stored(K::PformStr)) << "the platform choice was never applied either";
    EXPECT_TRUE(after.stored(K::Word));
}

// A save killed half-way leaves its temporary file (as big as the settings): the next start
// removes it, before any save.
TEST(Settings, StartUpRemovesTheTemporaryFilesOfAKilledSave)
{
    namespace fs = std::filesystem;
    orvtest::TempDir dir;
    const std::string path = dir.file("tevo.ini");
    writeFileBytes(path, "[SEARCH]\r\nWORD=max\r\n");
    writeFileBytes(dir.file(".tevo.ini.42.tmp"), "[SEARCH]\r\nWO");
    fs::last_write_time(dir.file(".tevo.ini.42.tmp"), fs::file_time_type::clock::now() - std::chrono::seconds(5));
    EXPECT_EQ(SavedSettings::Read(path).text(K::Word), "max");
    EXPECT_FALSE(fs::exists(dir.file(".tevo.ini.42.tmp")));
    EXPECT_EQ(readFileBytes(path), "[SEARCH]\r\nWORD=max\r\n");
}
