// The text of a settings file: its encoding (CP932 unless a byte order mark says otherwise), its
// lines read through a buffer of fixed size, new content written in the same encoding, and the
// caller's UTF-8 turned into the file's text and back. Internal to the settings file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace orv::ini {

// A file saved by a UTF-8 editor starts with a byte order mark, one saved as "Unicode" by a
// Windows editor with the UTF-16LE mark (FF FE), as "Unicode big endian" with FE FF; such files
// keep their encoding (as the Windows profile functions do), everything else is CP932.
enum class Encoding { Cp932, Utf8, Utf16Le, Utf16Be };

// Files are read and written through buffers of this size: a settings file of any size needs no
// memory of its size (a fresh allocation of tens of megabytes costs more than reading them).
inline constexpr std::size_t kChunkBytes = 1 << 20;

// The caller's text as the profile functions receive it: a NUL-terminated string.
inline std::string_view upToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

// Text for one line of the file: in its encoding, without line ends (blanks instead) or NULs.
std::string encodeForLine(std::string_view utf8, Encoding enc);

// Stored text as the caller reads it: its first 127 bytes of CP932 (a 128-byte buffer with its
// NUL), never half a character, in UTF-8.
std::string readableValue(std::string_view stored, Encoding enc);

// The lines of a settings file, read through a buffer of fixed size, in the text the names and
// values are compared in: CP932 bytes, or UTF-8 for a file with a mark. A UTF-16 file is decoded
// on the way; a surrogate without its partner keeps its three-byte form, so that writing the text
// back gives the same units, and an odd last byte is kept aside (oddByte). CR LF, LF and a lone
// CR each end a line; a last line without a line end counts.
class LineReader {
public:
    // fd < 0: an empty file. size: the file's size, to keep the buffer of a small file small.
    LineReader(int fd, off_t size);

    Encoding encoding() const { return enc_; }
    bool failed() const { return failed_; }
    const std::string& oddByte() const { return oddByte_; }

    // The next line, valid until the next call; false at the end of the file or on a read error.
    bool next(std::string_view& line);

private:
    size_t lineEnd(size_t from);
    bool readRaw();
    void fill();
    void addText(std::string_view bytes);
    void unit(std::uint32_t u);
    void finish();

    int fd_;
    Encoding enc_ = Encoding::Cp932;
    bool eof_ = false;
    bool failed_ = false;
    std::vector<char> raw_;
    size_t rawSize_ = 0;
    std::string buf_; // text of lines not yet handed out, from pos_ on
    size_t pos_ = 0;
    size_t scanned_ = 0; // no line end between pos_ and here
    size_t nextCr_ = std::string::npos;
    size_t nextLf_ = std::string::npos;
    std::string carry_; // UTF-16: a byte whose partner is in the next piece
    std::uint32_t high_ = 0; // UTF-16: a high surrogate waiting for its low one
    std::string oddByte_;
};

// The new content of a file, in the file's encoding, to a file descriptor through a buffer, or
// into memory (fd < 0).
class Output {
public:
    // size: about the size of the content, to keep the buffer of a small file small.
    Output(Encoding enc, int fd, size_t size);

    // Text of one or more whole lines, or of a part of one that ends before a line end.
    void put(std::string_view text);
    void line(std::string_view text)
    {
        put(text);
        put("\r\n");
    }

    // The bytes written to memory.
    std::string& memory() { return buf_; }

    // Writes what is left, with the odd last byte of a UTF-16 file; false if any write failed.
    bool finish(const std::string& oddByte);

private:
    void flush();

    Encoding enc_;
    int fd_;
    std::string buf_;
    bool ok_ = true;
};

} // namespace orv::ini
