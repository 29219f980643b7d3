#include "TextCodec.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace tvserver {
namespace {

// Unicode code points of the bytes 0x80..0xFF; 0 marks the five bytes the code page leaves free.
constexpr std::array<char16_t, 128> kHigh = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

// Decodes the code point at utf8[pos] and advances pos; throws on malformed input.
char32_t nextCodePoint(std::string_view utf8, std::size_t& pos) {
  const auto byteAt = [&](std::size_t i) { return static_cast<std::uint8_t>(utf8[i]); };
  const std::uint8_t lead = byteAt(pos);
  int extra = 0;
  char32_t cp = 0;
  if (lead < 0x80) {
    cp = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    throw TextCodecError("Malformed UTF-8 at byte " + std::to_string(pos));
  }
  if (pos + extra >= utf8.size() && extra > 0)
    throw TextCodecError("Truncated UTF-8 at byte " + std::to_string(pos));
  for (int i = 1; i <= extra; ++i) {
    const std::uint8_t b = byteAt(pos + i);
    if ((b & 0xC0) != 0x80) throw TextCodecError("Malformed UTF-8 at byte " + std::to_string(pos));
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    throw TextCodecError("Malformed UTF-8 at byte " + std::to_string(pos));
  pos += extra + 1;
  return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string describe(char32_t cp) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
  std::string text;
  appendUtf8(text, cp);
  return "\"" + text + "\" (" + buf + ")";
}

}  // namespace

std::string utf8ToCp1250(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t cp = nextCodePoint(utf8, pos);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    std::size_t i = 0;
    while (i < kHigh.size() && kHigh[i] != cp) ++i;
    if (i == kHigh.size() || cp == 0)
      throw TextCodecError("The character " + describe(cp) + " has no place in code page 1250");
    out.push_back(static_cast<char>(0x80 + i));
  }
  return out;
}

std::string cp1250ToUtf8(std::string_view cp1250) {
  std::string out;
  out.reserve(cp1250.size() + cp1250.size() / 4);
  for (const char c : cp1250) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else {
      const char16_t cp = kHigh[b - 0x80];
      appendUtf8(out, cp ? cp : 0xFFFD);
    }
  }
  return out;
}

std::u16string utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t cp = nextCodePoint(utf8, pos);
    if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      const char32_t v = cp - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    }
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate cannot be written as UTF-8
    }
    appendUtf8(out, cp);
  }
  return out;
}

}  // namespace tvserver
