// The fuzz targets of this project, hosted by one libFuzzer binary (tv_fuzz). A target is chosen
// by the binary's name (a link called "fuzz_<target>") or by TV_FUZZ_TARGET; TV_FUZZ_LIST=1
// prints the names. Each target takes arbitrary bytes, must never crash, hang or leak, and checks
// a property of its layer with FUZZ_CHECK, which aborts with the property's text so that
// libFuzzer keeps the input as a crash.
//
// Inputs may throw only the layer's own failures (EROException, or what the layer documents);
// any other exception escapes the target and libFuzzer reports it as a crash too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

namespace tvfuzz {

using Bytes = std::span<const std::uint8_t>;

struct Target {
  std::string_view name;
  void (*setUp)();  // once, before the first input; may be none
  void (*run)(Bytes input);
};

// The targets of each layer, in a fixed order.
std::vector<Target> SerializerTargets();
std::vector<Target> MessageTargets();
std::vector<Target> ManifestTargets();
std::vector<Target> IniTargets();
std::vector<Target> ServerTargets();

// Every target, in the order the scripts run them.
std::vector<Target> AllTargets();

[[noreturn]] inline void PropertyFailed(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, what);
  std::abort();
}

}  // namespace tvfuzz

#define FUZZ_CHECK(condition, what) \
  ((condition) ? static_cast<void>(0) : ::tvfuzz::PropertyFailed(__FILE__, __LINE__, what))
