#include "platform/settings/IniSyntax.h"

#include "platform/text/AsciiText.h"
#include "platform/text/Cp932.h"

namespace orv::ini {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b, Encoding enc)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (enc == Encoding::Cp932 && isCp932LeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

ParsedLine parseLine(std::string_view line)
{
    ParsedLine p;
    const std::string_view t = trim(line);
    if (t.empty() || t.front() == ';')
        return p;
    if (t.front() == '[') {
        const size_t close = t.rfind(']');
        if (close != std::string_view::npos) {
            p.kind = LineKind::Section;
            p.name = trim(t.substr(1, close - 1));
            return p;
        }
    }
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return p;
    p.kind = LineKind::Key;
    p.name = trim(t.substr(0, eq));
    p.value = trim(t.substr(eq + 1));
    return p;
}

std::string encodeName(const std::string& utf8, Encoding enc) { return encodeForLine(trim(upToNul(utf8)), enc); }

std::string decodeValue(std::string_view stored, Encoding enc)
{
    std::string_view v = upToNul(stored);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return readableValue(v, enc);
}

// --- Finding keys ------------------------------------------------------------------------------------

size_t Wanted::add(std::string_view section, std::string_view key)
{
    size_t s = 0;
    while (s < sections.size() && !sameName(sections[s].name, section, enc))
        ++s;
    if (s == sections.size())
        sections.push_back({std::string(section), {}});
    for (size_t k : sections[s].keys)
        if (sameName(keys[k].name, key, enc))
            return k;
    keys.push_back({std::string(key), std::string(), std::string(), s});
    sections[s].keys.push_back(keys.size() - 1);
    return keys.size() - 1;
}

long Wanted::sectionFor(std::string_view name, std::vector<bool>& seen) const
{
    for (size_t s = 0; s < sections.size(); ++s)
        if (!seen[s] && sameName(name, sections[s].name, enc)) {
            seen[s] = true;
            return static_cast<long>(s);
        }
    return -1;
}

long Wanted::keyFor(size_t s, std::string_view name, std::vector<bool>& found) const
{
    for (size_t k : sections[s].keys)
        if (!found[k] && sameName(name, keys[k].name, enc)) {
            found[k] = true;
            return static_cast<long>(k);
        }
    return -1;
}

// --- Updating ---------------------------------------------------------------------------------------

bool rewriteLines(LineReader& in, const Wanted& w, Output& out)
{
    std::vector<bool> seen(w.sections.size()), found(w.keys.size());
    long current = -1; // the wanted section being copied
    std::vector<std::string> held; // its lines after its last key line
    const auto keyLine = [&](std::string_view name, size_t k) {
        out.put(name);
        out.put("=");
        out.line(w.keys[k].value);
    };
    const auto closeSection = [&] {
        if (current < 0)
            return;
        for (size_t k : w.sections[static_cast<size_t>(current)].keys)
            if (!found[k])
                keyLine(w.keys[k].name, k);
        for (const std::string& h : held)
            out.line(h);
        held.clear();
        current = -1;
    };
    std::string_view line;
    while (in.next(line)) {
        const ParsedLine p = parseLine(line);
        if (p.kind == LineKind::Section) {
            closeSection();
            current = w.sectionFor(p.name, seen);
            out.line(line);
        } else if (p.kind == LineKind::Key && current >= 0) {
            for (const std::string& h : held)
                out.line(h);
            held.clear();
            const long k = w.keyFor(static_cast<size_t>(current), p.name, found);
            // A value given as it reads keeps its bytes, which need not be text of the file's
            // encoding (a UTF-8 file without its mark is read as CP932).
            if (k >= 0 && decodeValue(p.value, w.enc) != w.keys[static_cast<size_t>(k)].given)
                keyLine(p.name, static_cast<size_t>(k));
            else
                out.line(line);
        } else if (current >= 0) {
            held.emplace_back(line);
        } else {
            out.line(line);
        }
    }
    if (in.failed())
        return false;
    closeSection();
    for (size_t s = 0; s < w.sections.size(); ++s) {
        if (seen[s])
            continue;
        out.put("[");
        out.put(w.sections[s].name);
        out.line("]");
        for (size_t k : w.sections[s].keys)
            keyLine(w.keys[k].name, k);
    }
    return true;
}

} // namespace orv::ini
