// orvantis-query: runs a Jet SQL statement against a catalogue and prints the result as TSV.
#include "platform/Engine.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

void printUsage(std::FILE* out)
{
    std::fputs(
        "Usage: orvantis-query CATALOGUE \"STATEMENT\"\n"
        "\n"
        "Opens CATALOGUE (an Access .mdb file, or an SQLite database) read-only, runs the Jet SQL\n"
        "STATEMENT and prints the result as UTF-8 TSV: a header line with the field names, then one\n"
        "line per row. Null is printed as \\N; tab, carriage return, line feed and backslash inside\n"
        "values as \\t, \\r, \\n and \\\\.\n"
        "On failure prints \"Err N： description\" to standard error and exits 1.\n",
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

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        printUsage(stdout);
        return 0;
    }
    if (argc != 3) {
        printUsage(stderr);
        return 2;
    }
    try {
        auto db = orv::OpenDatabase(argv[1], false, true, "");
        auto rs = db->OpenRecordset(argv[2]);
        printRecordset(*rs);
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const orv::DbError& e) {
        std::fprintf(stderr, "Err %d： %s\n", e.number, e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Err %d： %s\n", orv::dberr::EngineFailure, e.what());
        return 1;
    }
}
