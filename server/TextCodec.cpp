#include "TextCodec.h"

#include <cstdio>

#include "CodePage1250.h"

namespace tvserver {

namespace {

// Why text cannot become code page 1250: the first character that the code page lacks, or the
// fact that it is not UTF-8 at all.
std::string whyNotCp1250(std::string_view utf8) {
  const std::u16string text = tv::platform::Utf8ToUtf16(utf8);
  if (tv::platform::Utf16ToUtf8(text) != utf8) return "the text is not valid UTF-8";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t n = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() ? 2 : 1;
    const std::u16string_view one(text.data() + i, n);
    if (text[i] != u'?' && tv::platform::Utf16ToCp1250(one) == "?") {
      char code[16];
      const unsigned cp =
          n == 2 ? 0x10000 + ((text[i] - 0xD800u) << 10) + (text[i + 1] - 0xDC00u) : text[i];
      std::snprintf(code, sizeof code, "U+%04X", cp);
      return "the character \"" + tv::platform::Utf16ToUtf8(one) + "\" (" + code +
             ") has no place in code page 1250";
    }
    i += n - 1;
  }
  return "the text cannot be written in code page 1250";
}

}  // namespace

std::string utf8ToCp1250(std::string_view utf8) {
  if (auto bytes = tv::platform::Utf8ToCp1250(utf8)) return *std::move(bytes);
  throw TextCodecError(whyNotCp1250(utf8));
}

std::string cp1250ToUtf8(std::string_view cp1250) {
  return tv::platform::Cp1250ToUtf8(cp1250);
}

std::u16string utf8ToUtf16(std::string_view utf8) {
  std::u16string text = tv::platform::Utf8ToUtf16(utf8);
  // The conversion replaces malformed input; a round trip that differs shows that it did.
  if (tv::platform::Utf16ToUtf8(text) != utf8) throw TextCodecError("the text is not valid UTF-8");
  return text;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
  return tv::platform::Utf16ToUtf8(utf16);
}

}  // namespace tvserver
