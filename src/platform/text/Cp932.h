// CP932 (Windows Shift-JIS) conversions through iconv.
#pragma once

#include <string>
#include <string_view>

namespace orv {

// CP932 bytes to UTF-8. Bytes that are not valid CP932 become U+FFFD.
std::string cp932ToUtf8(std::string_view bytes);

// UTF-8 to CP932. Characters CP932 cannot hold are replaced by the closest CP932 text
// (transliteration), or '?' when there is none. Invalid UTF-8 bytes become '?'.
std::string utf8ToCp932(std::string_view utf8);

// Whether b starts a double-byte character (the next byte is its second).
inline bool isCp932LeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Length of the longest prefix of CP932 bytes of at most maxBytes that does not split a
// double-byte character.
std::size_t cp932PrefixLength(std::string_view bytes, std::size_t maxBytes);

} // namespace orv
