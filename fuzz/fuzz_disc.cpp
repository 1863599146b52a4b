// The disc image reader on any bytes. Whatever the image holds, a copy must write nothing but
// folders and read-only regular files, all of them inside the folder it was given, and never more
// file bytes than the limit; the dry run (the listing orvantis-query and the size the program
// makes room for come from) refuses what the copy refuses and lists what the copy holds, and its
// listing comes through the child's output as it went in.
// Input: one byte, then the image: the folder to copy (low two bits), dry runs alone (bit 2: the
// one that reads the data, against the one that reads the directory only), or (bit 3) the rest
// taken as the child's output rather than an image.
#include "platform/disc/DiscImage.h"
#include "platform/disc/ImageReader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kLimit = 1 << 20;

const fs::path& base()
{
    static const fs::path dir = [] {
        char tmpl[] = "/tmp/fuzz_disc.XXXXXX";
        if (!::mkdtemp(tmpl))
            std::abort();
        return fs::path(tmpl);
    }();
    return dir;
}

// Checks what a copy left, then clears it: only the folder "copy" may be in base. The regular
// files written, as paths below dest.
std::set<std::string> checkAndClear(const fs::path& dest, bool dryRun, std::uint64_t* written)
{
    std::set<std::string> files;
    std::uint64_t bytes = 0;
    for (const auto& e : fs::directory_iterator(base()))
        if (e.path() != dest)
            std::abort(); // written beside the copy
    for (const auto& e : fs::recursive_directory_iterator(dest)) {
        const fs::file_status st = e.symlink_status();
        if (dryRun || !(fs::is_directory(st) || fs::is_regular_file(st)))
            std::abort();
        if (fs::is_regular_file(st)) {
            if ((st.permissions() & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write))
                != fs::perms::none)
                std::abort();
            bytes += e.file_size();
            files.insert(fs::relative(e.path(), dest).generic_string());
        }
    }
    if (bytes > kLimit)
        std::abort();
    std::error_code ec;
    fs::remove_all(dest, ec);
    fs::create_directory(dest);
    *written = bytes;
    return files;
}

// The child's output as its parent reads it: nothing it says may take the parent further than it
// holds.
void readChildOutput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string lines = text;
    orv::ReaderNews news;
    orv::TakeReaderLines(&lines, &news);
    orv::ImageCopyResult listing;
    if (orv::ParseReaderListing(text, &listing) && listing.listed.size() > orv::kMaxListedFiles)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    if (data[0] & 8) {
        readChildOutput(data + 1, size - 1);
        return 0;
    }
    static const std::vector<std::string> folders[] = {{}, {"UTIL"}, {"util", "ss", "point"}, {"A"}};
    const std::vector<std::string>& folder = folders[data[0] & 3];
    const fs::path dest = base() / "copy";
    static const bool made = fs::create_directories(dest) || true;
    (void)made;
    const orv::ImageCopyResult dry = orv::ListImageFolderFromMemory(data + 1, size - 1, folder, kLimit);
    if (dry.bytes > kLimit || dry.listed.size() > orv::kMaxListedFiles)
        std::abort();
    if (dry.status == orv::ImageCopyStatus::Copied) {
        orv::ImageCopyResult back;
        if (!orv::ParseReaderListing(orv::ReaderListingText(dry), &back) || back.listed != dry.listed
            || back.bytes != dry.bytes || back.files != dry.files)
            std::abort();
    }
    std::uint64_t written = 0;
    if (data[0] & 4) {
        // The directory alone (a copy's first pass): reading the data can only refuse more.
        const orv::ImageCopyResult quick =
            orv::CopyImageFolderFromMemory(data + 1, size - 1, folder, std::string(), kLimit);
        if (quick.bytes > kLimit || quick.listed.size() > orv::kMaxListedFiles
            || (dry.status == orv::ImageCopyStatus::Copied
                && (quick.status != dry.status || quick.listed != dry.listed)))
            std::abort();
        checkAndClear(dest, true, &written);
        return 0;
    }
    const orv::ImageCopyResult copy = orv::CopyImageFolderFromMemory(data + 1, size - 1, folder, dest.string(), kLimit);
    const std::set<std::string> files = checkAndClear(dest, false, &written);
    if (copy.status == orv::ImageCopyStatus::WriteFailed || copy.status == orv::ImageCopyStatus::NoSpace)
        return 0; // the disk's doing, not the image's
    if (copy.status != dry.status)
        std::abort();
    if (copy.status == orv::ImageCopyStatus::Copied && dry.files <= orv::kMaxListedFiles
        && (files != std::set<std::string>(dry.listed.begin(), dry.listed.end()) || written != dry.bytes
            || copy.bytes != dry.bytes))
        std::abort();
    return 0;
}
