// Random small applications for the soak: one to four executables whose sizes sit on and around
// the 1 MiB part boundaries (empty and multi-part files included), Serbian names in code page
// 1250, a main executable that notes each start, a configuration file and a locale. Everything
// is drawn from the generator it is given, so a seed reproduces a whole soak.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Publisher.h"

namespace tv::soak {

// The file the main executable appends a line to, in the application folder, at every start.
inline constexpr const char* kStartMarker = "started.log";

// A random name of 1 to 12 characters from ASCII and Serbian letters (cp1250), a blank or a dash
// inside, never starting with a dot, followed by extension.
std::string RandomName(std::mt19937_64& random, const std::string& extension);

// A random application identifier, a safe folder name, unique for round.
std::string RandomUid(std::mt19937_64& random, int round);

// A new version of application uid (named name) with random executables.
tvserver::PublishSpec RandomApplication(std::mt19937_64& random, const std::string& uid, int round);

}  // namespace tv::soak
