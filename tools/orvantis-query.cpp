// orvantis-query: runs a Jet SQL statement against a catalogue and prints the result as TSV.
#include "actions/Volumes.h"
#include "catalogue/Schema.h"
#include "platform/disc/VolumeCache.h"
#include "platform/engine/Engine.h"
#include "platform/engine/EngineIsolation.h"
#include "platform/text/AsciiText.h"
#include "search/FilterBuilder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>

namespace {

void printUsage(std::FILE* out)
{
    std::fputs("Usage: orvantis-query CATALOGUE \"STATEMENT\"\n"
               "       orvantis-query --search CATALOGUE [CONDITIONS]\n"
               "\n"
               "Opens CATALOGUE (an Access .mdb file, or an SQLite database) read-only, runs the Jet SQL\n"
               "STATEMENT and prints the result as UTF-8 TSV: a header line with the field names, then one\n"
               "line per row. Null is printed as \\N; tab, carriage return, line feed, NUL and backslash\n"
               "inside values as \\t, \\r, \\n, \\0 and \\\\; binary values (OLE objects) as 0x followed by two\n"
               "hexadecimal digits per byte.\n"
               "On failure prints \"Err N： description\" to standard error and exits 1.\n"
               "\n"
               "--search runs the program's search: the conditions below are turned into the filter the\n"
               "search button builds, the statement is printed to standard error and the matching entries\n"
               "to standard output. Without conditions every entry is listed, as after a reset.\n"
               "  --word TEXT           keywords, separated by blanks (half-width or full-width)\n"
               "  --word-fields LIST    fields the keywords are matched against: any of\n"
               "                        game,maker,effect,file (default: all four; \"none\" for none)\n"
               "  --word-or             any keyword may match (default: every keyword must match)\n"
               "  --no-word             keyword condition off\n"
               "  --not TEXT            negative words: entries containing them are left out\n"
               "  --not-fields LIST     fields of the negative words (default: all four)\n"
               "  --not-or              join the negative words with OR (default: AND)\n"
               "  --no-not              negative-word condition off\n"
               "  --new all|new|old     the new mark: any, only \"♪\", or only entries without it\n"
               "  --platform NAME       a platform to keep (repeatable; default: every platform)\n"
               "  --no-platform         platform condition off (then only entries without a platform match)\n"
               "  --cd VOLUME           a CD volume, as listed (CD012) or its number (012)\n"
               "  --sort COLUMN         sort by a list column: 0-10 or a field name (gt_game ...)\n"
               "  --desc                sort descending\n"
               "  --open-from DRIVE     instead of the entries' fields, say where each entry's file would\n"
               "                        open from with DRIVE as the chosen drive folder: TSV of gt_cdno,\n"
               "                        gt_folder, gt_file, from (drive, folder: a volume's folder copy,\n"
               "                        image: a volume's disc image, outside: a path leading outside\n"
               "                        DRIVE), the drive folder, volume folder or image (the sheet of a\n"
               "                        BIN/CUE, CloneCD or Alcohol image), the path (inside the image, for\n"
               "                        an image) and whether the file is there: yes, no, damaged (an image\n"
               "                        that cannot be read whole, so nothing opens out of it) or large (its\n"
               "                        folder holds more than a copy may, 1 GiB)\n",
               out);
}

std::string escapeTsv(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\\': out += "\\\\"; break;
        case '\0': out += "\\0"; break;
        default: out += c;
        }
    }
    return out;
}

