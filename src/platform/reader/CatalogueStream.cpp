#include "platform/reader/CatalogueStream.h"

#include <algorithm>
#include <cstring>

namespace orv {

namespace {

constexpr char kTable = 'T', kRow = 'R', kEndTable = 'E', kDone = 'D', kError = 'X';
enum : unsigned char { TagNull = 0, TagInt = 1, TagReal = 2, TagText = 3, TagBinary = 4 };
// Jet allows 255 columns, SQLite 2000 by default; anything beyond is not a catalogue.
constexpr std::uint32_t kMaxColumns = 4096;
// Blocks of the stream: large enough that the two processes seldom wait on each other (every
// block written wakes the reader), small enough that the program starts on the first one soon.
constexpr std::size_t kBlock = 1 << 18;

[[noreturn]] void brokenStream(const std::string& path) { throw DbError::unrecognisedFormat(path); }

class Decoder {
public:
    Decoder(StreamInput& in, const std::string& path, std::uint64_t maxBytes)
        : in_(in), path_(path), maxBytes_(maxBytes)
    {}

    void get(void* out, std::size_t n)
    {
        auto* o = static_cast<char*>(out);
        while (n > 0) {
            if (pos_ == len_)
                fill();
            const std::size_t k = std::min(n, len_ - pos_);
            std::memcpy(o, buf_ + pos_, k);
            pos_ += k;
            o += k;
            n -= k;
        }
    }
    char byte()
    {
        if (pos_ == len_)
            fill();
        return buf_[pos_++];
    }
    std::uint32_t u32()
    {
        std::uint32_t v;
        if (len_ - pos_ >= 4) {
            std::memcpy(&v, buf_ + pos_, 4);
            pos_ += 4;
        } else {
            get(&v, 4);
        }
        return v;
    }
    std::string bytes()
    {
        std::string s;
        bytesInto(s);
        return s;
    }
    // Into a string whose room is kept from the row before: no allocation per value.
    void bytesInto(std::string& s)
    {
        const std::uint32_t n = u32();
        // Most values lie whole in the block at hand.
        if (n <= len_ - pos_) {
            s.assign(buf_ + pos_, n);
            pos_ += n;
            return;
        }
        // Never more than what may still come: a length alone must not allocate.
        if (n > maxBytes_ - std::min(maxBytes_, total_) + (len_ - pos_))
            brokenStream(path_);
        s.resize(n);
        get(s.data(), n);
    }

private:
    void fill()
    {
        const std::size_t n = in_.read(buf_, kBlock);
        if (n == 0 || n > kBlock)
            brokenStream(path_); // the reader ended (or crashed) before it was done
        total_ += n;
        if (total_ > maxBytes_)
            brokenStream(path_); // more than the file can hold: a loop in the file's structure
        pos_ = 0;
        len_ = n;
    }

