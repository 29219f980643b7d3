#include "ROZlib.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>

#include "ROExceptions.h"

namespace ROZlib {
namespace {

// Owns one inflate state for the duration of a call.
class InflateStream {
 public:
  InflateStream() {
    if (inflateInit(&stream_) != Z_OK) throw EROException("Cannot initialise zlib decompression");
  }
  ~InflateStream() { inflateEnd(&stream_); }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
  z_stream* get() { return &stream_; }

 private:
  z_stream stream_{};
};

std::string ZlibReason(const z_stream& s, int rc) {
  if (s.msg != nullptr) return s.msg;
  return "zlib error " + std::to_string(rc);
}

}  // namespace

bool IsZlibHeader(std::uint8_t cmf, std::uint8_t flg) {
  const bool deflate = (cmf & 0x0F) == 8;
  const bool windowOk = (cmf >> 4) <= 7;
  const bool checksumOk = ((static_cast<unsigned>(cmf) << 8) | flg) % 31 == 0;
  return deflate && windowOk && checksumOk;
}

std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data) {
  if (data.size() > std::numeric_limits<uLong>::max() / 2)
    throw EROException("Body too large to compress");
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<std::uint8_t> out(size);
  const int rc = compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()),
                           Z_DEFAULT_COMPRESSION);
  if (rc != Z_OK) throw EROException("Cannot compress body: zlib error " + std::to_string(rc));
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> Inflate(std::span<const std::uint8_t> data, std::size_t maxOutput,
                                  std::optional<std::size_t> expectedSize) {
  if (expectedSize && *expectedSize > maxOutput)
    throw EROException("Compressed body announces " + std::to_string(*expectedSize) +
                       " bytes, more than the " + std::to_string(maxOutput) +
                       " bytes this reader accepts");
  InflateStream inflater;
  z_stream* s = inflater.get();

  std::vector<std::uint8_t> out;
  // Deflate expands at most about 1032 to 1, so a size announced beyond that is not trusted
  // with an allocation up front; the output grows as it really arrives.
  const std::size_t plausible = data.size() * 1032 + 64;
  const std::size_t capacity =
      expectedSize ? std::min(*expectedSize, plausible)
                   : std::min(maxOutput, std::max<std::size_t>(data.size() * 4, 64 * 1024));
  out.resize(capacity);
  std::size_t produced = 0;
  std::size_t consumed = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (produced == out.size()) {
      // One byte beyond the limit is enough to know the stream is too large.
      if (out.size() > maxOutput) break;
      const std::size_t grown =
          out.size() < maxOutput / 2 ? std::max<std::size_t>(out.size() * 2, 1) : maxOutput + 1;
      out.resize(grown);
    }
    const std::size_t inChunk =
        std::min<std::size_t>(data.size() - consumed, std::numeric_limits<uInt>::max());
    const std::size_t outChunk =
        std::min<std::size_t>(out.size() - produced, std::numeric_limits<uInt>::max());
    s->next_in = const_cast<Bytef*>(data.data() + consumed);
    s->avail_in = static_cast<uInt>(inChunk);
    s->next_out = out.data() + produced;
    s->avail_out = static_cast<uInt>(outChunk);
    rc = inflate(s, Z_NO_FLUSH);
    consumed += inChunk - s->avail_in;
    produced += outChunk - s->avail_out;
    if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR)
      throw EROException("Compressed body is damaged: " + ZlibReason(*s, rc));
    if (rc == Z_BUF_ERROR && consumed == data.size() && produced < out.size())
      throw EROException("Compressed body is truncated");
  }
  if (produced > maxOutput)
    throw EROException("Compressed body expands beyond the " + std::to_string(maxOutput) +
                       " bytes this reader accepts");
  if (consumed != data.size())
    throw EROException("Compressed body is followed by " + std::to_string(data.size() - consumed) +
                       " stray bytes");
  if (expectedSize && produced != *expectedSize)
    throw EROException("Compressed body inflates to " + std::to_string(produced) +
                       " bytes instead of the announced " + std::to_string(*expectedSize));
  out.resize(produced);
  return out;
}

}  // namespace ROZlib