void printRecordset(orv::Recordset& rs)
{
    std::string out;
    for (int i = 0; i < rs.FieldCount(); ++i)
        out += (i ? "\t" : "") + escapeTsv(rs.FieldName(i));
    out += '\n';
    for (long r = 0; r < rs.RecordCount(); ++r) {
        for (int i = 0; i < rs.FieldCount(); ++i) {
            if (i)
                out += '\t';
            const orv::Value v = rs.ValueAt(r, i);
            out += v.isNull() ? "\\N" : escapeTsv(v.toText());
        }
        out += '\n';
        if (out.size() > (1u << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

int runStatement(orv::Database& db, const std::string& statement)
{
    auto rs = db.OpenRecordset(statement);
    printRecordset(*rs);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// Runs f; a failure is printed as "Err N： description" and gives exit code 1.
template <class F> int reportingFailures(F&& f)
{
    const auto report = [](int number, const char* description) {
        std::fprintf(stderr, "Err %d： %s\n", number, description);
    };
    try {
        return f();
    } catch (const orv::DbError& e) {
        report(e.number, e.what());
    } catch (const std::bad_alloc&) {
        report(orv::dberr::OutOfMemory, orv::DbError::outOfMemory().what());
    } catch (const std::exception& e) {
        report(orv::dberr::EngineFailure, e.what());
    }
    return 1;
}

int fieldMask(const std::string& list, bool* ok)
{
    if (list == "none")
        return 0;
    static const char* names[] = {"game", "maker", "effect", "file"};
    int mask = 0;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, comma - start);
        bool found = false;
        for (int i = 0; i < 4; ++i)
            if (item == names[i]) {
                mask |= 1 << i;
                found = true;
            }
        if (!found)
            *ok = false;
        start = comma + 1;
    }
    return mask;
}

void applyMask(std::array<int, 4>& fields, int mask)
{
    for (int i = 0; i < 4; ++i)
        fields[static_cast<size_t>(i)] = (mask >> i) & 1;
}

int fieldIndex(orv::Recordset& rs, std::string_view name)
{
    for (int i = 0; i < rs.FieldCount(); ++i)
        if (rs.FieldName(i) == name)
            return i;
    return -1;
}

// Whether a dry run of the image's folder holds the file: what a copy would hold.
std::string openFromImage(const orv::ImageCopyResult& listing, const std::string& path)
{
    switch (listing.status) {
    case orv::ImageCopyStatus::Copied: break;
    case orv::ImageCopyStatus::TooLarge: return "large";
    case orv::ImageCopyStatus::FolderMissing: return "no";
    default: return "damaged";
    }
    for (const std::string& listed : listing.listed)
        if (orv::AsciiEqualNoCase(listed, path))
            return "yes";
    return "no";
}

// Where each entry's file opens from under the drive folder: the drive folder itself, or the copy
// of the entry's volume. Images are read by the child reader without copying anything.
void printOpenFrom(orv::Recordset& rs, const std::string& drive, const std::string& reader)
{
    const int cdno = fieldIndex(rs, "gt_cdno"), folder = fieldIndex(rs, "gt_folder"), file = fieldIndex(rs, "gt_file");
    const orv::VolumeCache images(reader, std::string());
    std::map<std::pair<std::string, std::vector<std::string>>, orv::ImageCopyResult> checked;
    std::string out = "gt_cdno\tgt_folder\tgt_file\tfrom\tvolume\tpath\tfound\n";
    auto text = [&](long r, int i) { return i < 0 ? std::string() : rs.ValueAt(r, i).toText(); };
    for (long r = 0; r < rs.RecordCount(); ++r) {
        const std::string fileName = text(r, file);
        const std::optional<orv::EntryPlace> place = orv::LocateEntry(drive, text(r, cdno), text(r, folder), &fileName);
        std::string from = "outside", volume, path;
        std::string found = "no";
        if (place) {
            volume = place->volume;
            path = place->path;
            found = place->exists ? "yes" : "no";
            switch (place->origin) {
            case orv::EntryOrigin::Drive: from = "drive"; break;
            case orv::EntryOrigin::VolumeFolder: from = "folder"; break;
            case orv::EntryOrigin::VolumeImage: {
                from = "image";
                const auto key = std::make_pair(place->volume, place->imageFolder);
                auto it = checked.find(key);
                if (it == checked.end())
                    it = checked.emplace(key, images.check(place->volume, place->imageFolder)).first;
                found = openFromImage(it->second, path);
                break;
            }
            }
        }
        for (const std::string& v : {text(r, cdno), text(r, folder), fileName, from, volume, path})
            out += escapeTsv(v) + '\t';
        out += found + '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// Catalogue files are read by a child process of this same program.
orv::IsolatedCatalogue readerOf(const char* argv0)
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return orv::IsolatedCatalogue(ec ? std::string(argv0) : self.string());
}

int runSearch(int argc, char** argv)
{
    if (argc < 3) {
        printUsage(stderr);
        return 2;
    }
    const std::string catalogue = argv[2];
    orv::SearchConditions c;
    bool platformsGiven = false;
    std::string sortText;
    bool descending = false;
    std::string openFrom;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "orvantis-query: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        bool ok = true;
        if (a == "--word")
            c.keywordText = value();
        else if (a == "--word-fields")
            applyMask(c.keywordFields, fieldMask(value(), &ok));
        else if (a == "--word-or")
            c.keywordAnd = false;
        else if (a == "--no-word")
            c.keywordCheck = 0;
        else if (a == "--not")
            c.negativeText = value();
        else if (a == "--not-fields")
            applyMask(c.negativeFields, fieldMask(value(), &ok));
        else if (a == "--not-or")
            c.negativeAnd = false;
        else if (a == "--no-not")
            c.negativeCheck = 0;
        else if (a == "--new") {
            const std::string v = value();
            if (v == "all")
                c.newMark = 0;
            else if (v == "new")
                c.newMark = 1;
            else if (v == "old")
                c.newMark = 2;
            else
                ok = false;
        } else if (a == "--platform") {
            c.selectedPlatforms.push_back(value());
            platformsGiven = true;
        } else if (a == "--no-platform")
            c.platformCheck = 0;
        else if (a == "--cd") {
            std::string v = value();
            c.cdFilter = (v == "ALL") ? "" : (v.rfind("CD", 0) == 0 ? v.substr(2) : v);
        } else if (a == "--sort") {
            const std::string v = value();
            int column = -1;
            if (!v.empty() && v.find_first_not_of("0123456789") == std::string::npos && v.size() <= 2)
                column = std::stoi(v);
            for (size_t k = 0; k < orv::schema::kListColumns; ++k)
                if (v == orv::schema::kFields[k])
                    column = static_cast<int>(k);
            if (column < 0 || column >= orv::schema::kListColumns)
                ok = false;
            else
                sortText = std::string(orv::schema::kSortTexts[static_cast<size_t>(column)]);
        } else if (a == "--desc")
            descending = true;
        else if (a == "--open-from")
            openFrom = value();
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "orvantis-query: unknown option or value: %s\n", a.c_str());
            return 2;
        }
    }
    if (!sortText.empty() && descending)
        sortText += " DESC";
    const std::string table(orv::schema::kTableName);
    return reportingFailures([&] {
        auto db = orv::OpenDatabase(readerOf(argv[0]), catalogue, false, true, "");
        if (!platformsGiven) {
            // As the program starts: every platform of the catalogue selected.
            auto pf = db->OpenRecordset(orv::schema::platformListStatement(table));
            for (long r = 0; r < pf->RecordCount(); ++r)
                c.selectedPlatforms.push_back(pf->ValueAt(r, 0).toText());
        }
        const std::string statement = "SELECT * FROM " + table + orv::BuildFilter(c) + sortText + ";";
        std::fprintf(stderr, "%s\n", statement.c_str());
        if (!openFrom.empty()) {
            auto rs = db->OpenRecordset(statement);
            printOpenFrom(*rs, openFrom, readerOf(argv[0]).exe());
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        return runStatement(*db, statement);
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && !std::strcmp(argv[1], orv::kReadCatalogueSwitch))
        return orv::ServeCatalogueRead(argv[2], 1);
    // So are disc images.
    if (argc >= 4 && !std::strcmp(argv[1], orv::kCopyImageFolderSwitch))
        return orv::ServeImageFolderCopy(argc, argv);
    if (argc == 3 && !std::strcmp(argv[1], orv::kTidyCacheSwitch))
        return orv::ServeCacheTidy(argv[2]);
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        printUsage(stdout);
        return 0;
    }
    if (argc >= 2 && !std::strcmp(argv[1], "--search"))
        return runSearch(argc, argv);
    if (argc != 3) {
        printUsage(stderr);
        return 2;
    }
    return reportingFailures([&] {
        auto db = orv::OpenDatabase(readerOf(argv[0]), argv[1], false, true, "");
        return runStatement(*db, argv[2]);
    });
}
