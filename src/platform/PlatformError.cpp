#include "PlatformError.h"

#include <cstring>

namespace tv::platform {

std::string SystemErrorText(int error) {
  char buffer[256] = {};
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("error ") + std::to_string(error);
}

}  // namespace tv::platform
