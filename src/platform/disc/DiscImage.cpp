#include "platform/disc/DiscImage.h"

#include "platform/disc/SectorImage.h"
#include "platform/files/FileIo.h"
#include "platform/text/AsciiText.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <map>
#include <memory>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

constexpr std::size_t kBlock = 64 * 1024;

// Where the image's bytes come from: a file, or memory.
struct ImageInput {
    const std::string* file = nullptr;
    const void* data = nullptr;
    std::size_t size = 0;
};

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

ArchivePtr openImage(const ImageInput& in)
{
    ArchivePtr a(archive_read_new());
    if (!a)
        return nullptr;
    // ISO 9660 alone: no other format, no compression filter is ever tried on the bytes.
    archive_read_support_format_iso9660(a.get());
    // Images of raw sectors and their sheets: the first data track's user data, as an .iso holds it.
    const ImageFormat format = in.file ? ImageFormatOfName(*in.file) : ImageFormat::None;
    const int r = format != ImageFormat::None && format != ImageFormat::Iso ? OpenSectorImage(a.get(), *in.file)
        : in.file ? archive_read_open_filename(a.get(), in.file->c_str(), kBlock)
                  : archive_read_open_memory(a.get(), in.data, in.size);
    if (r != ARCHIVE_OK)
        return nullptr;
    return a;
}

// Hands each entry of the image to take, from the first to the last, until take answers
// anything but Copied. Damaged when the image cannot be read to its end.
template <class Take> ImageCopyStatus readEntries(const ImageInput& in, Take&& take)
{
    const ArchivePtr a = openImage(in);
    if (!a)
        return ImageCopyStatus::Damaged;
    archive_entry* e = nullptr;
    for (;;) {
        const int r = archive_read_next_header(a.get(), &e);
        if (r == ARCHIVE_EOF)
            return ImageCopyStatus::Copied;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            return ImageCopyStatus::Damaged;
        const ImageCopyStatus s = take(a.get(), e);
        if (s != ImageCopyStatus::Copied)
            return s;
    }
}

// The names of a path as the image gives it; false for a name that climbs.
bool pathNames(const char* path, std::vector<std::string>* names)
{
    std::string name;
    for (const char* p = path;; ++p) {
        if (*p && *p != '/') {
            name += *p;
            continue;
        }
        if (name == "..")
            return false;
        if (!name.empty() && name != ".")
            names->push_back(name);
        name.clear();
        if (!*p)
            return true;
    }
}

// The entry's names; false for an entry to leave out (no name, or a name that climbs).
bool entryNames(archive_entry* e, std::vector<std::string>* names)
{
    const char* path = archive_entry_pathname_utf8(e);
    if (!path)
        path = archive_entry_pathname(e);
    return path && pathNames(path, names);
}

std::string joinNames(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names) {
        if (!out.empty())
            out += '/';
        out += n;
    }
    return out;
}

bool underFolder(const std::vector<std::string>& names, const std::vector<std::string>& folder)
{
    if (names.size() < folder.size())
        return false;
    for (std::size_t i = 0; i < folder.size(); ++i)
        if (!AsciiEqualNoCase(names[i], folder[i]))
            return false;
    return true;
}

enum class Made { Yes, Skip, Failed };

// The folders of dest/names[0..count), made where missing. Skip when a name is taken by a file.
Made makeFolders(const std::string& dest, const std::vector<std::string>& names, std::size_t count)
{
    std::string path = dest;
    for (std::size_t i = 0; i < count; ++i) {
        path += '/';
        path += names[i];
        if (::mkdir(path.c_str(), 0755) == 0)
            continue;
        if (errno == ENAMETOOLONG)
            return Made::Skip;
        if (errno != EEXIST)
            return Made::Failed;
        struct stat st {};
        // Only folders made here are in dest (no link is ever written), so lstat is what is there.
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return Made::Skip;
    }
    return Made::Yes;
}

// A new read-only file at dest/names, filled by fill(fd). Skip for a name already taken.
template <class Fill> ImageCopyStatus writeFile(const std::string& path, Fill&& fill, bool* skipped)
{
    *skipped = false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST || errno == ENAMETOOLONG) {
            *skipped = true;
            return ImageCopyStatus::Copied;
        }
        return ImageCopyStatus::WriteFailed;
    }
    // Read-only whatever came of it: a copy that failed is thrown away as it is.
    ImageCopyStatus status = fill(fd);
    if (::fchmod(fd, 0444) != 0 && status == ImageCopyStatus::Copied)
        status = ImageCopyStatus::WriteFailed;
    if (::close(fd) != 0 && status == ImageCopyStatus::Copied)
        status = ImageCopyStatus::WriteFailed;
    return status;
}

