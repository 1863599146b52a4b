#include "platform/disc/SectorImage.h"

#include "platform/disc/AlcoholMds.h"
#include "platform/disc/CloneCd.h"
#include "platform/disc/CueSheet.h"
#include "platform/disc/NeroImage.h"
#include "platform/files/FileNames.h"
#include "platform/text/AsciiText.h"
#include "platform/text/Cp932.h"
#include "platform/text/Utf8.h"

#include <archive.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kDescriptorSector = 16;

struct Extension {
    std::string_view text;
    ImageFormat format;
};
constexpr Extension kExtensions[] = {
    {".iso", ImageFormat::Iso},     {".cue", ImageFormat::CueSheet}, {".ccd", ImageFormat::CloneCd},
    {".mds", ImageFormat::Alcohol}, {".nrg", ImageFormat::Nero},     {".bin", ImageFormat::RawData},
    {".img", ImageFormat::RawData}, {".mdf", ImageFormat::RawData},
};

bool isValidUtf8(std::string_view s)
{
    while (!s.empty()) {
        char32_t cp;
        const std::size_t n = utf8::decode(s, cp);
        if (n == 0)
            return false;
        s.remove_prefix(n);
    }
    return true;
}

// Reads up to n bytes at offset; short only at the file's end. false on a read error.
bool readAt(int fd, char* buf, std::size_t n, std::uint64_t offset, std::size_t* got)
{
    *got = 0;
    while (*got < n) {
        const ssize_t r = ::pread(fd, buf + *got, n - *got, off_t(offset + *got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return false;
        if (r == 0)
            break;
        *got += std::size_t(r);
    }
    return true;
}

// An open file: its descriptor, closed when dropped, and its size.
class File {
public:
    // Not blocking: a pipe put where a file was named is refused, never waited on.
    explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK))
    {
        struct stat st {};
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
        size_ = fd_ >= 0 ? std::uint64_t(st.st_size) : 0;
    }
    ~File()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    bool ok() const { return fd_ >= 0; }
    std::uint64_t size() const { return size_; }

    // Bytes [offset, offset + n) or as many as there are; false on a read error.
    bool read(std::uint64_t offset, std::size_t n, std::string* out) const
    {
        out->resize(n);
        std::size_t got = 0;
        if (!readAt(fd_, out->data(), n, offset, &got))
            return false;
        out->resize(got);
        return true;
    }

private:
    int fd_;
    std::uint64_t size_ = 0;
};

// A whole sheet, refused when larger than any sheet is.
bool readSheet(const std::string& path, std::string* text)
{
    const File f(path);
    return f.ok() && f.size() <= kMaxSheetBytes && f.read(0, std::size_t(f.size()), text) && text->size() == f.size();
}

std::string folderOf(const std::string& path)
{
    const std::string folder = fs::path(path).parent_path().string();
    return folder.empty() ? std::string(".") : folder;
}

std::string baseNameOf(const std::string& path) { return fs::path(path).stem().string(); }

FileLookup besideOf(const std::string& sheet)
{
    return [dir = folderOf(sheet)](std::string_view name) { return FindBeside(dir, name); };
}

// The first data track's user data as one stream of 2048-byte sectors, for libarchive.
class SectorStream {
public:
    SectorStream(int fd, DataTrack track)
        : fd_(fd), track_(std::move(track)), size_(track_.sectors * kUserDataSize),
          out_(new char[kSectorsPerRead * kUserDataSize]),
          raw_(plain() ? nullptr : new char[kSectorsPerRead * track_.sectorSize])
    {}
    ~SectorStream() { ::close(fd_); }
    SectorStream(const SectorStream&) = delete;
    SectorStream& operator=(const SectorStream&) = delete;

    la_ssize_t read(archive* a, const void** buffer)
    {
        if (pos_ >= size_)
            return 0;
        const std::uint64_t sector = pos_ / kUserDataSize, within = pos_ % kUserDataSize;
        const std::size_t count = std::size_t(std::min<std::uint64_t>(kSectorsPerRead, track_.sectors - sector));
        const std::uint64_t at = track_.start + sector * track_.sectorSize;
        const std::size_t rawBytes = count * track_.sectorSize;
        std::size_t got = 0;
        if (!readAt(fd_, plain() ? out_.get() : raw_.get(), rawBytes, at, &got) || got != rawBytes) {
            archive_set_error(a, EIO, "disc image: cannot read sectors %llu to %llu",
                              static_cast<unsigned long long>(sector), static_cast<unsigned long long>(sector + count));
            return ARCHIVE_FATAL;
        }
        if (!plain())
            for (std::size_t i = 0; i < count; ++i)
                std::memcpy(out_.get() + i * kUserDataSize, raw_.get() + i * track_.sectorSize + track_.dataOffset,
                            kUserDataSize);
        *buffer = out_.get() + within;
        const std::uint64_t n = count * kUserDataSize - within;
        pos_ += n;
        return la_ssize_t(n);
    }

