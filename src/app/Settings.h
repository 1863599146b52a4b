// The keys of the settings file, each declared once with its section, name, format and default,
// in the order the shutdown writes them; reading them at start-up and writing them at shutdown,
// and the plain values the window applies and takes back. The window only applies the values and
// says which of them it applied.
#pragma once

#include "platform/settings/Ini.h"

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

inline SettingKey WordSelFl(int i) { return static_cast<SettingKey>(static_cast<int>(SettingKey::WordSelFl0) + i); }
inline SettingKey NotWordSelFl(int i)
{
    return static_cast<SettingKey>(static_cast<int>(SettingKey::NotWordSelFl0) + i);
}
inline SettingKey WidthCol(int i) { return static_cast<SettingKey>(static_cast<int>(SettingKey::WidthCol00) + i); }

struct SettingDef {
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
// Plain structures, converted from the reading and into the values to write without widgets. Their
// members start at zero: the defaults are the table's, as LoadSearchSettings(SavedSettings{}) gives.

// The search panel as the file keeps it (not the negative words' AND/OR, nor the CD volume).
struct SearchSettings {
    int newMark = 0; // the selected optNew: 0 ALL, 1 "♪", 2 "♪以外"
    int platformCheck = 0; // check-box values 0, 1 or 2
    std::string platforms; // the chosen platform names, joined by ","
    int keywordCheck = 0;
    std::array<int, 4> keywordFields{}; // game, maker, effect, file
    std::string keywordText;
    bool keywordAnd = false;
    int negativeCheck = 0;
    std::array<int, 4> negativeFields{};
    std::string negativeText;

    bool operator==(const SearchSettings&) const = default;
};

SearchSettings LoadSearchSettings(const SavedSettings& s);
void StoreSearchSettings(const SearchSettings& v, SettingsValues& now);

// The platform names as the file keeps a selection; an empty selection is an empty text.
std::string JoinPlatforms(const std::vector<std::string>& names);

// The list columns whose widths are kept.
inline constexpr int kSavedColumnCount = 11;
static_assert(static_cast<int>(SettingKey::WidthCol10) - static_cast<int>(SettingKey::WidthCol00) + 1
              == kSavedColumnCount);

// The view mode and the list's column widths, applied at the first activation.
struct ViewSettings {
    std::optional<long> mode; // none: not a number, the view stays as it is
    // none: the grid keeps its own width (no number, or 0)
    std::array<std::optional<float>, kSavedColumnCount> columnWidths{};

    bool operator==(const ViewSettings&) const = default;
};

ViewSettings LoadViewSettings(const SavedSettings& s);
// A width without a value is not written: the file keeps what it holds.
void StoreViewSettings(const ViewSettings& v, SettingsValues& now);

} // namespace orv
