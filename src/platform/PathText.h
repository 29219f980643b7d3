// Paths and the text they are made of. The program's strings are UTF-8 (its own) or code page 1250
// (the update service's); the file system's names are UTF-8 bytes on Linux and UTF-16 on Windows.
// These conversions are exact on both: a std::filesystem::path must never be made from a plain
// std::string, which Windows would read in the process's ANSI code page.
//
// PathFromCp1250 refuses nothing (every cp1250 byte has a character); PathFromUtf8 reads malformed
// UTF-8 as U+FFFD on Windows and keeps the bytes on Linux. Nothing here throws but std::bad_alloc.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tv::platform {

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// A service name (cp1250 bytes) as a path: UTF-8 on Linux, UTF-16 on Windows (the system's own
// cp1250 table, MultiByteToWideChar).
std::filesystem::path PathFromCp1250(std::string_view cp1250);

// The character that separates folders on this system: '/' here, '\' on Windows.
inline constexpr char kPathDelimiter =
    static_cast<char>(std::filesystem::path::preferred_separator);

// The path with exactly one trailing delimiter.
std::filesystem::path WithTrailingDelimiter(const std::filesystem::path& folder);

}  // namespace tv::platform
