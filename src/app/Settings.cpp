#include "app/Settings.h"

#include "catalogue/Lists.h"
#include "platform/settings/NumberText.h"

namespace orv {

namespace {

using F = SettingFormat;
using G = SettingGroup;
using K = SettingKey;

constexpr std::array<SettingDef, kSettingCount> kSettings{{
    {K::New, "SEARCH", "NEW", F::Whole, "0", G::Search},
    {K::PformFl, "SEARCH", "PFORMFL", F::Check, "1", G::Search},
    {K::PformStr, "SEARCH", "PFORMSTR", F::Text, "@ALL@", G::Platforms},
    {K::WordFl, "SEARCH", "WORDFL", F::Check, "1", G::Search},
    {K::WordSelFl0, "SEARCH", "WORDSELFL0", F::Check, "1", G::Search},
    {K::WordSelFl1, "SEARCH", "WORDSELFL1", F::Check, "1", G::Search},
    {K::WordSelFl2, "SEARCH", "WORDSELFL2", F::Check, "1", G::Search},
    {K::WordSelFl3, "SEARCH", "WORDSELFL3", F::Check, "1", G::Search},
    {K::Word, "SEARCH", "WORD", F::Text, "", G::Search},
    {K::WordAndFl, "SEARCH", "WORDANDFL", F::Boolean, "True", G::Search},
    // The default is the box's starting state, checked.
    {K::NotWordFl, "SEARCH", "NOTWORDFL", F::Check, "1", G::Search},
    {K::NotWordSelFl0, "SEARCH", "NOTWORDSELFL0", F::Check, "1", G::Search},
    {K::NotWordSelFl1, "SEARCH", "NOTWORDSELFL1", F::Check, "1", G::Search},
    {K::NotWordSelFl2, "SEARCH", "NOTWORDSELFL2", F::Check, "1", G::Search},
    {K::NotWordSelFl3, "SEARCH", "NOTWORDSELFL3", F::Check, "1", G::Search},
    {K::NotWord, "SEARCH", "NOTWORD", F::Text, "", G::Search},
    {K::Mode, "DISP", "MODE", F::Whole, "0", G::ViewMode},
    {K::WinState, "WINDOW", "WINSATE", F::Whole, "0", G::Window},
    {K::Top, "WINDOW", "TOP", F::Single, "0", G::Window},
    {K::Left, "WINDOW", "LEFT", F::Single, "0", G::Window},
    {K::Width, "WINDOW", "WIDTH", F::Single, "0", G::Window},
    {K::Height, "WINDOW", "HEIGHT", F::Single, "0", G::Window},
    {K::WidthCol00, "LIST", "WIDTHCOL00", F::Single, "0", G::ColumnWidths},
    {K::WidthCol01, "LIST", "WIDTHCOL01", F::Single, "0", G::ColumnWidths},
    {K::WidthCol02, "LIST", "WIDTHCOL02", F::Single, "0", G::ColumnWidths},
    {K::WidthCol03, "LIST", "WIDTHCOL03", F::Single, "0", G::ColumnWidths},
    {K::WidthCol04, "LIST", "WIDTHCOL04", F::Single, "0", G::ColumnWidths},
    {K::WidthCol05, "LIST", "WIDTHCOL05", F::Single, "0", G::ColumnWidths},
    {K::WidthCol06, "LIST", "WIDTHCOL06", F::Single, "0", G::ColumnWidths},
    {K::WidthCol07, "LIST", "WIDTHCOL07", F::Single, "0", G::ColumnWidths},
    {K::WidthCol08, "LIST", "WIDTHCOL08", F::Single, "0", G::ColumnWidths},
    {K::WidthCol09, "LIST", "WIDTHCOL09", F::Single, "0", G::ColumnWidths},
    {K::WidthCol10, "LIST", "WIDTHCOL10", F::Single, "0", G::ColumnWidths},
}};

// Each row is found by its key: the table is kept in the keys' order.
constexpr bool rowsInKeyOrder()
{
    for (std::size_t i = 0; i < kSettingCount; ++i)
        if (static_cast<std::size_t>(kSettings[i].id) != i)
            return false;
    return true;
}
static_assert(rowsInKeyOrder());

bool isRectangle(SettingKey k)
{
    return k == SettingKey::Top || k == SettingKey::Left || k == SettingKey::Width || k == SettingKey::Height;
}

} // namespace

const SettingDef& Setting(SettingKey k) { return kSettings[static_cast<std::size_t>(k)]; }
const std::array<SettingDef, kSettingCount>& SettingDefs() { return kSettings; }

// --- Reading -----------------------------------------------------------------------------------------

SavedSettings SavedSettings::Read(const std::string& file)
{
    // A save killed half-way left its temporary file, as big as the settings.
    RemoveStaleIniTemporaries(file);
    std::vector<IniKey> keys;
    keys.reserve(kSettingCount);
    for (const SettingDef& d : kSettings)
        keys.push_back({d.section, d.key});
    std::vector<std::optional<std::string>> values = ReadIniKeys(file, keys);
    SavedSettings s;
    for (std::size_t i = 0; i < kSettingCount; ++i)
        s.values_[i] = std::move(values[i]);
    return s;
}

const std::string& SavedSettings::text(SettingKey k) const
{
    static const std::array<std::string, kSettingCount> defaults = [] {
        std::array<std::string, kSettingCount> d;
        for (std::size_t i = 0; i < kSettingCount; ++i)
            d[i] = kSettings[i].def;
        return d;
    }();
    const std::optional<std::string>& v = values_[index(k)];
    return v ? *v : defaults[index(k)];
}

std::optional<long> SavedSettings::number(SettingKey k) const { return ParseWhole(text(k)); }

long SavedSettings::whole(SettingKey k) const
{
    std::optional<long> v = number(k);
    if (!v)
        v = ParseWhole(Setting(k).def);
    return v.value_or(0);
}

int SavedSettings::check(SettingKey k) const
{
    std::optional<long> v = number(k);
    if (!v || *v < 0 || *v > 2)
        v = ParseWhole(Setting(k).def);
    return static_cast<int>(v.value_or(0));
}

std::optional<float> SavedSettings::single(SettingKey k) const { return ParseSingle(text(k)); }

// --- Writing -----------------------------------------------------------------------------------------

void SettingsValues::setWhole(SettingKey k, long v) { values_[static_cast<std::size_t>(k)] = WholeText(v); }
void SettingsValues::setSingle(SettingKey k, float v) { values_[static_cast<std::size_t>(k)] = SingleText(v); }
void SettingsValues::setText(SettingKey k, std::string v) { values_[static_cast<std::size_t>(k)] = std::move(v); }
void SettingsValues::setBoolean(SettingKey k, bool v) { values_[static_cast<std::size_t>(k)] = BoolText(v); }

std::vector<IniEntry> SettingsToWrite(const SettingsValues& now, const AppliedSettings& applied)
{
    // A minimised or maximised window keeps the rectangle of the last normal one.
    const bool normal = now.text(SettingKey::WinState) == std::optional<std::string>("0");
    std::vector<IniEntry> entries;
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        const auto k = static_cast<SettingKey>(i);
        const SettingDef& d = kSettings[i];
        const std::optional<std::string>& v = now.text(k);
        if (!v || !applied.has(d.group) || (isRectangle(k) && !normal))
            continue;
        entries.push_back({d.section, d.key, *v});
    }
    return entries;
}

