// Text conversions at the server's edges: the store and the wire hold single-byte code page 1250
// (and UTF-16 for descriptions); the command line, file names and log lines are UTF-8.
//
// Conversions into code page 1250 or UTF-16 fail with TextCodecError naming the first character
// that the target cannot hold or the offset of the malformed UTF-8; nothing is replaced silently.
// Conversions out of them never fail: bytes that code page 1250 leaves undefined become U+FFFD.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tvserver {

class TextCodecError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string utf8ToCp1250(std::string_view utf8);
std::string cp1250ToUtf8(std::string_view cp1250);
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

}  // namespace tvserver
