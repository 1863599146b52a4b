// Arbitrary bytes as the settings file. Reading any key must not fail; writing one key and
// reading it back must give the value as stored (blanks and enclosing quotes dropped, cut to
// 127 bytes of CP932 without splitting a character) and leave every other line as it was.
// A file with a UTF-16 mark (either byte order) is checked for the value read back and the mark
// only. A value written back as it was read leaves every line as it was.
#include "platform/settings/Ini.h"
#include "platform/text/AsciiText.h"
#include "platform/text/Cp932.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
const std::string kDefault = "\x01(default)";

const std::string& iniPath()
{
    static const std::string path = [] {
        char tmpl[] = "/tmp/fuzz_ini.XXXXXX";
        if (!::mkdtemp(tmpl))
            std::abort();
        static const std::string dir = tmpl;
        std::atexit([] { std::filesystem::remove_all(dir); });
        return dir + "/tevo.ini";
    }();
    return path;
}

void writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// CR LF, LF and a lone CR each end a line; a last line without an end counts.
std::vector<std::string> splitLines(std::string_view s)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t end = s.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = s.size();
        lines.emplace_back(s.substr(pos, end - pos));
        pos = end;
        if (pos < s.size())
            pos += s.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
    }
    return lines;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool isLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The first `max` bytes of CP932 text, a double-byte character kept whole or not at all.
std::string cutCp932(const std::string& s, size_t max)
{
    size_t i = 0;
    while (i < s.size()) {
        size_t len = isLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
        if (i + len > max)
            break;
        i += len;
    }
    return s.substr(0, i);
}

// Text as the file stores it: up to a NUL, in the file's encoding, line ends as blanks.
std::string stored(const std::string& utf8, bool bom)
{
    const std::string upToNul = utf8.substr(0, utf8.find('\0'));
    std::string s = bom ? upToNul : orv::utf8ToCp932(upToNul);
    for (char& c : s)
        if (c == '\r' || c == '\n')
            c = ' ';
    return s;
}

std::string toUtf8(std::string_view fileText, bool bom)
{
    return bom ? std::string(fileText) : orv::cp932ToUtf8(fileText);
}

struct Entry {
    std::string section, key; // UTF-8
};