// The entry's data into fd: all of it, exactly its size, or Damaged.
ImageCopyStatus copyData(archive* a, int fd, std::uint64_t size)
{
    std::unique_ptr<char[]> buf(new char[kBlock]);
    std::uint64_t got = 0;
    for (;;) {
        const la_ssize_t n = archive_read_data(a, buf.get(), kBlock);
        if (n < 0)
            return ImageCopyStatus::Damaged;
        if (n == 0)
            break;
        got += std::uint64_t(n);
        if (got > size)
            return ImageCopyStatus::Damaged;
        if (!writeAll(fd, {buf.get(), std::size_t(n)}))
            return ImageCopyStatus::WriteFailed;
    }
    return got == size ? ImageCopyStatus::Copied : ImageCopyStatus::Damaged;
}

ImageCopyStatus copyFile(const std::string& from, int to)
{
    const int fd = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return ImageCopyStatus::WriteFailed;
    std::unique_ptr<char[]> buf(new char[kBlock]);
    ImageCopyStatus status = ImageCopyStatus::Copied;
    for (;;) {
        const ssize_t n = ::read(fd, buf.get(), kBlock);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            status = ImageCopyStatus::WriteFailed;
        if (n <= 0)
            break;
        if (!writeAll(to, {buf.get(), std::size_t(n)})) {
            status = ImageCopyStatus::WriteFailed;
            break;
        }
    }
    ::close(fd);
    return status;
}

// One copy: the image read once from start to end, and a second time only for hard links whose
// data lay outside the folder.
class FolderCopy {
public:
    FolderCopy(const ImageInput& in, const std::vector<std::string>& folder, const std::string& dest,
               std::uint64_t maxBytes)
        : in_(in), folder_(folder), dest_(dest), maxBytes_(maxBytes)
    {}

    ImageCopyResult run()
    {
        result_.status = firstPass();
        if (result_.status == ImageCopyStatus::Copied && !found_)
            result_.status = ImageCopyStatus::FolderMissing;
        if (result_.status == ImageCopyStatus::Copied && !pending_.empty())
            result_.status = secondPass();
        return std::move(result_);
    }

private:
    struct File {
        std::uint64_t size = 0;
        std::string copy; // where it was written below dest, if it was
    };

    bool dryRun() const { return dest_.empty(); }

    ImageCopyStatus firstPass()
    {
        return readEntries(in_, [this](archive* a, archive_entry* e) { return take(a, e); });
    }

    ImageCopyStatus take(archive* a, archive_entry* e)
    {
        std::vector<std::string> names;
        if (!entryNames(e, &names))
            return ImageCopyStatus::Copied;
        const mode_t type = archive_entry_filetype(e);
        const char* link = archive_entry_hardlink_utf8(e);
        if (!link)
            link = archive_entry_hardlink(e);
        const std::string key = joinNames(names);
        const std::uint64_t size =
            archive_entry_size_is_set(e) && archive_entry_size(e) > 0 ? std::uint64_t(archive_entry_size(e)) : 0;
        if (type == AE_IFREG && !link)
            files_.try_emplace(key, File{size, {}});
        if (!underFolder(names, folder_))
            return ImageCopyStatus::Copied;
        if (type == AE_IFDIR || names.size() > folder_.size())
            found_ = true;
        if (type == AE_IFDIR) {
            if (!dryRun() && makeFolders(dest_, names, names.size()) == Made::Failed)
                return ImageCopyStatus::WriteFailed;
            return ImageCopyStatus::Copied;
        }
        if (type != AE_IFREG || names.size() == folder_.size())
            return ImageCopyStatus::Copied; // links, devices; a file where the folder should be
        // A hard link's target, as named in the image: only a file seen before counts.
        const File* target = nullptr;
        std::string targetKey;
        if (link) {
            std::vector<std::string> targetNames;
            if (!pathNames(link, &targetNames))
                return ImageCopyStatus::Copied;
            targetKey = joinNames(targetNames);
            const auto it = files_.find(targetKey);
            if (it == files_.end())
                return ImageCopyStatus::Copied;
            target = &it->second;
        }
        const std::uint64_t fileSize = target ? target->size : size;
        if (fileSize > maxBytes_ - std::min(maxBytes_, result_.bytes))
            return ImageCopyStatus::TooLarge;
        if (dryRun()) {
            result_.bytes += fileSize;
            ++result_.files;
            if (result_.listed.size() < kMaxListedFiles)
                result_.listed.push_back(key);
            return ImageCopyStatus::Copied;
        }
        const Made made = makeFolders(dest_, names, names.size() - 1);
        if (made != Made::Yes)
            return made == Made::Failed ? ImageCopyStatus::WriteFailed : ImageCopyStatus::Copied;
        const std::string path = dest_ + '/' + key;
        bool skipped = false;
        ImageCopyStatus s;
        if (!target)
            s = writeFile(
                path, [&](int fd) { return copyData(a, fd, size); }, &skipped);
        else if (!target->copy.empty())
            s = writeFile(
                path, [&](int fd) { return copyFile(target->copy, fd); }, &skipped);
        else {
            // The data lies outside the folder and has gone by: the second pass brings it.
            s = writeFile(
                path, [](int) { return ImageCopyStatus::Copied; }, &skipped);
            if (!skipped && s == ImageCopyStatus::Copied)
                pending_.insert({targetKey, path});
        }
        if (s != ImageCopyStatus::Copied || skipped)
            return s;
        result_.bytes += fileSize;
        ++result_.files;
        if (!target)
            files_[key].copy = path;
        return ImageCopyStatus::Copied;
    }

