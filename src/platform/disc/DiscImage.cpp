#include "platform/disc/DiscImage.h"

#include "platform/disc/SectorImage.h"
#include "platform/files/FileIo.h"
#include "platform/text/AsciiText.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <map>
#include <memory>
#include <set>

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

constexpr std::size_t kBlock = 1024 * 1024;
// The longest name a Linux file system takes, and a path below the copy's folder that leaves room
// for where the copy lies within the longest path the system takes.
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kMaxPathBytes = 3072;

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

// libarchive hands Joliet's UTF-16 names on in the locale's character set: UTF-8 on this thread
// while the image is read, whatever the process's locale.
class Utf8Names {
public:
    Utf8Names() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr))
    {
        if (locale_)
            previous_ = ::uselocale(locale_);
    }
    ~Utf8Names()
    {
        if (locale_) {
            ::uselocale(previous_);
            ::freelocale(locale_);
        }
    }
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;

private:
    locale_t locale_;
    locale_t previous_ = LC_GLOBAL_LOCALE;
};

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

const char* entryPath(archive_entry* e)
{
    const char* path = archive_entry_pathname_utf8(e);
    return path ? path : archive_entry_pathname(e);
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
        const ImageCopyStatus s = take(a.get(), e, r == ARCHIVE_WARN);
        if (s != ImageCopyStatus::Copied)
            return s;
    }
}

// The names of a path as the image gives it; false for a name that climbs, names then holding
// those before it.
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

// The entry's names; false for an entry that cannot be placed (no name, or a name that climbs).
bool entryNames(archive_entry* e, std::vector<std::string>* names)
{
    const char* path = entryPath(e);
    return path && *path && pathNames(path, names);
}

std::string joinNames(const std::vector<std::string>& names, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            out += '/';
        out += names[i];
    }
    return out;
}

std::string joinNames(const std::vector<std::string>& names) { return joinNames(names, names.size()); }

// Whether the names and the folder's agree as far as both go: the entry may lie in the folder, or
// lead to it.
bool alongFolder(const std::vector<std::string>& names, const std::vector<std::string>& folder)
{
    for (std::size_t i = 0; i < std::min(names.size(), folder.size()); ++i)
        if (!AsciiEqualNoCase(names[i], folder[i]))
            return false;
    return true;
}

bool underFolder(const std::vector<std::string>& names, const std::vector<std::string>& folder)
{
    return names.size() >= folder.size() && alongFolder(names, folder);
}

// Why writing failed, from errno: no room, or anything else.
ImageCopyStatus writeError()
{
    return errno == ENOSPC || errno == EDQUOT ? ImageCopyStatus::NoSpace : ImageCopyStatus::WriteFailed;
}

// A new read-only file at path, filled by fill(fd): made read-only, and written through the
// descriptor opened for writing as it was made.
template <class Fill> ImageCopyStatus writeFile(const std::string& path, Fill&& fill)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0444);
    if (fd < 0)
        return errno == EEXIST || errno == ENAMETOOLONG ? ImageCopyStatus::Damaged : writeError();
    ImageCopyStatus status = fill(fd);
    if (::close(fd) != 0 && status == ImageCopyStatus::Copied)
        status = writeError();
    return status;
}

// One copy: the image read once from start to end, and a second time only for hard links whose
// data lay outside the folder.
class FolderCopy {
public:
    // readData: a dry run reads the files' data too, as a copy does.
    FolderCopy(const ImageInput& in, const std::vector<std::string>& folder, const std::string& dest,
               std::uint64_t maxBytes, const ImageCopyProgress& progress, bool readData = false)
        : in_(in), folder_(folder), dest_(dest), maxBytes_(maxBytes), progress_(progress), readData_(readData)
    {}

    ImageCopyResult run()
    {
        const Utf8Names utf8;
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
        bool usable = true; // read without a warning, and the only file of its name
        bool read = false; // its data was read in the first pass
        std::string copy; // where it was written below dest, if it was
    };

    bool dryRun() const { return dest_.empty(); }

