#include "platform/disc/MountList.h"

#include <algorithm>

namespace orv {

namespace {

// mountinfo writes blanks, tabs, line feeds and backslashes in names as \ and three octal digits.
std::string unescape(std::string_view field)
{
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2])
            && octal(field[i + 3])) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

// A mount point one or up to `depth` names below the folder, as desktops mount volumes there
// (/media/LABEL, /media/USER/LABEL); deeper mounts are the system's own arrangements.
bool below(const std::string& path, const std::string& folder, int depth)
{
    if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 || path[folder.size()] != '/')
        return false;
    const std::string rest = path.substr(folder.size() + 1);
    return !rest.empty() && rest.back() != '/' && std::count(rest.begin(), rest.end(), '/') < depth;
}

} // namespace

std::vector<MountedVolume> RemovableVolumes(std::string_view mountinfo, const std::string& user)
{
    std::vector<MountedVolume> out;
    std::size_t pos = 0;
    while (pos < mountinfo.size()) {
        std::size_t end = mountinfo.find('\n', pos);
        if (end == std::string_view::npos)
            end = mountinfo.size();
        const std::vector<std::string_view> f = fields(mountinfo.substr(pos, end - pos));
        pos = end + 1;
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const auto dash = std::find(f.begin(), f.end(), std::string_view("-"));
        if (f.size() < 7 || dash - f.begin() < 6 || f.end() - dash < 3)
            continue;
        MountedVolume v{unescape(f[4]), unescape(*(dash + 1)), unescape(*(dash + 2))};
        const bool disc = v.fsType == "iso9660" || v.fsType == "udf";
        const bool removable = below(v.mountPoint, "/media", 2) || below(v.mountPoint, "/mnt", 1)
            || (!user.empty() && below(v.mountPoint, "/run/media/" + user, 1));
        // A mount point mounted over again shows what was mounted last.
        out.erase(std::remove_if(out.begin(), out.end(),
                                 [&](const MountedVolume& o) { return o.mountPoint == v.mountPoint; }),
                  out.end());
        if (disc || removable)
            out.push_back(std::move(v));
    }
    return out;
}

std::string VolumeDisplayName(const MountedVolume& volume, const std::string& label)
{
    if (!label.empty())
        return label;
    const std::size_t slash = volume.mountPoint.find_last_of('/');
    const std::string last = slash == std::string::npos ? volume.mountPoint : volume.mountPoint.substr(slash + 1);
    return last.empty() ? volume.mountPoint : last;
}

namespace {

// An absolute path's names, "." and ".." resolved (".." above the root stays at the root).
std::vector<std::string> pathNames(std::string_view path)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view name = path.substr(start, slash - start);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.emplace_back(name);
        }
        start = slash + 1;
    }
    return names;
}

std::string joinPath(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += '/' + n;
    return out.empty() ? "/" : out;
}

} // namespace

std::optional<std::size_t> PlaceHolding(const std::vector<ChooserPlace>& places, const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return std::nullopt;
    const std::vector<std::string> names = pathNames(path);
    std::optional<std::size_t> best;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::vector<std::string> place = pathNames(places[i].path);
        if (places[i].path.empty() || places[i].path[0] != '/' || place.size() > names.size()
            || !std::equal(place.begin(), place.end(), names.begin()))
            continue;
        if (!best || place.size() > bestLength) {
            best = i;
            bestLength = place.size();
        }
    }
    return best;
}

std::string ChooserTypedPath(std::string_view typed, const std::string& home, const std::string& base)
{
    while (!typed.empty() && (typed.front() == ' ' || typed.front() == '\t'))
        typed.remove_prefix(1);
    while (!typed.empty() && (typed.back() == ' ' || typed.back() == '\t' || typed.back() == '\n'))
        typed.remove_suffix(1);
    if (typed.empty())
        return {};
    std::string full;
    if (typed == "~" || typed.substr(0, 2) == "~/")
        full = home + '/' + std::string(typed.substr(1));
    else if (typed.front() == '/')
        full = std::string(typed);
    else
        full = (base.empty() ? home : base) + '/' + std::string(typed);
    return joinPath(pathNames(full));
}

std::vector<ChooserPlace> ChooserPlaces(std::string_view mountinfo, const std::string& user, const std::string& home,
                                        const VolumeLabel& label)
{
    std::vector<ChooserPlace> places;
    for (const MountedVolume& v : RemovableVolumes(mountinfo, user)) {
        const bool disc = v.fsType == "iso9660" || v.fsType == "udf";
        places.push_back({disc ? ChooserPlace::Kind::Disc : ChooserPlace::Kind::Removable,
                          VolumeDisplayName(v, label ? label(v) : std::string()), v.mountPoint});
    }
    if (!home.empty() && home != "/")
        places.push_back({ChooserPlace::Kind::Home, "ホーム", home});
    places.push_back({ChooserPlace::Kind::Root, "ルート", "/"});
    return places;
}

} // namespace orv
