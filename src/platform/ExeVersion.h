// The version of the running program, compiled in from the build's project version. Never fails:
// a build without a version gives the empty string.
#pragma once

#include <string>

namespace tv::platform {

std::string ExecutableVersion();

}  // namespace tv::platform
