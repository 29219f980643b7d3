// The one exception type of the platform layer. Its text is meant for the user: it names the
// object that failed (a file, a marker) and, where there is one, the system's reason.
#pragma once

#include <stdexcept>
#include <string>

namespace tv::platform {

class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The system's text for an error code of the platform layer ("Permission denied"): an errno value
// on Linux, a Win32 error code (GetLastError) on Windows.
std::string SystemErrorText(int error);

}  // namespace tv::platform
