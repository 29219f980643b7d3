// TROBinaryMemoryStream: an owned, growable byte buffer with a read/write position, the value of
// every binary field and parameter (configuration files, locale files, download parts).
// It can adopt a std::vector without copying and hand its bytes back the same way, so a 1 MiB
// part is copied once, when the decoder takes it out of the received message. Reads past the
// end return fewer bytes; nothing here throws except std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TROBinaryMemoryStream {
 public:
  TROBinaryMemoryStream() = default;
  // Adopts the bytes without copying them; the position starts at 0.
  explicit TROBinaryMemoryStream(std::vector<uint8_t> bytes) noexcept;
  // Copies size bytes from data; the position starts at 0.
  TROBinaryMemoryStream(const void* data, size_t size);
  explicit TROBinaryMemoryStream(std::string_view bytes);

  size_t Size() const noexcept { return FBytes.size(); }
  bool Empty() const noexcept { return FBytes.empty(); }
  size_t Position() const noexcept { return FPosition; }
  // A position beyond the end is allowed: the next write fills the gap with zero bytes.
  void SetPosition(size_t position) noexcept { FPosition = position; }
  // Truncates or extends (with zero bytes); the position is clamped to the new size.
  void SetSize(size_t size);

  const uint8_t* Data() const noexcept { return FBytes.data(); }
  uint8_t* Data() noexcept { return FBytes.data(); }
  std::span<const uint8_t> Bytes() const noexcept { return FBytes; }
  std::string_view View() const noexcept;
  std::string ToString() const { return std::string(View()); }

  // Copies up to count bytes from the position on; returns how many were copied.
  size_t Read(void* dest, size_t count) noexcept;
  // Writes count bytes at the position (growing the stream) and advances the position.
  void Write(const void* src, size_t count);
  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }

  // Empties the stream (size and position 0).
  void Clear() noexcept;
  // Replaces the whole content with a copy of size bytes; the position returns to 0.
  void LoadFromBuffer(const void* data, size_t size);
  // Replaces the whole content by adopting bytes; the position returns to 0.
  void Adopt(std::vector<uint8_t> bytes) noexcept;
  // Replaces the whole content with a copy of source's (all of it, whatever its position).
  void CopyFrom(const TROBinaryMemoryStream& source);
  // Hands the bytes out without copying; the stream is left empty.
  std::vector<uint8_t> TakeBytes() noexcept;

  std::unique_ptr<TROBinaryMemoryStream> Clone() const;

  friend bool operator==(const TROBinaryMemoryStream& a, const TROBinaryMemoryStream& b) noexcept {
    return a.FBytes == b.FBytes;
  }

 private:
  std::vector<uint8_t> FBytes;
  size_t FPosition = 0;
};
