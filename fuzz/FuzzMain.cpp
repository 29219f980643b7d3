// libFuzzer's entry points for tv_fuzz: picks the target once, then hands it every input.
#include <cstring>
#include <string>

#include "FuzzTargets.h"

namespace tvfuzz {

std::vector<Target> AllTargets() {
  std::vector<Target> all;
  for (auto list : {SerializerTargets, MessageTargets, ManifestTargets, IniTargets, ServerTargets})
    for (const Target& t : list()) all.push_back(t);
  return all;
}

}  // namespace tvfuzz

namespace {

const tvfuzz::Target* selected = nullptr;

std::string WantedName(const char* argv0) {
  if (const char* fromEnvironment = std::getenv("TV_FUZZ_TARGET")) return fromEnvironment;
  std::string_view base(argv0);
  if (const auto slash = base.rfind('/'); slash != std::string_view::npos)
    base.remove_prefix(slash + 1);
  constexpr std::string_view prefix = "fuzz_";
  if (base.substr(0, prefix.size()) == prefix) return std::string(base.substr(prefix.size()));
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static const std::vector<tvfuzz::Target> targets = tvfuzz::AllTargets();
  if (const char* list = std::getenv("TV_FUZZ_LIST"); list && std::strcmp(list, "1") == 0) {
    for (const auto& t : targets) std::printf("%.*s\n", int(t.name.size()), t.name.data());
    std::exit(0);
  }
  const std::string wanted = WantedName(*argc > 0 ? (*argv)[0] : "");
  for (const auto& t : targets)
    if (t.name == wanted) selected = &t;
  if (selected == nullptr) {
    std::fprintf(stderr,
                 "No fuzz target \"%s\": run this binary through a link called fuzz_<target> or "
                 "set TV_FUZZ_TARGET; TV_FUZZ_LIST=1 lists the targets.\n",
                 wanted.c_str());
    std::exit(2);
  }
  if (selected->setUp) selected->setUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  selected->run(tvfuzz::Bytes(data, size));
  return 0;
}