    ImageCopyStatus firstPass()
    {
        const ImageCopyStatus s =
            readEntries(in_, [this](archive* a, archive_entry* e, bool warned) { return take(a, e, warned); });
        if (s == ImageCopyStatus::Copied && unread_ && !subfoldersComplete())
            return ImageCopyStatus::Damaged;
        return s;
    }

    // Claims the names below the folder for a file or a folder, with the folders above it: a name
    // given twice, a file where a folder must be or a name too long to write cannot be copied.
    bool claim(const std::vector<std::string>& names, bool folder)
    {
        if (joinNames(names).size() > kMaxPathBytes)
            return false;
        for (std::size_t i = folder_.size(); i < names.size(); ++i) {
            if (names[i].size() > kMaxNameBytes)
                return false;
            const bool last = i + 1 == names.size();
            const auto [it, added] = claimed_.try_emplace(joinNames(names, i + 1), !last || folder);
            if (!added && !(it->second && (!last || folder)))
                return false;
        }
        return true;
    }

    // A folder the reader left unread (its directory lies before its parent's, or past the end of
    // the image) comes as a warning without an entry. Folders count their subfolders, so the
    // folders along the path to the one copied and below it must each have shown all of theirs.
    bool subfoldersComplete() const
    {
        for (const auto& [key, expected] : subfolders_) {
            const auto seen = seenSubfolders_.find(key);
            if ((seen == seenSubfolders_.end() ? 0 : seen->second) != expected)
                return false;
        }
        return true;
    }

    void countFolder(const std::vector<std::string>& names, archive_entry* e)
    {
        if (!names.empty())
            ++seenSubfolders_[joinNames(names, names.size() - 1)];
        const unsigned links = archive_entry_nlink(e);
        if (alongFolder(names, folder_))
            subfolders_[joinNames(names)] += links >= 2 ? links - 2 : 0;
    }

    ImageCopyStatus take(archive* a, archive_entry* e, bool warned)
    {
        std::vector<std::string> names;
        const bool placed = entryNames(e, &names);
        if (warned && !placed && archive_entry_filetype(e) == 0 && !entryPath(e)) {
            unread_ = true;
            return ImageCopyStatus::Copied;
        }
        // An entry that cannot be placed (a name that climbs, or a name the reader could not
        // convert), or that the reader warned about, spoils the copy when it may lie in the
        // folder: what it stands for would be missing.
        if (!placed ? alongFolder(names, folder_) : warned && underFolder(names, folder_))
            return ImageCopyStatus::Damaged;
        if (!placed)
            return ImageCopyStatus::Copied;
        const mode_t type = archive_entry_filetype(e);
        const char* link = archive_entry_hardlink_utf8(e);
        if (!link)
            link = archive_entry_hardlink(e);
        const std::string key = joinNames(names);
        const std::uint64_t size =
            archive_entry_size_is_set(e) && archive_entry_size(e) > 0 ? std::uint64_t(archive_entry_size(e)) : 0;
        if (type == AE_IFREG && !link) {
            const auto [it, added] = files_.try_emplace(key, File{size, !warned, false, {}});
            if (!added)
                it->second.usable = false;
        }
        if (type == AE_IFDIR)
            countFolder(names, e);
        if (!underFolder(names, folder_))
            return ImageCopyStatus::Copied;
        if (type == AE_IFDIR || names.size() > folder_.size())
            found_ = true;
        if (type == AE_IFDIR) {
            if (!claim(names, true))
                return ImageCopyStatus::Damaged;
            return dryRun() ? ImageCopyStatus::Copied : makeFolders(names, names.size());
        }
        if (type != AE_IFREG || names.size() == folder_.size())
            return ImageCopyStatus::Copied; // links, devices; a file where the folder should be
        if (!claim(names, false))
            return ImageCopyStatus::Damaged;
        // A hard link's target, as named in the image: a file seen before, whole and unique.
        const File* target = nullptr;
        std::string targetKey;
        if (link) {
            std::vector<std::string> targetNames;
            if (!pathNames(link, &targetNames))
                return ImageCopyStatus::Damaged;
            targetKey = joinNames(targetNames);
            const auto it = files_.find(targetKey);
            if (it == files_.end() || !it->second.usable)
                return ImageCopyStatus::Damaged;
            target = &it->second;
        }
        const std::uint64_t fileSize = target ? target->size : size;
        if (fileSize > maxBytes_ - std::min(maxBytes_, result_.bytes))
            return ImageCopyStatus::TooLarge;
        result_.bytes += fileSize;
        ++result_.files;
        if (dryRun()) {
            if (result_.listed.size() < kMaxListedFiles)
                result_.listed.push_back(key);
            if (!readData_)
                return ImageCopyStatus::Copied;
            // Read as a copy would read it, and dropped.
            if (!target) {
                files_[key].read = true;
                return copyData(a, -1, size);
            }
            if (!target->read)
                pending_.insert({targetKey, std::string()});
            return ImageCopyStatus::Copied;
        }
        const ImageCopyStatus made = makeFolders(names, names.size() - 1);
        if (made != ImageCopyStatus::Copied)
            return made;
        const std::string path = dest_ + '/' + key;
        if (!target) {
            const ImageCopyStatus s = writeFile(path, [&](int fd) { return copyData(a, fd, size); });
            files_[key].copy = path;
            files_[key].read = true;
            return s;
        }
        if (!target->copy.empty()) {
            const std::string from = target->copy;
            return writeFile(path, [&](int fd) { return copyFile(from, fd); });
        }
        // The data lies outside the folder and has gone by: the second pass brings it.
        pending_.insert({targetKey, path});
        return writeFile(path, [](int) { return ImageCopyStatus::Copied; });
    }

