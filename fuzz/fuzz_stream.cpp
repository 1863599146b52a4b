// Arbitrary bytes as the child reader's stream, decoded by the program's side into the engine:
// whatever a crashed, confused or hostile reader sends, the program ends up with a database it
// can query, or a DbError with a number and a description.
#include "platform/engine/Engine.h"
#include "platform/reader/CatalogueStream.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// The input in pieces whose sizes come from its first byte, so that records straddle reads.
class BytesInput final : public orv::StreamInput {
public:
    BytesInput(const uint8_t* data, std::size_t size, std::size_t piece) : data_(data), size_(size), piece_(piece) {}
    std::size_t read(char* buf, std::size_t capacity) override
    {
        const std::size_t n = std::min({capacity, piece_, size_ - at_});
        std::memcpy(buf, data_ + at_, n);
        at_ += n;
        return n;
    }

private:
    const uint8_t* data_;
    std::size_t size_, piece_, at_ = 0;
};

class StreamSource final : public orv::CatalogueSource {
public:
    StreamSource(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    void read(const std::string& path, orv::TableSink& sink) const override
    {
        if (size_ == 0)
            throw orv::DbError(orv::dberr::UnrecognizedFormat, "empty");
        BytesInput in(data_ + 1, size_ - 1, 1 + data_[0] % 64 * 97);
        // The bound a file the size of the input gets.
        orv::decodeCatalogueStream(in, sink, path, orv::maxStreamBytes(size_));
    }

private:
    const uint8_t* data_;
    std::size_t size_;
};

void checkError(const orv::DbError& e)
{
    if (e.number <= 0 || e.description().empty())
        finding("error without number or description");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<orv::Database> db;
    try {
        db = orv::OpenDatabase(StreamSource(data, size), "stream.mdb");
    } catch (const orv::DbError& e) {
        checkError(e);
        return 0;
    }
    // Every table the stream delivered, read back whole, as the program would list it.
    for (const auto& table : db->schema().tables) {
        try {
            auto rs = db->OpenRecordset("SELECT * FROM [" + table.name + "];");
            // (Names match without regard to case: the first table of a name is the one read.)
            if (rs->FieldCount() != int(db->schema().findTable(table.name)->columns.size()))
                finding("a table reads back with other columns than it was given");
            for (long r = 0; r < rs->RecordCount(); ++r)
                for (int c = 0; c < rs->FieldCount(); ++c)
                    (void)rs->ValueAt(r, c).toText();
        } catch (const orv::DbError& e) {
            checkError(e);
        }
    }
    return 0;
}
