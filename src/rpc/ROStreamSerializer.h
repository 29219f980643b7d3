// TROStreamSerializer: the binary encoding of service values, used for the local manifest and
// for every parameter inside a message body. Little-endian, no names, no padding; strings are
// a signed 32-bit length and the bytes, records a presence byte and their class name, arrays a
// presence byte and an unsigned 32-bit count. Reading works on a contiguous buffer that it does
// not copy and never allocates more than the bytes that remain; every decoding error throws
// (EROStreamError, EROUnknownClass, EROUnexpectedClass) and stops at once. Writing appends to a
// std::vector<uint8_t> or a std::string that the caller owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ROClassRegistry.h"
#include "ROSerializer.h"

class TROStreamSerializer final : public TROSerializer {
 public:
  // The longest class name a reader accepts.
  static constexpr int32_t kMaxClassNameLength = 256;

  // A reader over size bytes at data (kept by reference: they must outlive the serializer).
  // Class names are looked up in registry.
  TROStreamSerializer(const void* data, size_t size,
                      const TROClassRegistry& registry = TROClassRegistry::Global());
  explicit TROStreamSerializer(std::span<const uint8_t> source,
                               const TROClassRegistry& registry = TROClassRegistry::Global());
  // Writers that append to sink (kept by reference). A non-const vector selects the writer: to
  // read from a vector, pass it as const or as a span. Using a writer to read (or a reader to
  // write) throws EROException at the first call.
  explicit TROStreamSerializer(std::vector<uint8_t>& sink);
  explicit TROStreamSerializer(std::string& sink);

  // Reader: bytes consumed so far, bytes left, and the total size that lengths are checked
  // against. Writer: Position() is the number of bytes appended so far.
  size_t Position() const noexcept { return FPosition; }
  size_t Remaining() const noexcept { return FSize - FPosition; }
  size_t TotalSize() const noexcept { return FSize; }
  bool IsReader() const noexcept { return FReader; }

  void WriteAnsiString(std::string_view name, std::string_view value, int32_t index = -1) override;
  std::string ReadAnsiString(std::string_view name, int32_t index = -1) override;
  void WriteWideString(std::string_view name, std::u16string_view value,
                       int32_t index = -1) override;
  std::u16string ReadWideString(std::string_view name, int32_t index = -1) override;
  void WriteInteger(std::string_view name, int32_t value, int32_t index = -1) override;
  int32_t ReadInteger(std::string_view name, int32_t index = -1) override;
  void WriteInt64(std::string_view name, int64_t value, int32_t index = -1) override;
  int64_t ReadInt64(std::string_view name, int32_t index = -1) override;
  void WriteBoolean(std::string_view name, bool value, int32_t index = -1) override;
  bool ReadBoolean(std::string_view name, int32_t index = -1) override;
  void WriteDateTime(std::string_view name, double value, int32_t index = -1) override;
  double ReadDateTime(std::string_view name, int32_t index = -1) override;
  void WriteBinary(std::string_view name, const TROBinaryMemoryStream* value,
                   int32_t index = -1) override;
  void ReadBinary(std::string_view name, std::unique_ptr<TROBinaryMemoryStream>& value,
                  int32_t index = -1) override;
  void WriteStruct(std::string_view name, const TROComplexType* value, const TROClassInfo& cls,
                   int32_t index = -1) override;
  std::unique_ptr<TROComplexType> ReadStruct(std::string_view name, const TROClassInfo& expected,
                                             int32_t index = -1) override;
  void WriteArray(std::string_view name, const TROArray* value, const TROClassInfo& cls,
                  int32_t index = -1) override;
  void ReadArray(std::string_view name, std::unique_ptr<TROArray>& value,
                 const TROClassInfo& expected, int32_t index = -1) override;
  using TROSerializer::ReadArray;
  using TROSerializer::ReadStruct;
  using TROSerializer::WriteArray;
  using TROSerializer::WriteStruct;

 private:
  void Put(const void* bytes, size_t count);
  void PutUInt32(uint32_t value);
  void PutUInt64(uint64_t value);
  const uint8_t* Take(size_t count);
  uint8_t TakeByte();
  uint32_t TakeUInt32();
  uint64_t TakeUInt64();
  std::string TakeString(int32_t maxLength);
  void RequireReader() const;
  void RequireWriter() const;

  bool FReader = false;
  const uint8_t* FData = nullptr;
  size_t FSize = 0;
  size_t FPosition = 0;
  const TROClassRegistry* FRegistry = nullptr;
  std::vector<uint8_t>* FVector = nullptr;
  std::string* FString = nullptr;
};
