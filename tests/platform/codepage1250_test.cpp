#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "CodePage1250.h"

using namespace tv::platform;

namespace {

// glibc's own CP1250 table, an independent witness for every byte the code page defines.
std::optional<std::string> GlibcToUtf8(unsigned char byte) {
  iconv_t cd = ::iconv_open("UTF-8", "CP1250");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* inPtr = in;
  char* outPtr = out;
  size_t inLeft = 1, outLeft = sizeof out;
  const size_t rc = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  ::iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return std::nullopt;
  return std::string(out, sizeof out - outLeft);
}

}  // namespace

TEST(CodePage1250, EveryByteAgreesWithGlibcAndRoundTrips) {
  int undefined = 0;
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string utf8 = Cp1250ToUtf8(byte);
    if (const auto expected = GlibcToUtf8(static_cast<unsigned char>(b))) {
      EXPECT_EQ(utf8, *expected) << "byte " << b;
    } else {
      // The bytes the code page leaves open decode to the C1 control of the same value.
      ++undefined;
      EXPECT_EQ(Cp1250ToUnicode(static_cast<unsigned char>(b)), static_cast<char16_t>(b));
    }
    EXPECT_EQ(Utf8ToCp1250(utf8), byte) << "byte " << b;
    EXPECT_EQ(Utf16ToCp1250(Cp1250ToUtf16(byte)), byte) << "byte " << b;
  }
  EXPECT_EQ(undefined, 5);
}

TEST(CodePage1250, SerbianLetters) {
  const std::string utf8 = "čćžšđ ČĆŽŠĐ";
  const std::string cp1250 = "\xE8\xE6\x9E\x9A\xF0 \xC8\xC6\x8E\x8A\xD0";
  EXPECT_EQ(Cp1250ToUtf8(cp1250), utf8);
  EXPECT_EQ(Utf8ToCp1250(utf8), cp1250);
  EXPECT_EQ(Utf16ToCp1250(Utf8ToUtf16(utf8)), cp1250);
  EXPECT_EQ(Utf16ToUtf8(Cp1250ToUtf16(cp1250)), utf8);
  EXPECT_EQ(Cp1250ToUtf8("Poku\x9A"
                         "ajte kasnije. A\x9E"
                         "uriranje"),
            "Pokušajte kasnije. Ažuriranje");
}

TEST(CodePage1250, WhatTheCodePageCannotHold) {
  // UTF-16 to cp1250: one '?' per character, a surrogate pair is one character.
  EXPECT_EQ(Utf16ToCp1250(u"aЖb"), "a?b");
  EXPECT_EQ(Utf16ToCp1250(u"x\U0001F600y"), "x?y");
  EXPECT_EQ(Utf16ToCp1250(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
  // UTF-8 to cp1250 reports the failure instead.
  const struct {
    const char* name;
    std::string utf8;
  } refused[] = {
      {"Cyrillic", "Ж"},
      {"emoji", "\xF0\x9F\x98\x80"},
      {"overlong NUL", std::string("\xC0\x80", 2)},
      {"truncated sequence", "\xC4"},
      {"encoded surrogate", "\xED\xA0\x80"},
      {"stray continuation", "\x80"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
  };
  for (const auto& c : refused) EXPECT_EQ(Utf8ToCp1250(c.utf8), std::nullopt) << c.name;
  EXPECT_EQ(Utf8ToCp1250(""), std::string());
}

TEST(CodePage1250, UnicodeForms) {
  const std::string astral = "a\xF0\x9F\x98\x80z";
  EXPECT_EQ(Utf8ToUtf16(astral), u"a\U0001F600z");
  EXPECT_EQ(Utf16ToUtf8(u"a\U0001F600z"), astral);
  EXPECT_EQ(Utf8ToUtf16("a\xFFz"), u"a\uFFFDz");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(CodePage1250, LowerCaseCoversTheCodePagesLetters) {
  const struct {
    unsigned char upper, lower;
  } pairs[] = {{'A', 'a'},   {'Z', 'z'},   {0xC8, 0xE8}, {0xC6, 0xE6}, {0x8E, 0x9E},
               {0x8A, 0x9A}, {0xD0, 0xF0}, {0xA3, 0xB3}, {0xBC, 0xBE}, {0xA5, 0xB9}};
  for (const auto& p : pairs) {
    EXPECT_EQ(Cp1250ToLower(p.upper), p.lower) << int(p.upper);
    EXPECT_EQ(Cp1250ToLower(p.lower), p.lower) << int(p.lower);
  }
  for (int unchanged : {0x31, 0x5B, 0xD7, 0xDF, 0x81}) {
    EXPECT_EQ(Cp1250ToLower(static_cast<unsigned char>(unchanged)), unchanged) << unchanged;
  }
}
