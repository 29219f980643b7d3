// Exact conversions between Windows code page 1250 (Central European), UTF-8 and UTF-16.
//
// Every cp1250 byte has a Unicode value (the five bytes the code page leaves undefined map to the
// C1 controls of the same number, as Windows does), so decoding never fails. Encoding can: the
// UTF-16 form replaces what the code page cannot hold with '?', the UTF-8 form reports it.
// Malformed UTF-8 and unpaired surrogates decode to U+FFFD.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tv::platform {

std::string Cp1250ToUtf8(std::string_view bytes);
std::u16string Cp1250ToUtf16(std::string_view bytes);

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// Characters outside the code page become '?' (one per character, surrogate pairs included).
std::string Utf16ToCp1250(std::u16string_view text);

// std::nullopt when some character has no cp1250 byte or the input is not valid UTF-8.
std::optional<std::string> Utf8ToCp1250(std::string_view text);

// The Unicode value of one cp1250 byte.
char16_t Cp1250ToUnicode(unsigned char byte);

// The lower-case form of a cp1250 byte (letters of the code page, not only ASCII), for names
// compared without regard to case.
unsigned char Cp1250ToLower(unsigned char byte);

}  // namespace tv::platform
