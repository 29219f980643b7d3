#include "ROBinaryMemoryStream.h"

#include <algorithm>
#include <cstring>

TROBinaryMemoryStream::TROBinaryMemoryStream(std::vector<uint8_t> bytes) noexcept
    : FBytes(std::move(bytes)) {}

TROBinaryMemoryStream::TROBinaryMemoryStream(const void* data, size_t size) {
  LoadFromBuffer(data, size);
}

TROBinaryMemoryStream::TROBinaryMemoryStream(std::string_view bytes) {
  LoadFromBuffer(bytes.data(), bytes.size());
}

void TROBinaryMemoryStream::SetSize(size_t size) {
  FBytes.resize(size);
  FPosition = std::min(FPosition, size);
}

std::string_view TROBinaryMemoryStream::View() const noexcept {
  return {reinterpret_cast<const char*>(FBytes.data()), FBytes.size()};
}

size_t TROBinaryMemoryStream::Read(void* dest, size_t count) noexcept {
  if (FPosition >= FBytes.size() || count == 0) return 0;
  const size_t n = std::min(count, FBytes.size() - FPosition);
  std::memcpy(dest, FBytes.data() + FPosition, n);
  FPosition += n;
  return n;
}

void TROBinaryMemoryStream::Write(const void* src, size_t count) {
  if (count == 0) return;
  if (FPosition == FBytes.size()) {
    // Appending: one pass, no zero fill first.
    const auto* p = static_cast<const uint8_t*>(src);
    FBytes.insert(FBytes.end(), p, p + count);
  } else {
    if (FPosition + count > FBytes.size()) FBytes.resize(FPosition + count);
    std::memcpy(FBytes.data() + FPosition, src, count);
  }
  FPosition += count;
}

void TROBinaryMemoryStream::Clear() noexcept {
  FBytes.clear();
  FPosition = 0;
}

void TROBinaryMemoryStream::LoadFromBuffer(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  FBytes.assign(p, p + size);
  FPosition = 0;
}

void TROBinaryMemoryStream::Adopt(std::vector<uint8_t> bytes) noexcept {
  FBytes = std::move(bytes);
  FPosition = 0;
}

void TROBinaryMemoryStream::CopyFrom(const TROBinaryMemoryStream& source) {
  if (&source == this) return;
  FBytes.assign(source.FBytes.begin(), source.FBytes.end());
  FPosition = 0;
}

std::vector<uint8_t> TROBinaryMemoryStream::TakeBytes() noexcept {
  std::vector<uint8_t> bytes = std::move(FBytes);
  FBytes.clear();
  FPosition = 0;
  return bytes;
}

std::unique_ptr<TROBinaryMemoryStream> TROBinaryMemoryStream::Clone() const {
  return std::make_unique<TROBinaryMemoryStream>(*this);
}
