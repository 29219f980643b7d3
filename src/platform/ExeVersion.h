// The version of the running program. On Linux it is compiled in from the build's project version;
// on Windows it is the file version of the executable's version resource (TvUpdater.rc). Never
// fails: a program without a version gives the empty string.
#pragma once

#include <string>

#ifdef _WIN32
#include <filesystem>
#endif

namespace tv::platform {

std::string ExecutableVersion();

#ifdef _WIN32
// The file version of any file's version resource as "a.b.c.d" (the two words of the most
// significant double word, then those of the least significant one); empty when it has none.
std::string FileVersion(const std::filesystem::path& file);
#endif

}  // namespace tv::platform