    // The folders of dest/names[0..count), made where missing, each once (the names below the
    // folder were claimed for folders).
    ImageCopyStatus makeFolders(const std::vector<std::string>& names, std::size_t count)
    {
        std::string key;
        for (std::size_t i = 0; i < count; ++i) {
            if (i)
                key += '/';
            key += names[i];
            if (made_.count(key))
                continue;
            const std::string path = dest_ + '/' + key;
            if (::mkdir(path.c_str(), 0755) != 0) {
                if (errno == ENAMETOOLONG)
                    return ImageCopyStatus::Damaged;
                if (errno != EEXIST)
                    return writeError();
                struct stat st {};
                // Only folders made here are in dest (no link is ever written): lstat is what is there.
                if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                    return ImageCopyStatus::Damaged;
            }
            made_.insert(key);
        }
        return ImageCopyStatus::Copied;
    }

    ImageCopyStatus secondPass()
    {
        const ImageCopyStatus s =
            readEntries(in_, [this](archive* a, archive_entry* e, bool warned) { return fillPending(a, e, warned); });
        if (s != ImageCopyStatus::Copied)
            return s;
        // A link to a file that the image did not bring a second time.
        return pending_.empty() ? ImageCopyStatus::Copied : ImageCopyStatus::Damaged;
    }