// A name the writer may use for a key: one that reads back as a key line whatever the value.
bool usableKey(const std::string& utf8, bool bom)
{
    const std::string s(trim(stored(utf8, bom)));
    return !s.empty() && s.find('=') == std::string::npos && s.front() != '[' && s.front() != ';';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const uint8_t pickEntry = fdp.ConsumeIntegral<uint8_t>();
    const uint8_t pickValue = fdp.ConsumeIntegral<uint8_t>();
    const std::string content = fdp.ConsumeRemainingBytesAsString();
    const bool bom = std::string_view(content).substr(0, kBom.size()) == kBom;
    const std::string_view body = bom ? std::string_view(content).substr(kBom.size()) : std::string_view(content);
    const std::vector<std::string> before = splitLines(body);

    // Sections and keys as the file spells them, and some it does not hold.
    std::vector<Entry> entries = {{"SEARCH", "WORD"}, {"search", "pformstr"}, {"DISP", "MODE"},
                                  {"WINDOW", "TOP"},  {"NEWSECTION", "KEY"},  {"検索", "キー"}};
    std::string section;
    for (const std::string& line : before) {
        const std::string_view t = trim(line);
        if (t.empty() || t.front() == ';')
            continue;
        if (t.front() == '[' && t.rfind(']') != std::string_view::npos) {
            section = toUtf8(trim(t.substr(1, t.rfind(']') - 1)), bom);
            entries.push_back({section, "NEWKEY"});
        } else if (t.find('=') != std::string_view::npos && entries.size() < 64) {
            entries.push_back({section, toUtf8(trim(t.substr(0, t.find('='))), bom)});
        }
    }
    // Names and values taken from the file's own lines, so the fuzzer steers them too.
    std::vector<std::string> values = {
        "",
        "  blanks around  ",
        "\"quoted\"",
        "'single'",
        "line\r\nbreak",
        std::string("nul\0after", 9),
        "ゲーム名の長い検索語ゲーム名の長い検索語ゲーム名の長い検索語ゲーム名の長い検索語"
        "ゲーム名の長い検索語ゲーム名の長い検索語ゲーム名の長い検索語",
        std::string(126, 'a') + "表示",
        "éü€😀①",
    };
    const std::string_view mark = std::string_view(content).substr(0, 2);
    if (mark == "\xFF\xFE" || mark == "\xFE\xFF") {
        // A UTF-16 file: reading must not fail, and a value written reads back as from a UTF-8
        // file, with the mark kept.
        writeFile(iniPath(), content);
        for (const Entry& e : entries)
            orv::ReadIni(iniPath(), e.section, e.key, kDefault);
        const Entry& target = entries[pickEntry % 6];
        const std::string& value = values[pickValue % values.size()];
        if (!orv::WriteIni(iniPath(), target.section, target.key, value)) {
            std::fprintf(stderr, "write failed\n");
            std::abort();
        }
        if (readFile(iniPath()).substr(0, 2) != mark) {
            std::fprintf(stderr, "byte order mark changed\n");
            std::abort();
        }
        std::string expect(trim(stored(value, true)));
        if (expect.size() >= 2 && (expect.front() == '"' || expect.front() == '\'') && expect.back() == expect.front())
            expect = expect.substr(1, expect.size() - 2);
        expect = orv::cp932ToUtf8(cutCp932(orv::utf8ToCp932(expect), 127));
        if (orv::ReadIni(iniPath(), target.section, target.key, kDefault) != expect) {
            std::fprintf(stderr, "read back from a UTF-16 file differs\n");
            std::abort();
        }
        return 0;
    }
    for (size_t i = 0; i < before.size() && values.size() < 64; ++i)
        values.push_back(toUtf8(before[i], bom));

    writeFile(iniPath(), content);
    for (const Entry& e : entries) {
        const std::string got = orv::ReadIni(iniPath(), e.section, e.key, kDefault);
        if (got != kDefault && !bom && orv::utf8ToCp932(got).size() > 127) {
            std::fprintf(stderr, "value longer than 127 bytes: [%s] %s\n", e.section.c_str(), e.key.c_str());
            std::abort();
        }
    }
    if (readFile(iniPath()) != content) {
        std::fprintf(stderr, "reading changed the file\n");
        std::abort();
    }
    // Whatever its bytes (text of another encoding, a value cut on reading), a value given back as
    // it was read stays as stored.
    for (const Entry& e : entries) {
        const std::string got = orv::ReadIni(iniPath(), e.section, e.key, kDefault);
        if (got == kDefault)
            continue;
        if (!orv::WriteIni(iniPath(), e.section, e.key, got)) {
            std::fprintf(stderr, "write failed\n");
            std::abort();
        }
        if (splitLines(std::string_view(readFile(iniPath())).substr(bom ? kBom.size() : 0)) != before) {
            std::fprintf(stderr, "a value written back as read changed the file: [%s] %s\n", e.section.c_str(),
                         e.key.c_str());
            std::abort();
        }
        writeFile(iniPath(), content);
        break;
    }

    Entry target = entries[pickEntry % entries.size()];
    if (pickEntry & 0x80 && !before.empty())
        target.key = toUtf8(before[pickEntry % before.size()], bom);
    if (!usableKey(target.key, bom))
        return 0;
    const std::string value = values[pickValue % values.size()];
    if (!orv::WriteIni(iniPath(), target.section, target.key, value)) {
        std::fprintf(stderr, "write failed\n");
        std::abort();
    }

    const std::string after = readFile(iniPath());
    const bool bomAfter = std::string_view(after).substr(0, kBom.size()) == kBom;
    if (bomAfter != bom) {
        std::fprintf(stderr, "byte order mark changed\n");
        std::abort();
    }
    const std::vector<std::string> lines = splitLines(std::string_view(after).substr(bom ? kBom.size() : 0));

    // Exactly one line replaced or inserted, or a section header and the key appended.
    size_t i = 0;
    while (i < before.size() && i < lines.size() && before[i] == lines[i])
        ++i;
    bool shapeOk = false;
    size_t keyLine = i;
    if (lines.size() == before.size() && i < lines.size()) {
        shapeOk = std::equal(before.begin() + long(i) + 1, before.end(), lines.begin() + long(i) + 1);
    } else if (lines.size() == before.size() + 1) {
        shapeOk = std::equal(before.begin() + long(i), before.end(), lines.begin() + long(i) + 1);
    } else if (lines.size() == before.size() + 2 && i == before.size()) {
        shapeOk = lines[i] == "[" + std::string(trim(stored(target.section, bom))) + "]";
        keyLine = i + 1;
    }
    const bool unchanged = lines == before; // the key already held that value
    shapeOk = shapeOk || unchanged;
    if (!shapeOk) {
        std::fprintf(stderr, "lines other than the key's changed (first difference at line %zu)\n", i);
        std::abort();
    }
    const std::string& kl = unchanged ? std::string() : lines[keyLine];
    const size_t eq = kl.find('=');
    if (!unchanged
        && (eq == std::string::npos
            || !orv::AsciiEqualNoCase(trim(std::string_view(kl).substr(0, eq)), trim(stored(target.key, bom)))
            || kl.substr(eq + 1) != stored(value, bom))) {
        std::fprintf(stderr, "key line is not key=value: %s\n", kl.c_str());
        std::abort();
    }

    // Read back: blanks and enclosing quotes dropped, cut to 127 bytes of CP932.
    std::string expect(trim(stored(value, bom)));
    if (expect.size() >= 2 && (expect.front() == '"' || expect.front() == '\'') && expect.back() == expect.front())
        expect = expect.substr(1, expect.size() - 2);
    expect = orv::cp932ToUtf8(cutCp932(bom ? orv::utf8ToCp932(expect) : expect, 127));
    const std::string got = orv::ReadIni(iniPath(), target.section, target.key, kDefault);
    if (got != expect) {
        std::fprintf(stderr, "read back [%s] %s: got \"%s\", expected \"%s\"\n", target.section.c_str(),
                     target.key.c_str(), got.c_str(), expect.c_str());
        std::abort();
    }
    return 0;
}