    la_int64_t skip(la_int64_t request)
    {
        const std::uint64_t n =
            std::min<std::uint64_t>(std::uint64_t(std::max<la_int64_t>(request, 0)), size_ - std::min(size_, pos_));
        pos_ += n;
        return la_int64_t(n);
    }

    la_int64_t seek(la_int64_t offset, int whence)
    {
        const la_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? la_int64_t(pos_) : la_int64_t(size_);
        if ((offset < 0 && offset < -base) || (offset > 0 && offset > INT64_MAX - base))
            return ARCHIVE_FATAL;
        pos_ = std::uint64_t(base + offset);
        return la_int64_t(pos_);
    }

private:
    static constexpr std::size_t kSectorsPerRead = 32;
    bool plain() const { return track_.sectorSize == kUserDataSize; }

    int fd_;
    DataTrack track_;
    std::uint64_t size_;
    std::uint64_t pos_ = 0;
    std::unique_ptr<char[]> out_, raw_;
};

SectorStream* streamOf(void* client) { return static_cast<SectorStream*>(client); }

} // namespace

ImageFormat ImageFormatOfName(std::string_view name)
{
    for (const Extension& e : kExtensions)
        if (name.size() > e.text.size() && AsciiEqualNoCase(name.substr(name.size() - e.text.size()), e.text))
            return e.format;
    return ImageFormat::None;
}

std::optional<std::uint32_t> UserDataOffset(TrackMode mode, std::uint32_t sectorSize)
{
    if (mode == TrackMode::Audio)
        return std::nullopt;
    switch (sectorSize) {
    case 2048: return 0;
    case 2336: return mode == TrackMode::Mode2 ? std::optional<std::uint32_t>(8) : std::nullopt;
    case 2352:
    case 2448: return mode == TrackMode::Mode1 ? 16 : 24;
    default: return std::nullopt;
    }
}

bool TrackFits(const DataTrack& t, std::uint64_t fileSize)
{
    const std::optional<std::uint32_t> m1 = UserDataOffset(TrackMode::Mode1, t.sectorSize),
                                       m2 = UserDataOffset(TrackMode::Mode2, t.sectorSize);
    if ((t.dataOffset != m1 && t.dataOffset != m2) || t.sectors <= kDescriptorSector || t.start > fileSize)
        return false;
    return t.sectors <= (fileSize - t.start) / t.sectorSize;
}

bool IsPlainFileName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".."
        && name.find_first_of(std::string_view("/\\:\0", 4)) == name.npos;
}

std::optional<NamedFile> FindBeside(const std::string& dir, std::string_view name)
{
    if (!IsPlainFileName(name))
        return std::nullopt;
    std::vector<std::string> tries{std::string(name)};
    // Sheets written on Japanese Windows name their files in CP932.
    if (!isValidUtf8(name))
        tries.push_back(cp932ToUtf8(name));
    for (const std::string& tried : tries) {
        // The name as written first: the folder is listed only for a name in another case.
        std::string path = dir + '/' + tried;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            const std::vector<std::string> found = NamesIgnoringCase(dir, tried, 1);
            if (found.empty())
                continue;
            path = dir + '/' + found.front();
            if (::lstat(path.c_str(), &st) != 0)
                return std::nullopt;
        }
        if (IsSheetFormat(ImageFormatOfName(path)))
            continue;
        if (S_ISLNK(st.st_mode)) {
            std::error_code ec;
            if (fs::canonical(path, ec).parent_path() != fs::canonical(dir, ec) || ec || ::stat(path.c_str(), &st) != 0)
                return std::nullopt;
        }
        if (!S_ISREG(st.st_mode))
            return std::nullopt;
        return NamedFile{path, std::uint64_t(st.st_size)};
    }
    return std::nullopt;
}

