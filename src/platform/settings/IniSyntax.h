// The INI syntax of the settings file: section and key lines, names compared as the profile
// functions compare them, values as the caller reads them, and a file's lines copied with the
// keys of an update stored. Internal to the settings file.
#pragma once

#include "platform/settings/IniText.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orv::ini {

// Without blanks (spaces and tabs) at either end.
std::string_view trim(std::string_view s);

// Names compare without regard to ASCII case. In CP932 the second byte of a double-byte
// character may look like a letter, so double-byte characters compare exactly.
bool sameName(std::string_view a, std::string_view b, Encoding enc);

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name; // section or key name, trimmed
    std::string_view value; // key value, trimmed
};

ParsedLine parseLine(std::string_view line);

// A section or key name of the caller's in the file's text: up to a NUL, trimmed.
std::string encodeName(const std::string& utf8, Encoding enc);

// A stored value as the caller sees it: quotes around it dropped, cut at 127 bytes of CP932.
std::string decodeValue(std::string_view stored, Encoding enc);

// The keys an update or a reading asks for, by section, with names in the file's encoding. Only
// the first section of a name counts, and in it only the first key of a name.
struct Wanted {
    struct Key {
        std::string name; // as first given
        std::string value; // the last value given, as stored
        std::string given; // that value as given (UTF-8 up to a NUL), to compare with a reading
        size_t section;
    };
    struct Section {
        std::string name; // as first given
        std::vector<size_t> keys; // in order of first mention
    };
    Encoding enc;
    std::vector<Section> sections; // in order of first mention
    std::vector<Key> keys;

    explicit Wanted(Encoding e) : enc(e) {}

    // The key's slot; the same section and key (names without regard to case) give the same slot.
    size_t add(std::string_view section, std::string_view key);
    // The wanted section a header names, if it was not seen before.
    long sectionFor(std::string_view name, std::vector<bool>& seen) const;
    // The wanted key of section s a key line names, if it was not found before.
    long keyFor(size_t s, std::string_view name, std::vector<bool>& found) const;
};

// Copies the file's lines to out with every wanted key stored: a key found keeps its line (and
// the spelling of its name) with the new value, or unchanged when it reads as the value given; a key missing from a section that is there
// follows the section's last key line; a missing section comes at the end. Every line ends in
// CR LF. False when the file could not be read to its end.
bool rewriteLines(LineReader& in, const Wanted& w, Output& out);

} // namespace orv::ini
