#include "actions/Volumes.h"

#include "platform/disc/DiscImage.h"
#include "platform/disc/SectorImage.h"
#include "platform/jet/JetText.h"
#include "platform/text/AsciiText.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <tuple>

namespace orv {

namespace {

namespace fs = std::filesystem;

// The value of a run of digits, as text without leading zeros (any length compares).
std::string numberValue(std::string_view digits)
{
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string("0") : std::string(digits.substr(first));
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The first run of digits of a folded name, as its value; empty when there is none.
std::string firstNumber(const std::string& folded)
{
    const auto start = std::find_if(folded.begin(), folded.end(), isDigit);
    const auto end = std::find_if_not(start, folded.end(), isDigit);
    return start == end ? std::string() : numberValue(std::string_view(&*start, std::size_t(end - start)));
}

std::string withoutImageExtension(const std::string& name) { return name.substr(0, name.rfind('.')); }

// The drive root without its trailing separator, with name below it.
std::string childPath(const std::string& driveRootPath, const std::string& name)
{
    std::string root = driveRootPath;
    while (root.size() > 1 && (root.back() == '/' || root.back() == '\\'))
        root.pop_back();
    return root + (root == "/" ? "" : "/") + name;
}

bool isThere(const std::string& path, bool folder)
{
    std::error_code ec;
    return folder ? fs::is_directory(path, ec) : fs::exists(path, ec);
}

std::string joinNames(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : "/") + n;
    return out;
}

bool isSheet(const VolumeCandidate& c) { return !c.folder && IsSheetFormat(ImageFormatOfName(c.name)); }

// The folders and image files among the drive folder's children, in name order; the drive
// folder's real path in *realRoot.
std::vector<VolumeCandidate> childCandidates(const std::string& driveRootPath, fs::path* realRoot)
{
    std::vector<VolumeCandidate> out;
    std::error_code ec;
    *realRoot = fs::canonical(childPath(driveRootPath, "."), ec);
    if (ec)
        return out;
    fs::directory_iterator it(*realRoot, ec);
    std::size_t looked = 0;
    for (const fs::directory_iterator end; !ec && it != end && looked < kMaxVolumeCandidates; it.increment(ec)) {
        ++looked;
        std::error_code entryError;
        const std::string name = it->path().filename().string();
        fs::file_status st = it->symlink_status(entryError);
        if (fs::is_symlink(st)) {
            // A link counts by where it leads, and only inside the drive folder.
            const fs::path real = fs::canonical(it->path(), entryError);
            if (entryError)
                continue;
            const fs::path rel = real.lexically_relative(*realRoot);
            if (rel.empty() || rel == "." || *rel.begin() == "..")
                continue;
            st = fs::status(real, entryError);
        }
        if (fs::is_directory(st))
            out.push_back({name, true});
        else if (fs::is_regular_file(st) && IsImageName(name))
            out.push_back({name, false});
    }
    std::sort(out.begin(), out.end(),
              [](const VolumeCandidate& a, const VolumeCandidate& b) { return a.name < b.name; });
    return out;
}

// The files a sheet among the candidates names belong to it: they are no volumes of their own.
void dropNamedFiles(const fs::path& realRoot, std::vector<VolumeCandidate>* candidates)
{
    std::set<std::string> named;
    for (const VolumeCandidate& c : *candidates)
        if (isSheet(c))
            for (const std::string& file : SheetDataFiles((realRoot / c.name).string()))
                named.insert(fs::path(file).filename().string());
    candidates->erase(std::remove_if(candidates->begin(), candidates->end(),
                                     [&](const VolumeCandidate& c) { return !c.folder && named.count(c.name); }),
                      candidates->end());
}

} // namespace

bool IsImageName(std::string_view name) { return ImageFormatOfName(name) != ImageFormat::None; }

std::optional<std::size_t> PickVolume(const std::vector<VolumeCandidate>& candidates, std::string_view cdno)
{
    const std::string volume = jetFoldKey(cdno);
    if (volume.empty())
        return std::nullopt;
    const std::string withPrefix = jetFoldKey("CD") + volume;
    const auto leading = std::find_if_not(volume.begin(), volume.end(), isDigit);
    const std::string number = leading == volume.begin()
        ? std::string()
        : numberValue(std::string_view(volume.data(), std::size_t(leading - volume.begin())));

    std::optional<std::size_t> best;
    std::tuple<int, int, std::string_view> bestRank;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const VolumeCandidate& c = candidates[i];
        const std::string name = jetFoldKey(c.folder ? c.name : withoutImageExtension(c.name));
        int match;
        if (name == withPrefix || name == volume)
            match = 0;
        else if (!number.empty() && firstNumber(name) == number)
            match = 1;
        else
            continue;
        const std::tuple<int, int, std::string_view> rank{match, c.folder ? 0 : isSheet(c) ? 1 : 2, c.name};
        if (!best || rank < bestRank) {
            best = i;
            bestRank = rank;
        }
    }
    return best;
}

std::vector<VolumeCandidate> VolumeCandidates(const std::string& driveRootPath)
{
    fs::path realRoot;
    std::vector<VolumeCandidate> out = childCandidates(driveRootPath, &realRoot);
    dropNamedFiles(realRoot, &out);
    return out;
}

