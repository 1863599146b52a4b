// Arbitrary bytes as an SQLite-format catalogue, read the way the program reads every catalogue:
// the child reader's side (ServeCatalogueRead) writes its stream, the program's side decodes it
// into the engine, and the program's statements run over the result. Only the process boundary
// is left out, so that a fault anywhere on the way shows up here. Every outcome is an open
// database or a DbError with a number and a description.
#include "platform/engine/Engine.h"
#include "platform/engine/EngineIsolation.h"
#include "platform/reader/CatalogueStream.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::string& workDir()
{
    static const std::string dir = [] {
        char tmpl[] = "/tmp/fuzz_sqlite.XXXXXX";
        if (!::mkdtemp(tmpl))
            std::abort();
        static const std::string d = tmpl;
        std::atexit([] { std::filesystem::remove_all(d); });
        return d;
    }();
    return dir;
}

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// The stream as the child writes it, read back from a memory file.
class FileInput final : public orv::StreamInput {
public:
    explicit FileInput(int fd) : fd_(fd) {}
    std::size_t read(char* buf, std::size_t capacity) override
    {
        const ssize_t n = ::read(fd_, buf, capacity);
        return n < 0 ? 0 : std::size_t(n);
    }

private:
    int fd_;
};

// The child reader and the program's decoding in one process.
class Loopback final : public orv::CatalogueSource {
public:
    void read(const std::string& path, orv::TableSink& sink) const override
    {
        orv::checkCatalogueFile(path);
        const int fd = ::memfd_create("stream", MFD_CLOEXEC);
        if (fd < 0)
            std::abort();
        orv::ServeCatalogueRead(path, fd);
        const off_t size = ::lseek(fd, 0, SEEK_CUR);
        ::lseek(fd, 0, SEEK_SET);
        FileInput in(fd);
        try {
            orv::decodeCatalogueStream(in, sink, path, orv::maxStreamBytes(std::uint64_t(size)));
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
    }
};

void checkError(const orv::DbError& e)
{
    if (e.number <= 0 || e.description().empty())
        finding("error without number or description");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = workDir() + "/tevox20.mdb";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    std::unique_ptr<orv::Database> db;
    try {
        db = orv::OpenDatabase(Loopback(), path);
    } catch (const orv::DbError& e) {
        checkError(e);
        return 0;
    }
    // The statements the program runs at the open, and a look at every value.
    for (const char* statement :
         {"SELECT * FROM tevoxB;", "SELECT gt_cdno, COUNT(*) as cnt FROM tevoxB GROUP BY gt_cdno ORDER BY gt_cdno ;",
          "SELECT gt_pf FROM tevoxB GROUP BY gt_pf ORDER BY gt_pf;",
          "SELECT * FROM tevoxB WHERE (gt_str1+' '+gt_str2 LIKE '*max*' OR gt_str1+' '+gt_str2 LIKE '*ライフ*');"}) {
        try {
            auto rs = db->OpenRecordset(statement);
            for (long r = 0; r < rs->RecordCount(); ++r)
                for (int c = 0; c < rs->FieldCount(); ++c)
                    (void)rs->ValueAt(r, c).toText();
        } catch (const orv::DbError& e) {
            checkError(e);
        }
    }
    return 0;
}