bool DetectRawTrack(std::string_view head, std::uint64_t fileSize, DataTrack* track)
{
    static const std::string_view kSync("\x00\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x00", 12);
    const auto descriptorAt = [&](std::uint32_t size, std::uint32_t offset) {
        const std::uint64_t at = kDescriptorSector * size + offset;
        return at + 6 <= head.size() && head.substr(at + 1, 5) == "CD001";
    };
    const auto take = [&](std::uint32_t size, std::uint32_t offset) {
        DataTrack t;
        t.file = track->file;
        t.sectorSize = size;
        t.dataOffset = offset;
        t.sectors = fileSize / size;
        if (!TrackFits(t, fileSize))
            return false;
        *track = std::move(t);
        return true;
    };
    if (descriptorAt(2048, 0))
        return take(2048, 0);
    for (const std::uint32_t size : {2352u, 2448u}) {
        const std::uint64_t at = kDescriptorSector * size;
        if (at + 16 > head.size() || head.substr(at, 12) != kSync)
            continue;
        const std::optional<std::uint32_t> offset =
            UserDataOffset(head[at + 15] == 2 ? TrackMode::Mode2 : TrackMode::Mode1, size);
        if (descriptorAt(size, *offset))
            return take(size, *offset);
    }
    if (descriptorAt(2336, 8))
        return take(2336, 8);
    return false;
}

bool FindDataTrack(const std::string& image, DataTrack* track)
{
    const ImageFormat format = ImageFormatOfName(image);
    DataTrack t;
    t.file = image;
    if (IsSheetFormat(format)) {
        std::string text;
        if (!readSheet(image, &text))
            return false;
        const FileLookup lookup = besideOf(image);
        const bool ok = format == ImageFormat::CueSheet ? ParseCueSheet(text, lookup, &t)
            : format == ImageFormat::CloneCd            ? ParseCloneCd(text, baseNameOf(image), lookup, &t)
                                                        : ParseAlcoholMds(text, baseNameOf(image), lookup, &t);
        if (!ok)
            return false;
        *track = std::move(t);
        return true;
    }
    const File f(image);
    if (!f.ok())
        return false;
    std::string bytes;
    bool ok = false;
    if (format == ImageFormat::Nero) {
        const std::uint64_t n = std::min<std::uint64_t>(f.size(), kMaxSheetBytes);
        ok = f.read(f.size() - n, std::size_t(n), &bytes) && bytes.size() == n && ParseNeroImage(bytes, f.size(), &t);
    } else {
        // Enough for sector 16 of the largest sectors.
        ok = f.read(0, 17 * 2448, &bytes) && DetectRawTrack(bytes, f.size(), &t);
    }
    if (ok)
        *track = std::move(t);
    return ok;
}

std::vector<std::string> SheetDataFiles(const std::string& sheet)
{
    const ImageFormat format = ImageFormatOfName(sheet);
    std::vector<std::string> names;
    std::string text;
    if (format == ImageFormat::CloneCd)
        names = CloneCdFileNames(baseNameOf(sheet));
    else if (IsSheetFormat(format) && readSheet(sheet, &text))
        names =
            format == ImageFormat::CueSheet ? CueSheetFileNames(text) : AlcoholMdsFileNames(text, baseNameOf(sheet));
    std::vector<std::string> paths;
    const std::string dir = folderOf(sheet);
    for (const std::string& name : names)
        if (const std::optional<NamedFile> found = FindBeside(dir, name))
            paths.push_back(found->path);
    return paths;
}

int OpenSectorImage(archive* a, const std::string& image)
{
    DataTrack track;
    if (!FindDataTrack(image, &track)) {
        archive_set_error(a, EINVAL, "disc image: no data track to read");
        return ARCHIVE_FATAL;
    }
    File data(track.file);
    if (!data.ok() || !TrackFits(track, data.size())) {
        archive_set_error(a, EINVAL, "disc image: the data track's file has changed");
        return ARCHIVE_FATAL;
    }
    // Owned by the archive from here: its close callback drops it, whether the open succeeds or not.
    auto* stream = new SectorStream(data.release(), std::move(track));
    archive_read_set_callback_data(a, stream);
    archive_read_set_read_callback(
        a, [](archive* ar, void* client, const void** buffer) { return streamOf(client)->read(ar, buffer); });
    archive_read_set_skip_callback(
        a, [](archive*, void* client, la_int64_t request) { return streamOf(client)->skip(request); });
    archive_read_set_seek_callback(a, [](archive*, void* client, la_int64_t offset, int whence) {
        return streamOf(client)->seek(offset, whence);
    });
    archive_read_set_close_callback(a, [](archive*, void* client) {
        delete streamOf(client);
        return ARCHIVE_OK;
    });
    return archive_read_open1(a);
}

} // namespace orv