    ImageCopyStatus secondPass()
    {
        const ImageCopyStatus s = readEntries(in_, [this](archive* a, archive_entry* e) { return fillPending(a, e); });
        if (s != ImageCopyStatus::Copied)
            return s;
        // A link to a file that the image did not bring a second time.
        return pending_.empty() ? ImageCopyStatus::Copied : ImageCopyStatus::Damaged;
    }

    // The copies waiting for this entry's data, if any.
    ImageCopyStatus fillPending(archive* a, archive_entry* e)
    {
        std::vector<std::string> names;
        if (archive_entry_filetype(e) != AE_IFREG || archive_entry_hardlink(e) || !entryNames(e, &names))
            return ImageCopyStatus::Copied;
        const auto [first, last] = pending_.equal_range(joinNames(names));
        if (first == last)
            return ImageCopyStatus::Copied;
        const std::uint64_t size = files_[first->first].size;
        const std::string from = first->second;
        for (auto it = first; it != last; ++it) {
            // The empty read-only file that waited for the data, writable while it is filled.
            if (::chmod(it->second.c_str(), 0600) != 0)
                return ImageCopyStatus::WriteFailed;
            const int fd = ::open(it->second.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                return ImageCopyStatus::WriteFailed;
            ImageCopyStatus s = it == first ? copyData(a, fd, size) : copyFile(from, fd);
            if (::fchmod(fd, 0444) != 0 && s == ImageCopyStatus::Copied)
                s = ImageCopyStatus::WriteFailed;
            ::close(fd);
            if (s != ImageCopyStatus::Copied)
                return s;
        }
        pending_.erase(first, last);
        return ImageCopyStatus::Copied;
    }

    ImageInput in_;
    const std::vector<std::string>& folder_;
    std::string dest_;
    std::uint64_t maxBytes_;
    ImageCopyResult result_;
    bool found_ = false;
    std::map<std::string, File> files_; // every regular file of the image, by its names
    std::multimap<std::string, std::string> pending_; // link target -> copies waiting for its data
};

} // namespace

ImageCopyResult CopyImageFolder(const std::string& image, const std::vector<std::string>& folder,
                                const std::string& dest, std::uint64_t maxBytes)
{
    ImageInput in;
    in.file = &image;
    return FolderCopy(in, folder, dest, maxBytes).run();
}

ImageCopyResult CopyImageFolderFromMemory(const void* data, std::size_t size, const std::vector<std::string>& folder,
                                          const std::string& dest, std::uint64_t maxBytes)
{
    ImageInput in;
    in.data = data;
    in.size = size;
    return FolderCopy(in, folder, dest, maxBytes).run();
}

bool ImagePathNames(const std::string& path, std::vector<std::string>* names)
{
    std::string name;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/' && path[i] != '\\') {
            name += path[i];
            continue;
        }
        if (name == "..") {
            if (names->empty())
                return false;
            names->pop_back();
        } else if (!name.empty() && name != ".") {
            names->push_back(name);
        }
        name.clear();
    }
    return true;
}

} // namespace orv
