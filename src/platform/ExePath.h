// Where the running executable lies. Throws PlatformError when the system cannot tell.
#pragma once

#include <filesystem>

namespace tv::platform {

// Full path of the running executable, as the system reports it.
std::filesystem::path ExecutablePath();

// The folder that holds it, without a trailing '/'.
std::filesystem::path ExecutableFolder();

}  // namespace tv::platform
