#include "ExeVersion.h"

namespace tv::platform {

std::string ExecutableVersion() {
#ifdef TV_PROJECT_VERSION
  return TV_PROJECT_VERSION;
#else
  return {};
#endif
}

}  // namespace tv::platform