    // The copies waiting for this entry's data, if any.
    ImageCopyStatus fillPending(archive* a, archive_entry* e, bool warned)
    {
        std::vector<std::string> names;
        if (archive_entry_filetype(e) != AE_IFREG || archive_entry_hardlink(e) || !entryNames(e, &names))
            return ImageCopyStatus::Copied;
        const auto [first, last] = pending_.equal_range(joinNames(names));
        if (first == last)
            return ImageCopyStatus::Copied;
        if (warned)
            return ImageCopyStatus::Damaged;
        const std::uint64_t size = files_[first->first].size;
        const std::string from = first->second;
        if (from.empty()) {
            // A dry run's: the data read and dropped.
            const ImageCopyStatus s = copyData(a, -1, size);
            pending_.erase(first, last);
            return s;
        }
        for (auto it = first; it != last; ++it) {
            // The empty read-only file that waited for the data, writable while it is filled.
            if (::chmod(it->second.c_str(), 0600) != 0)
                return writeError();
            const int fd = ::open(it->second.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                return writeError();
            ImageCopyStatus s = it == first ? copyData(a, fd, size) : copyFile(from, fd);
            if (::fchmod(fd, 0444) != 0 && s == ImageCopyStatus::Copied)
                s = writeError();
            if (::close(fd) != 0 && s == ImageCopyStatus::Copied)
                s = writeError();
            if (s != ImageCopyStatus::Copied)
                return s;
        }
        pending_.erase(first, last);
        return ImageCopyStatus::Copied;
    }

    void wrote(std::size_t n)
    {
        written_ += n;
        if (progress_)
            progress_(written_);
    }

    // The entry's data into fd (-1: read and dropped): all of it, exactly its size, or Damaged.
    ImageCopyStatus copyData(archive* a, int fd, std::uint64_t size)
    {
        std::uint64_t got = 0;
        for (;;) {
            const void* block = nullptr;
            std::size_t n = 0;
            la_int64_t offset = 0;
            const int r = archive_read_data_block(a, &block, &n, &offset);
            if (r == ARCHIVE_EOF)
                break;
            if (r != ARCHIVE_OK || offset < 0 || std::uint64_t(offset) != got || n > size - got)
                return ImageCopyStatus::Damaged;
            if (n == 0)
                continue;
            if (fd >= 0 && !writeAll(fd, {static_cast<const char*>(block), n}))
                return writeError();
            got += n;
            if (fd >= 0)
                wrote(n);
        }
        return got == size ? ImageCopyStatus::Copied : ImageCopyStatus::Damaged;
    }

    ImageCopyStatus copyFile(const std::string& from, int to)
    {
        const int fd = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return writeError();
        std::unique_ptr<char[]> buf(new char[kBlock]);
        ImageCopyStatus status = ImageCopyStatus::Copied;
        for (;;) {
            const ssize_t n = ::read(fd, buf.get(), kBlock);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                status = writeError();
            if (n <= 0)
                break;
            if (!writeAll(to, {buf.get(), std::size_t(n)})) {
                status = writeError();
                break;
            }
            wrote(std::size_t(n));
        }
        ::close(fd);
        return status;
    }

    ImageInput in_;
    const std::vector<std::string>& folder_;
    std::string dest_;
    std::uint64_t maxBytes_;
    const ImageCopyProgress& progress_;
    bool readData_;
    ImageCopyResult result_;
    std::uint64_t written_ = 0;
    bool found_ = false;
    bool unread_ = false; // a folder was left unread somewhere in the image
    std::map<std::string, unsigned> subfolders_, seenSubfolders_; // by folder, along the path and below
    std::map<std::string, File> files_; // every regular file of the image, by its names
    std::map<std::string, bool> claimed_; // names below the folder: true for a folder
    std::set<std::string> made_; // folders made below dest
    std::multimap<std::string, std::string> pending_; // link target -> copies waiting for its data
};

} // namespace

ImageCopyResult CopyImageFolder(const std::string& image, const std::vector<std::string>& folder,
                                const std::string& dest, std::uint64_t maxBytes, const ImageCopyProgress& progress)
{
    ImageInput in;
    in.file = &image;
    return FolderCopy(in, folder, dest, maxBytes, progress).run();
}

ImageCopyResult CopyImageFolderFromMemory(const void* data, std::size_t size, const std::vector<std::string>& folder,
                                          const std::string& dest, std::uint64_t maxBytes)
{
    ImageInput in;
    in.data = data;
    in.size = size;
    return FolderCopy(in, folder, dest, maxBytes, {}).run();
}

ImageCopyResult ListImageFolder(const std::string& image, const std::vector<std::string>& folder,
                                std::uint64_t maxBytes)
{
    ImageInput in;
    in.file = &image;
    return FolderCopy(in, folder, std::string(), maxBytes, {}, true).run();
}

ImageCopyResult ListImageFolderFromMemory(const void* data, std::size_t size, const std::vector<std::string>& folder,
                                          std::uint64_t maxBytes)
{
    ImageInput in;
    in.data = data;
    in.size = size;
    return FolderCopy(in, folder, std::string(), maxBytes, {}, true).run();
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
