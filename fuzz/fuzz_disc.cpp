// The disc image reader on any bytes. Whatever the image holds, a copy must write nothing but
// folders and read-only regular files, all of them inside the folder it was given, and never more
// file bytes than the limit.
// Input: one byte choosing the folder to copy (low two bits) and a dry run (bit 2), then the image.
#include "platform/disc/DiscImage.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
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

// Checks what a copy left, then clears it: only the folder "copy" may be in base.
void checkAndClear(const fs::path& dest, bool dryRun)
{
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
        }
    }
    if (bytes > kLimit)
        std::abort();
    std::error_code ec;
    fs::remove_all(dest, ec);
    fs::create_directory(dest);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const std::vector<std::string> folders[] = {{}, {"UTIL"}, {"util", "ss", "point"}, {"A"}};
    const fs::path dest = base() / "copy";
    static const bool made = fs::create_directories(dest) || true;
    (void)made;
    const bool dryRun = data[0] & 4;
    const orv::ImageCopyResult r = orv::CopyImageFolderFromMemory(data + 1, size - 1, folders[data[0] & 3],
                                                                  dryRun ? std::string() : dest.string(), kLimit);
    if (r.bytes > kLimit || r.listed.size() > orv::kMaxListedFiles)
        std::abort();
    checkAndClear(dest, dryRun);
    return 0;
}