    StreamInput& in_;
    const std::string& path_;
    std::uint64_t maxBytes_;
    std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kBlock);
    char* buf_ = buffer_.get();
    std::size_t pos_ = 0, len_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace

CatalogueStreamWriter::CatalogueStreamWriter(Output output) : output_(std::move(output)), buf_(new char[kBlock]) {}

CatalogueStreamWriter::~CatalogueStreamWriter() = default;

void CatalogueStreamWriter::put(const void* p, std::size_t n)
{
    if (n > kBlock - used_) {
        flush();
        if (n > kBlock) { // a long value goes out as it is
            if (ok_)
                ok_ = output_(static_cast<const char*>(p), n);
            return;
        }
    }
    std::memcpy(buf_.get() + used_, p, n);
    used_ += n;
}

void CatalogueStreamWriter::byte(char c) { put(&c, 1); }
void CatalogueStreamWriter::u32(std::uint32_t v) { put(&v, 4); }
void CatalogueStreamWriter::bytes(const std::string& s)
{
    u32(static_cast<std::uint32_t>(s.size()));
    put(s.data(), s.size());
}

bool CatalogueStreamWriter::flush()
{
    if (ok_ && used_ > 0)
        ok_ = output_(buf_.get(), used_);
    used_ = 0;
    return ok_;
}

void CatalogueStreamWriter::beginTable(const std::string& name, const std::vector<SourceColumn>& columns)
{
    byte(kTable);
    bytes(name);
    u32(static_cast<std::uint32_t>(columns.size()));
    for (const auto& c : columns) {
        byte(static_cast<char>(c.kind));
        bytes(c.name);
    }
}

void CatalogueStreamWriter::addRow(std::vector<Value>& row)
{
    byte(kRow);
    for (const auto& v : row) {
        if (auto s = std::get_if<std::string>(&v.v)) {
            byte(static_cast<char>(TagText));
            bytes(*s);
        } else if (auto i = std::get_if<std::int64_t>(&v.v)) {
            byte(static_cast<char>(TagInt));
            put(i, 8);
        } else if (auto d = std::get_if<double>(&v.v)) {
            byte(static_cast<char>(TagReal));
            put(d, 8);
        } else if (auto b = std::get_if<Bytes>(&v.v)) {
            byte(static_cast<char>(TagBinary));
            bytes(b->data);
        } else {
            byte(static_cast<char>(TagNull));
        }
    }
}

void CatalogueStreamWriter::endTable() { byte(kEndTable); }

bool CatalogueStreamWriter::done()
{
    byte(kDone);
    return flush();
}

bool CatalogueStreamWriter::failed(int number, const std::string& description)
{
    byte(kError);
    const std::int32_t n = number;
    put(&n, 4);
    bytes(description);
    return flush();
}

void decodeCatalogueStream(StreamInput& input, TableSink& sink, const std::string& path, std::uint64_t maxBytes)
{
    Decoder in(input, path, maxBytes);
    std::vector<SourceColumn> columns;
    std::vector<Value> row;
    bool inTable = false;
    for (;;) {
        switch (in.byte()) {
        case kDone:
            if (inTable)
                brokenStream(path);
            return;
        case kError: {
            std::int32_t n;
            in.get(&n, 4);
            std::string description = in.bytes();
            // (A zero byte would cut the description short where the error keeps it.)
            if (n <= 0 || description.empty() || description.find('\0') != std::string::npos)
                brokenStream(path);
            throw DbError(n, description);
        }
        case kTable: {
            if (inTable)
                brokenStream(path);
            const std::string name = in.bytes();
            const std::uint32_t count = in.u32();
            if (count > kMaxColumns)
                brokenStream(path);
            columns.clear();
            for (std::uint32_t i = 0; i < count; ++i) {
                const auto k = static_cast<unsigned char>(in.byte());
                if (k > static_cast<unsigned char>(ColumnKind::Binary))
                    brokenStream(path);
                columns.push_back({in.bytes(), static_cast<ColumnKind>(k)});
            }
            sink.beginTable(name, columns);
            inTable = true;
            break;
        }
        case kRow:
            if (!inTable)
                brokenStream(path);
            row.resize(columns.size());
            for (auto& v : row) {
                switch (static_cast<unsigned char>(in.byte())) {
                case TagNull: v = Value(); break;
                case TagInt: {
                    std::int64_t i;
                    in.get(&i, 8);
                    v = Value::integer(i);
                    break;
                }
                case TagReal: {
                    double d;
                    in.get(&d, 8);
                    v = Value::real(d);
                    break;
                }
                case TagText:
                    if (!v.isText())
                        v = Value::text({});
                    in.bytesInto(std::get<std::string>(v.v));
                    break;
                case TagBinary: v = Value::binary(in.bytes()); break;
                default: brokenStream(path);
                }
            }
            sink.addRow(row);
            break;
        case kEndTable:
            if (!inTable)
                brokenStream(path);
            sink.endTable();
            inTable = false;
            break;
        default: brokenStream(path);
        }
    }
}

std::uint64_t maxStreamBytes(std::uint64_t fileSize) { return fileSize * 8 + (16u << 20); }

} // namespace orv
