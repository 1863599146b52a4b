#include "support/IsoImage.h"

#include "support/TestSupport.h"

#include <archive.h>
#include <archive_entry.h>

#include <set>
#include <stdexcept>

namespace orvtest {

void writeIsoImage(const std::string& path, const std::vector<IsoEntry>& entries, const std::string& options)
{
    archive* a = archive_write_new();
    archive_write_set_format_iso9660(a);
    if (!options.empty() && archive_write_set_options(a, options.c_str()) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
    if (archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
    // The writer pairs a hard link with its target by name among the files that have links.
    std::set<std::string> linked;
    for (const IsoEntry& entry : entries)
        if (entry.kind == IsoEntry::Kind::HardLink)
            linked.insert(entry.data);
    for (const IsoEntry& entry : entries) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, entry.path.c_str());
        archive_entry_set_mtime(e, 883612800, 0);
        switch (entry.kind) {
        case IsoEntry::Kind::Folder:
            archive_entry_set_filetype(e, AE_IFDIR);
            archive_entry_set_perm(e, 0755);
            break;
        case IsoEntry::Kind::File:
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_perm(e, 0644);
            archive_entry_set_size(e, la_int64_t(entry.data.size()));
            archive_entry_set_nlink(e, linked.count(entry.path) ? 2 : 1);
            break;
        case IsoEntry::Kind::Link:
            archive_entry_set_filetype(e, AE_IFLNK);
            archive_entry_set_perm(e, 0777);
            archive_entry_set_symlink(e, entry.data.c_str());
            break;
        case IsoEntry::Kind::HardLink:
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_perm(e, 0644);
            archive_entry_set_hardlink(e, entry.data.c_str());
            archive_entry_set_nlink(e, 2);
            archive_entry_set_size(e, 0);
            break;
        }
        if (archive_write_header(a, e) != ARCHIVE_OK)
            throw std::runtime_error(archive_error_string(a));
        if (entry.kind == IsoEntry::Kind::File && !entry.data.empty())
            archive_write_data(a, entry.data.data(), entry.data.size());
        archive_entry_free(e);
    }
    if (archive_write_close(a) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
    archive_write_free(a);
}

int patchFileBytes(const std::string& path, const std::string& from, const std::string& to)
{
    if (from.size() != to.size() || from.empty())
        throw std::invalid_argument("patchFileBytes: lengths differ");
    std::string bytes = readFileBytes(path);
    int n = 0;
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size())) {
        bytes.replace(at, from.size(), to);
        ++n;
    }
    writeFileBytes(path, bytes);
    return n;
}

} // namespace orvtest
