// Text conversions at the server's edges: the store and the wire hold single-byte code page 1250
// (and UTF-16 for descriptions); the command line, file names and log lines are UTF-8.
//
// The conversions are the platform's (CodePage1250.h); this adds errors a user can act on.
// Conversions into code page 1250 or UTF-16 fail with TextCodecError naming the first character
// that the code page cannot hold, or saying that the text is not UTF-8; nothing is replaced
// silently. Conversions out of them never fail.
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
