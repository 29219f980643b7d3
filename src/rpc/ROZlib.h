// zlib (RFC 1950) helpers for compressed message bodies.
//
// Inflating is bounded: a caller says how much output it is prepared to accept and a stream
// that would produce more is refused before it has been expanded, so a small hostile packet
// cannot grow into gigabytes. Every failure is an EROException whose text says what was wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ROZlib {

// True when the two bytes form a valid zlib stream header (deflate method, window size within
// the format's limit, header checksum correct).
bool IsZlibHeader(std::uint8_t cmf, std::uint8_t flg);

// Compresses data into one complete zlib stream.
std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data);

// Inflates one complete zlib stream. Throws when the data is not zlib, is truncated or
// damaged, produces more than maxOutput bytes, is followed by stray bytes, or (when given)
// does not produce exactly expectedSize bytes.
std::vector<std::uint8_t> Inflate(std::span<const std::uint8_t> data, std::size_t maxOutput,
                                  std::optional<std::size_t> expectedSize = std::nullopt);

}  // namespace ROZlib
