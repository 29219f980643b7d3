#include <cstdint>

#include "SharedMarker.h"

namespace tv::platform {
namespace {

std::uint64_t Fnv1a(std::string_view s, std::uint64_t basis) {
  std::uint64_t h = basis;
  for (char c : s) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  return h;
}

}  // namespace

std::string NameDigest(std::string_view name) {
  static constexpr char kHex[] = "0123456789abcdef";
  const std::uint64_t parts[2] = {Fnv1a(name, 0xcbf29ce484222325ULL),
                                  Fnv1a(name, 0x84222325cbf29ce4ULL) ^ (name.size() << 1)};
  std::string out;
  for (std::uint64_t part : parts) {
    for (int shift = 60; shift >= 0; shift -= 4) out += kHex[(part >> shift) & 0xF];
  }
  return out;
}

}  // namespace tv::platform
