// The keys of the settings file, each declared once with its section, name, format and default,
// in the order the shutdown writes them; reading them at start-up and writing them at shutdown,
// and the plain values the window applies and takes back. The window only applies the values and
// says which of them it applied.
#pragma once

#include "catalogue/Schema.h"
#include "platform/settings/Ini.h"
#include "search/SearchConditions.h"
#include "views/ViewSettings.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace orv {

enum class SettingFormat { Whole, Check, Single, Text, Boolean };

// What a key's value is applied to. A group whose saved values never reached their controls in a
// run (the catalogue failed to open before the platform list, the widths or the mode were set) is
// not written back: the file keeps what it holds.
enum class SettingGroup { Search, Platforms, ViewMode, Window, ColumnWidths };

enum class SettingKey {
    New,
    PformFl,
    PformStr,
    WordFl,
    WordSelFl0,
    WordSelFl1,
    WordSelFl2,
    WordSelFl3,
    Word,
    WordAndFl,
    NotWordFl,
    NotWordSelFl0,
    NotWordSelFl1,
    NotWordSelFl2,
    NotWordSelFl3,
    NotWord,
    Mode,
    WinState,
    Top,
    Left,
    Width,
    Height,
    WidthCol00,
    WidthCol01,
    WidthCol02,
    WidthCol03,
    WidthCol04,
    WidthCol05,
    WidthCol06,
    WidthCol07,
    WidthCol08,
    WidthCol09,
    WidthCol10,
};
inline constexpr std::size_t kSettingCount = static_cast<std::size_t>(SettingKey::WidthCol10) + 1;

// The keys of the field checks (game, maker, effect, file) and of the list's column widths.
inline constexpr std::array<SettingKey, 4> kWordSelFl = {SettingKey::WordSelFl0, SettingKey::WordSelFl1,
                                                         SettingKey::WordSelFl2, SettingKey::WordSelFl3};
inline constexpr std::array<SettingKey, 4> kNotWordSelFl = {SettingKey::NotWordSelFl0, SettingKey::NotWordSelFl1,
                                                            SettingKey::NotWordSelFl2, SettingKey::NotWordSelFl3};
inline constexpr std::array<SettingKey, schema::kListColumns> kWidthCol = {
    SettingKey::WidthCol00, SettingKey::WidthCol01, SettingKey::WidthCol02, SettingKey::WidthCol03,
    SettingKey::WidthCol04, SettingKey::WidthCol05, SettingKey::WidthCol06, SettingKey::WidthCol07,
    SettingKey::WidthCol08, SettingKey::WidthCol09, SettingKey::WidthCol10};
inline SettingKey WordSelFl(int i) { return kWordSelFl.at(static_cast<std::size_t>(i)); }
inline SettingKey NotWordSelFl(int i) { return kNotWordSelFl.at(static_cast<std::size_t>(i)); }
inline SettingKey WidthCol(int i) { return kWidthCol.at(static_cast<std::size_t>(i)); }

struct SettingDef {
    SettingKey id;
    const char* section;
    const char* key;
    SettingFormat format;
    const char* def;
    SettingGroup group;
};

// The table entry of a key; SettingDefs() lists them all in writing order.
const SettingDef& Setting(SettingKey k);
const std::array<SettingDef, kSettingCount>& SettingDefs();

// The settings file as read once at start-up; every key is served from that reading.
class SavedSettings {
public:
    SavedSettings() = default;
    static SavedSettings Read(const std::string& file);

    bool stored(SettingKey k) const { return values_[index(k)].has_value(); }
    // The stored text (cut to 127 bytes), or the key's default.
    const std::string& text(SettingKey k) const;
    // The text as a whole number, nullopt when it is none.
    std::optional<long> number(SettingKey k) const;
    // The text as a whole number, else the default's.
    long whole(SettingKey k) const;
    // A check-box value 0, 1 or 2; anything else gives the default.
    int check(SettingKey k) const;
    // The text as a single-precision number, nullopt when it is none.
    std::optional<float> single(SettingKey k) const;
    // Exactly "True" (case-sensitive).
    bool boolean(SettingKey k) const { return text(k) == "True"; }

private:
    static std::size_t index(SettingKey k) { return static_cast<std::size_t>(k); }
    std::array<std::optional<std::string>, kSettingCount> values_;
};

// The values a shutdown would write, as the file stores them.
class SettingsValues {
public:
    void setWhole(SettingKey k, long v);
    void setSingle(SettingKey k, float v);
    void setText(SettingKey k, std::string v);
    void setBoolean(SettingKey k, bool v);
    const std::optional<std::string>& text(SettingKey k) const { return values_[static_cast<std::size_t>(k)]; }

private:
    std::array<std::optional<std::string>, kSettingCount> values_;
};

// The groups whose saved values were applied in this run.
class AppliedSettings {
public:
    void mark(SettingGroup g) { bits_ |= 1u << static_cast<unsigned>(g); }
    bool has(SettingGroup g) const { return bits_ & (1u << static_cast<unsigned>(g)); }

private:
    unsigned bits_ = 0;
};

// The entries of a shutdown, in table order: every key with a value whose group was applied;
// the window rectangle only when the window state is normal (0).
std::vector<IniEntry> SettingsToWrite(const SettingsValues& now, const AppliedSettings& applied);

// Writes them in one update of the file; false when it failed.
bool SaveSettings(const std::string& file, const SettingsValues& now, const AppliedSettings& applied);

// --- The values the window applies -------------------------------------------------------------------
// Plain structures, converted from the reading and into the values to write without widgets; the
// defaults are the table's, as LoadSearchSettings(SavedSettings{}) gives.

// The search conditions the file keeps (not the negative words' AND/OR, nor the CD volume); the
// platforms are the names joined by ",".
SearchConditions LoadSearchSettings(const SavedSettings& s);
void StoreSearchSettings(const SearchConditions& v, SettingsValues& now);

// The platform names as the file keeps a selection; an empty selection is an empty text.
std::string JoinPlatforms(const std::vector<std::string>& names);

// The view mode and the list's column widths (views/ViewSettings.h), one WIDTHCOLnn key a column.
static_assert(static_cast<int>(SettingKey::WidthCol10) - static_cast<int>(SettingKey::WidthCol00) + 1
              == kSavedColumnCount);
ViewSettings LoadViewSettings(const SavedSettings& s);
// A width without a value is not written: the file keeps what it holds.
void StoreViewSettings(const ViewSettings& v, SettingsValues& now);

} // namespace orv
