// The text a Jet file stores, as UTF-8.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace orv::mdbfile {

class Iconv;

// Decodes stored text: Jet 4 UTF-16LE, optionally "compressed" (FF FE, then one byte per
// character, a zero byte switching between one- and two-byte characters), or Jet 3 bytes in
// the file's code page. Whatever cannot be decoded becomes U+FFFD; nothing is dropped silently.
class TextDecoder {
public:
    // codePage: an iconv name, used for Jet 3 only.
    TextDecoder(bool jet3, const std::string& codePage);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    // Replaces out with the n stored bytes at p; keeps out's buffer where it can.
    void decode(const unsigned char* p, std::size_t n, std::string& out) const;

private:
    void decodeUnicode(const unsigned char* p, std::size_t n, std::string& out) const;
    void decodeBytes(const unsigned char* p, std::size_t n, std::string& out) const;

    bool jet3_;
    std::unique_ptr<Iconv> cd_;
    mutable std::unique_ptr<char[]> scratch_; // not cleared: no byte of it is read before it is written
    mutable std::size_t scratchSize_ = 0;
};

} // namespace orv::mdbfile