bool SaveSettings(const std::string& file, const SettingsValues& now, const AppliedSettings& applied)
{
    return WriteIniEntries(file, SettingsToWrite(now, applied));
}

// --- The values the window applies -------------------------------------------------------------------

SearchConditions LoadSearchSettings(const SavedSettings& s)
{
    using K = SettingKey;
    SearchConditions v;
    const long newMark = s.whole(K::New);
    v.newMark = newMark == 2 ? 2 : (newMark == 1 ? 1 : 0);
    v.platformCheck = s.check(K::PformFl);
    v.selectedPlatforms = SplitByDelimiter(s.text(K::PformStr), ",");
    v.keywordCheck = s.check(K::WordFl);
    v.keywordText = s.text(K::Word);
    v.keywordAnd = s.boolean(K::WordAndFl);
    v.negativeCheck = s.check(K::NotWordFl);
    v.negativeText = s.text(K::NotWord);
    for (int i = 0; i < 4; ++i) {
        v.keywordFields[static_cast<std::size_t>(i)] = s.check(WordSelFl(i));
        v.negativeFields[static_cast<std::size_t>(i)] = s.check(NotWordSelFl(i));
    }
    return v;
}

void StoreSearchSettings(const SearchConditions& v, SettingsValues& now)
{
    using K = SettingKey;
    now.setWhole(K::New, v.newMark);
    now.setWhole(K::PformFl, v.platformCheck);
    now.setText(K::PformStr, JoinPlatforms(v.selectedPlatforms));
    now.setWhole(K::WordFl, v.keywordCheck);
    for (int i = 0; i < 4; ++i)
        now.setWhole(WordSelFl(i), v.keywordFields[static_cast<std::size_t>(i)]);
    now.setText(K::Word, v.keywordText);
    now.setBoolean(K::WordAndFl, v.keywordAnd);
    now.setWhole(K::NotWordFl, v.negativeCheck);
    for (int i = 0; i < 4; ++i)
        now.setWhole(NotWordSelFl(i), v.negativeFields[static_cast<std::size_t>(i)]);
    now.setText(K::NotWord, v.negativeText);
}

std::string JoinPlatforms(const std::vector<std::string>& names)
{
    std::string joined;
    for (const std::string& name : names) {
        if (&name != names.data())
            joined += ",";
        joined += name;
    }
    return joined;
}

ViewSettings LoadViewSettings(const SavedSettings& s)
{
    ViewSettings v;
    v.mode = s.number(SettingKey::Mode);
    for (int i = 0; i < kSavedColumnCount; ++i) {
        const std::optional<float> w = s.single(WidthCol(i));
        if (w && *w != 0)
            v.columnWidths[static_cast<std::size_t>(i)] = w;
    }
    return v;
}

void StoreViewSettings(const ViewSettings& v, SettingsValues& now)
{
    if (v.mode)
        now.setWhole(SettingKey::Mode, *v.mode);
    for (int i = 0; i < kSavedColumnCount; ++i)
        if (const auto& w = v.columnWidths[static_cast<std::size_t>(i)])
            now.setSingle(WidthCol(i), *w);
}

} // namespace orv
