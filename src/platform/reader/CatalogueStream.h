// The stream in which the child reader hands a catalogue's tables to the program. Records:
//   'T' name, column count (u32), then per column its kind (one byte) and name: a table begins
//   'R' one value per column of the table: a tag byte (0 Null, 1 integer, 2 real, 3 text,
//       4 binary), then 8 bytes, or a length-prefixed byte string, or nothing
//   'E' the table ends          'D' the read ended well
//   'X' error number (i32) and description: the read failed
// Byte strings are a u32 length and the bytes; numbers are in the machine's own order (both
// ends run on the same machine).
#pragma once

#include "platform/reader/CatalogueSource.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orv {

// Writes a read as records, in blocks handed to `output` (which returns false when the bytes
// could not be written; later blocks are then dropped).
class CatalogueStreamWriter final : public TableSink {
public:
    using Output = std::function<bool(const char* data, std::size_t size)>;
    explicit CatalogueStreamWriter(Output output);
    ~CatalogueStreamWriter() override;

    void beginTable(const std::string& name, const std::vector<SourceColumn>& columns) override;
    void addRow(std::vector<Value>& row) override;
    void endTable() override;
    // The last record of a read, either way; both flush. False when the output failed.
    bool done();
    bool failed(int number, const std::string& description);

private:
    void byte(char c);
    void u32(std::uint32_t v);
    void bytes(const std::string& s);
    void put(const void* p, std::size_t n);
    bool flush();

    Output output_;
    std::unique_ptr<char[]> buf_; // a block
    std::size_t used_ = 0;
    bool ok_ = true;
};

// Where a stream's bytes come from.
class StreamInput {
public:
    virtual ~StreamInput() = default;
    // Up to `capacity` bytes into buf; 0 when the stream has ended. Throws DbError (a stalled
    // reader, for one).
    virtual std::size_t read(char* buf, std::size_t capacity) = 0;
};

// Decodes one read into sink and returns at its 'D' record. Throws the reader's own DbError for
// an 'X' record, and 3343 for a stream that breaks off, is not well formed, or carries more than
// maxBytes in all. The sink sees tables begun and ended in order, rows only inside a table and
// as wide as its columns.
void decodeCatalogueStream(StreamInput& in, TableSink& sink, const std::string& path, std::uint64_t maxBytes);

// The bound decodeCatalogueStream is given for a file: decoded text can be larger than the
// stored bytes (UTF-16 and compressed text as UTF-8, memos shared by rows), but not endlessly.
std::uint64_t maxStreamBytes(std::uint64_t fileSize);

} // namespace orv
