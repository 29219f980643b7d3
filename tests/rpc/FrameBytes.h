// Hand-made message bytes for the frame and wire tests: a tiny builder that spells out the
// frame layout independently of the code under test.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace frame_bytes {

using Bytes = std::vector<std::uint8_t>;

// {00112233-4455-6677-8899-AABBCCDDEEFF} in its in-memory (wire) order.
inline const Bytes kClientID = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

struct Builder {
  Bytes b;

  Builder& Raw(std::initializer_list<std::uint8_t> bytes) {
    b.insert(b.end(), bytes);
    return *this;
  }
  Builder& Raw(const Bytes& bytes) {
    b.insert(b.end(), bytes.begin(), bytes.end());
    return *this;
  }
  Builder& Text(std::string_view text) {
    b.insert(b.end(), text.begin(), text.end());
    return *this;
  }
  Builder& Int32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    return Raw({static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)});
  }
  Builder& Int64(std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
    return *this;
  }
  Builder& Double(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    return Int64(static_cast<std::int64_t>(u));
  }
  Builder& Str(std::string_view s) { return Int32(static_cast<std::int32_t>(s.size())).Text(s); }
  Builder& Bool(bool v) { return Raw({static_cast<std::uint8_t>(v ? 1 : 0), 0, 0, 0}); }
  // "RO107", flags, kind, 3 reserved, 2 user data, client identifier.
  Builder& Header(std::uint8_t kind = 0, std::uint8_t flags = 0, const Bytes& id = kClientID) {
    return Text("RO107").Raw({flags, kind, 0, 0, 0, 0, 0}).Raw(id);
  }
};

// A complete zlib stream of data, made with zlib itself.
inline Bytes Zlib(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK)
    throw std::runtime_error("zlib failed");
  out.resize(size);
  return out;
}

// header (flag 1 set) + [uint32 size] + zlib(body)
inline Bytes Compressed(const Bytes& body, bool sizePrefix, std::uint8_t kind = 0) {
  Builder m;
  m.Header(kind, 1);
  if (sizePrefix) m.Int32(static_cast<std::int32_t>(body.size()));
  return m.Raw(Zlib(body)).b;
}

}  // namespace frame_bytes
