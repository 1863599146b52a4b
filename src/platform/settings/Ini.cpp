#include "platform/settings/Ini.h"

#include "platform/settings/IniReplace.h"
#include "platform/settings/IniSyntax.h"
#include "platform/settings/IniText.h"

#include <sys/stat.h>
#include <unistd.h>

namespace orv {

using namespace ini;

namespace {

Wanted wantedEntries(const std::vector<IniEntry>& entries, Encoding enc)
{
    Wanted w(enc);
    for (const IniEntry& e : entries) {
        const size_t k = w.add(encodeName(e.section, enc), encodeName(e.key, enc));
        w.keys[k].given = std::string(upToNul(e.value));
        w.keys[k].value = encodeForLine(w.keys[k].given, enc);
    }
    return w;
}

} // namespace

std::vector<std::optional<std::string>> ReadIniKeys(const std::string& file, const std::vector<IniKey>& keys)
{
    std::vector<std::optional<std::string>> values(keys.size());
    Fd f;
    struct stat info {};
    if (keys.empty() || openRegular(file, f, &info) != OpenResult::Ok)
        return values;
    LineReader in(f.fd, info.st_size);
    Wanted w(in.encoding());
    std::vector<size_t> slots;
    slots.reserve(keys.size());
    for (const IniKey& k : keys)
        slots.push_back(w.add(encodeName(k.section, w.enc), encodeName(k.key, w.enc)));

    std::vector<std::optional<std::string>> bySlot(w.keys.size());
    std::vector<bool> seen(w.sections.size()), found(w.keys.size());
    size_t keysLeft = w.keys.size(), sectionsLeft = w.sections.size();
    long current = -1;
    std::string_view line;
    // Past the last wanted section, or with every key found, nothing more is to be had.
    while (keysLeft > 0 && (sectionsLeft > 0 || current >= 0) && in.next(line)) {
        const ParsedLine p = parseLine(line);
        if (p.kind == LineKind::Section) {
            current = w.sectionFor(p.name, seen);
            sectionsLeft -= current >= 0 ? 1 : 0;
        } else if (p.kind == LineKind::Key && current >= 0) {
            const long k = w.keyFor(static_cast<size_t>(current), p.name, found);
            if (k >= 0) {
                bySlot[static_cast<size_t>(k)] = decodeValue(p.value, w.enc);
                --keysLeft;
            }
        }
    }
    if (in.failed())
        return values;
    for (size_t i = 0; i < keys.size(); ++i)
        values[i] = bySlot[slots[i]];
    return values;
}

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key, const std::string& def)
{
    std::optional<std::string> v = ReadIniKeys(file, {{section, key}}).front();
    return v ? std::move(*v) : def;
}

bool WriteIniEntries(const std::string& file, const std::vector<IniEntry>& entries)
{
    if (file.empty())
        return false;
    // Through a symbolic link the file it points at is updated (made, when it is not there yet),
    // never the link replaced.
    const std::string path = followLinks(file);
    const PathParts parts = splitPath(path);
    if (parts.base.empty())
        return false;
    std::vector<PathParts> lockPlaces{parts};
    if (path != file)
        lockPlaces.push_back(splitPath(file)); // the target's folder may allow no new file
    const UpdateLock lock(lockPlaces);
    removeStaleTemporaries(parts);

    Fd source;
    struct stat info {};
    const OpenResult opened = openRegular(path, source, &info);
    if (opened == OpenResult::Failed)
        return false; // never replace what could not be read
    const bool exists = opened == OpenResult::Ok;
    if (exists && ::access(path.c_str(), W_OK) != 0)
        return false; // a read-only file stays as it is, although its folder would allow a rename

    // A rename would cut other hard links off the content; without room for a temporary file
    // there is nothing to rename. Then the file itself is rewritten, from a copy in memory.
    std::string tmp;
    Fd target;
    if (!exists || info.st_nlink <= 1)
        target.fd = createTemporary(parts, tmp);
    if (target.fd < 0) {
        if (!exists)
            return false;
        LineReader in(source.fd, info.st_size);
        Output out(in.encoding(), -1, static_cast<size_t>(info.st_size) * 2);
        if (!rewriteLines(in, wantedEntries(entries, in.encoding()), out) || !out.finish(in.oddByte()))
            return false;
        return rewriteInPlace(path, out.memory(), info);
    }

    LineReader in(source.fd, info.st_size);
    Output out(in.encoding(), target.fd, static_cast<size_t>(info.st_size) * 2);
    bool ok = rewriteLines(in, wantedEntries(entries, in.encoding()), out) && out.finish(in.oddByte())
        && ::fsync(target.fd) == 0;
    if (ok && exists) {
        ok = ::fchmod(target.fd, info.st_mode & 07777) == 0;
        if (ok && ::fchown(target.fd, info.st_uid, info.st_gid) != 0) {
            // Keeping the owner needs privileges; the content matters more.
        }
    }
    const int fd = target.fd;
    target.fd = -1;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

bool WriteIni(const std::string& file, const std::string& section, const std::string& key, const std::string& value)
{
    return WriteIniEntries(file, {{section, key, value}});
}

void RemoveStaleIniTemporaries(const std::string& file)
{
    const std::string path = followLinks(file);
    if (!path.empty())
        removeStaleTemporaries(splitPath(path));
}

} // namespace orv