std::optional<EntryPlace> LocateEntry(const std::string& driveRootPath, const std::string& cdno,
                                      const std::string& entryFolder, const std::string* fileName)
{
    const bool folder = fileName == nullptr;
    const auto resolve = [&](const std::string& root) {
        return folder ? EntryFolderPath(root, entryFolder) : EntryFilePath(root, entryFolder, *fileName);
    };
    std::vector<std::string> inside;
    if (!ImagePathNames(entryFolder + (folder ? std::string() : "\\" + *fileName), &inside))
        return std::nullopt;
    // A path that the drive folder cannot resolve (a ".." below a missing folder, a link out of
    // it) may still lie in the volume's copy, which is resolved on its own.
    const std::optional<std::string> direct = resolve(driveRootPath);
    EntryPlace place;
    if (direct) {
        place.volume = driveRootPath;
        place.path = *direct;
        place.exists = isThere(*direct, folder);
        if (place.exists)
            return place;
    }

    fs::path realRoot;
    std::vector<VolumeCandidate> candidates = childCandidates(driveRootPath, &realRoot);
    std::optional<std::size_t> pick = PickVolume(candidates, cdno);
    // No sheet names another: only an image file picked asks for the sheets to be read.
    if (pick && !candidates[*pick].folder && !isSheet(candidates[*pick])) {
        dropNamedFiles(realRoot, &candidates);
        pick = PickVolume(candidates, cdno);
    }
    if (!pick)
        return direct ? std::optional<EntryPlace>(place) : std::nullopt;
    const std::string volume = childPath(driveRootPath, candidates[*pick].name);
    if (candidates[*pick].folder) {
        // Resolved as in the drive folder, never leading outside the copy.
        const std::optional<std::string> inCopy = resolve(volume);
        if (!inCopy)
            return std::nullopt;
        return EntryPlace{EntryOrigin::VolumeFolder, volume, *inCopy, {}, isThere(*inCopy, folder)};
    }
    EntryPlace image{EntryOrigin::VolumeImage, volume, joinNames(inside), {}, false};
    ImagePathNames(entryFolder, &image.imageFolder);
    return image;
}

std::string EntryPlaceCaption(const std::string& driveRootPath, const std::string& cdno, const std::string& entryFolder)
{
    const std::optional<EntryPlace> place = LocateEntry(driveRootPath, cdno, entryFolder, nullptr);
    if (!place || place->origin == EntryOrigin::Drive)
        return EntryFolderCaption(driveRootPath, entryFolder);
    if (place->origin == EntryOrigin::VolumeFolder)
        return place->path;
    return place->path.empty() ? place->volume : place->volume + '/' + place->path;
}

namespace {

// The image's copy of the entry's folder; nullopt (with the outcome) when there is none.
std::optional<std::string> imageCopy(const EntryPlace& place, const ImageFolderCopier& copier,
                                     ImageCopyOutcome* outcome)
{
    const ImageFolderCopy copy = copier ? copier(place.volume, place.imageFolder) : ImageFolderCopy{};
    if (outcome)
        *outcome = {place.volume, copy.status};
    if (copy.status != ImageCopyStatus::Copied)
        return std::nullopt;
    return copy.folder;
}

} // namespace

std::optional<std::string> EntryFileToOpen(const std::string& driveRootPath, const std::string& cdno,
                                           const std::string& entryFolder, const std::string& fileName,
                                           const ImageFolderCopier& copier, ImageCopyOutcome* outcome)
{
    const std::optional<EntryPlace> place = LocateEntry(driveRootPath, cdno, entryFolder, &fileName);
    if (!place)
        return std::nullopt;
    if (place->origin != EntryOrigin::VolumeImage)
        return place->path;
    const std::optional<std::string> copy = imageCopy(*place, copier, outcome);
    if (!copy)
        return std::nullopt;
    return EntryFilePath(*copy, joinNames(place->imageFolder), fileName);
}

FolderCheck CheckEntryFolderInLibrary(const std::string& driveRootPath, const std::string& cdno,
                                      const std::string& entryFolder, const ImageFolderCopier& copier,
                                      std::string* folder, ImageCopyOutcome* outcome)
{
    const std::optional<EntryPlace> place = LocateEntry(driveRootPath, cdno, entryFolder, nullptr);
    if (!place || place->origin == EntryOrigin::Drive)
        return CheckEntryFolder(driveRootPath, entryFolder, folder);
    std::string root = place->volume;
    std::optional<std::string> path = place->path;
    if (place->origin == EntryOrigin::VolumeImage) {
        const std::optional<std::string> copy = imageCopy(*place, copier, outcome);
        if (!copy)
            return FolderCheck::NoFiles;
        root = *copy;
        path = EntryFolderPath(root, joinNames(place->imageFolder));
    }
    if (!path)
        return FolderCheck::NoFiles;
    if (folder)
        *folder = *path;
    return CheckFolderHasFiles(*path, root);
}

std::string ImageCopyMessage(ImageCopyStatus status, const std::string& image, const std::string& cacheFolder)
{
    // What broke, then why, then where: a line each.
    const std::string name = "CDイメージ「" + fs::path(image).filename().string() + "」";
    const std::string cannotCopy = name + "からコピーできません。\r\n";
    const std::string where = "\r\nコピー先：" + cacheFolder;
    switch (status) {
    case ImageCopyStatus::Damaged: return name + "が読めません。";
    case ImageCopyStatus::TooLarge: return cannotCopy + "フォルダが1GBを超えています。";
    case ImageCopyStatus::NoSpace: return cannotCopy + "ディスクの空きが足りません。" + where;
    case ImageCopyStatus::WriteFailed: return cannotCopy + "コピー先に書き込めません。" + where;
    case ImageCopyStatus::TimedOut: return name + "の読み込みが時間内に終わりませんでした。";
    case ImageCopyStatus::Copied:
    case ImageCopyStatus::FolderMissing:
    case ImageCopyStatus::Cancelled: break;
    }
    return {};
}

} // namespace orv
