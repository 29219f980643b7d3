#include "ROStreamSerializer.h"

#include <bit>
#include <cstring>
#include <limits>
#include <string>

namespace {
constexpr size_t kMaxLength = static_cast<size_t>(std::numeric_limits<int32_t>::max());
}  // namespace

TROStreamSerializer::TROStreamSerializer(const void* data, size_t size,
                                         const TROClassRegistry& registry)
    : FReader(true), FData(static_cast<const uint8_t*>(data)), FSize(size), FRegistry(&registry) {}

TROStreamSerializer::TROStreamSerializer(std::span<const uint8_t> source,
                                         const TROClassRegistry& registry)
    : TROStreamSerializer(source.data(), source.size(), registry) {}

TROStreamSerializer::TROStreamSerializer(std::vector<uint8_t>& sink) : FVector(&sink) {}

TROStreamSerializer::TROStreamSerializer(std::string& sink) : FString(&sink) {}

void TROStreamSerializer::RequireReader() const {
  if (!FReader) throw EROException("This serializer was created for writing and cannot read.");
}

void TROStreamSerializer::RequireWriter() const {
  if (FReader) throw EROException("This serializer was created for reading and cannot write.");
}

// ---- writing ----

void TROStreamSerializer::Put(const void* bytes, size_t count) {
  if (count == 0) return;
  const auto* p = static_cast<const uint8_t*>(bytes);
  if (FVector != nullptr) {
    FVector->insert(FVector->end(), p, p + count);
  } else {
    FString->append(reinterpret_cast<const char*>(p), count);
  }
  FPosition += count;
}

void TROStreamSerializer::PutUInt32(uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  Put(bytes, sizeof bytes);
}

void TROStreamSerializer::PutUInt64(uint64_t value) {
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  Put(bytes, sizeof bytes);
}

void TROStreamSerializer::WriteAnsiString(std::string_view, std::string_view value, int32_t) {
  RequireWriter();
  if (value.size() > kMaxLength) throw EROException("A string is too long to be written.");
  PutUInt32(static_cast<uint32_t>(value.size()));
  Put(value.data(), value.size());
}

void TROStreamSerializer::WriteWideString(std::string_view, std::u16string_view value, int32_t) {
  RequireWriter();
  if (value.size() > kMaxLength / 2) throw EROException("A string is too long to be written.");
  PutUInt32(static_cast<uint32_t>(value.size()));
  std::string bytes(value.size() * 2, '\0');
  for (size_t i = 0; i < value.size(); ++i) {
    bytes[2 * i] = static_cast<char>(value[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(value[i] >> 8);
  }
  Put(bytes.data(), bytes.size());
}

void TROStreamSerializer::WriteInteger(std::string_view, int32_t value, int32_t) {
  RequireWriter();
  PutUInt32(static_cast<uint32_t>(value));
}

void TROStreamSerializer::WriteInt64(std::string_view, int64_t value, int32_t) {
  RequireWriter();
  PutUInt64(static_cast<uint64_t>(value));
}

void TROStreamSerializer::WriteBoolean(std::string_view, bool value, int32_t) {
  RequireWriter();
  PutUInt32(value ? 1u : 0u);
}

void TROStreamSerializer::WriteDateTime(std::string_view, double value, int32_t) {
  RequireWriter();
  PutUInt64(std::bit_cast<uint64_t>(value));
}

void TROStreamSerializer::WriteBinary(std::string_view, const TROBinaryMemoryStream* value,
                                      int32_t) {
  RequireWriter();
  const uint8_t presence = value != nullptr ? 1 : 0;
  if (value != nullptr && value->Size() > std::numeric_limits<uint32_t>::max()) {
    throw EROException("A binary value is too large to be written.");
  }
  Put(&presence, 1);
  if (value == nullptr) return;
  // The whole stream, whatever its current position.
  PutUInt32(static_cast<uint32_t>(value->Size()));
  Put(value->Data(), value->Size());
}

void TROStreamSerializer::WriteStruct(std::string_view, const TROComplexType* value,
                                      const TROClassInfo&, int32_t) {
  RequireWriter();
  const uint8_t presence = value != nullptr ? 1 : 0;
  Put(&presence, 1);
  if (value == nullptr) return;
  // The record's own class, which may be a descendant of the declared one.
  const std::string_view className = value->ClassName();
  PutUInt32(static_cast<uint32_t>(className.size()));
  Put(className.data(), className.size());
  value->WriteTo(*this);
}

void TROStreamSerializer::WriteArray(std::string_view, const TROArray* value, const TROClassInfo&,
                                     int32_t) {
  RequireWriter();
  const uint8_t presence = value != nullptr ? 1 : 0;
  Put(&presence, 1);
  if (value == nullptr) return;
  PutUInt32(static_cast<uint32_t>(value->Count()));
  value->WriteTo(*this);
}

// ---- reading ----

const uint8_t* TROStreamSerializer::Take(size_t count) {
  if (count > Remaining()) throw EROStreamError(ro_messages::StreamReadError());
  const uint8_t* p = FData + FPosition;
  FPosition += count;
  return p;
}

uint8_t TROStreamSerializer::TakeByte() {
  return *Take(1);
}

uint32_t TROStreamSerializer::TakeUInt32() {
  const uint8_t* p = Take(4);
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t TROStreamSerializer::TakeUInt64() {
  const uint8_t* p = Take(8);
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

std::string TROStreamSerializer::TakeString(int32_t maxLength) {
  const auto length = static_cast<int32_t>(TakeUInt32());
  // The length is checked against the size of the whole stream; running past the end of what
  // remains is the plain read error below, raised before anything is allocated.
  if ((maxLength >= 0 && length > maxLength) || static_cast<int64_t>(length) > int64_t(FSize)) {
    throw EROStreamError(ro_messages::InvalidStringLength(length));
  }
  if (length <= 0) return {};
  const uint8_t* p = Take(static_cast<size_t>(length));
  return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(length));
}

std::string TROStreamSerializer::ReadAnsiString(std::string_view, int32_t) {
  RequireReader();
  return TakeString(-1);
}

std::u16string TROStreamSerializer::ReadWideString(std::string_view, int32_t) {
  RequireReader();
  const auto length = static_cast<int32_t>(TakeUInt32());
  if (2 * static_cast<int64_t>(length) > static_cast<int64_t>(FSize)) {
    throw EROStreamError(ro_messages::InvalidStringLength(length));
  }
  if (length <= 0) return {};
  const uint8_t* p = Take(2 * static_cast<size_t>(length));
  std::u16string value(static_cast<size_t>(length), u'\0');
  for (size_t i = 0; i < value.size(); ++i) {
    value[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
  }
  return value;
}

int32_t TROStreamSerializer::ReadInteger(std::string_view, int32_t) {
  RequireReader();
  return static_cast<int32_t>(TakeUInt32());
}

int64_t TROStreamSerializer::ReadInt64(std::string_view, int32_t) {
  RequireReader();
  return static_cast<int64_t>(TakeUInt64());
}

bool TROStreamSerializer::ReadBoolean(std::string_view, int32_t) {
  RequireReader();
  const uint8_t* p = Take(4);
  return p[0] != 0;  // only the first of the four bytes counts
}

double TROStreamSerializer::ReadDateTime(std::string_view, int32_t) {
  RequireReader();
  return std::bit_cast<double>(TakeUInt64());
}

void TROStreamSerializer::ReadBinary(std::string_view,
                                     std::unique_ptr<TROBinaryMemoryStream>& value, int32_t) {
  RequireReader();
  if (TakeByte() == 0) {
    value.reset();
    return;
  }
  const uint32_t length = TakeUInt32();
  if (length > FSize) throw EROStreamError(ro_messages::InvalidStringLength(length));
  // Take() refuses a length beyond the remaining bytes before the stream is allocated; the copy
  // into the new stream is the only one the bytes make.
  const uint8_t* p = Take(length);
  value = std::make_unique<TROBinaryMemoryStream>(p, length);
}

std::unique_ptr<TROComplexType> TROStreamSerializer::ReadStruct(std::string_view,
                                                                const TROClassInfo& expected,
                                                                int32_t) {
  RequireReader();
  if (TakeByte() == 0) return nullptr;
  const std::string className = TakeString(kMaxClassNameLength);
  const TROClassInfo* cls = FRegistry->Find(className);
  if (cls == nullptr) throw EROUnknownClass(ro_messages::UnknownClass(className));
  if (!cls->InheritsFrom(expected)) {
    throw EROUnexpectedClass(ro_messages::UnexpectedClass(className, expected.name));
  }
  std::unique_ptr<TROComplexType> record = cls->Create();
  record->ReadFrom(*this);
  return record;
}

void TROStreamSerializer::ReadArray(std::string_view, std::unique_ptr<TROArray>& value,
                                    const TROClassInfo& expected, int32_t) {
  RequireReader();
  if (TakeByte() == 0) {
    value.reset();
    return;
  }
  const uint32_t count = TakeUInt32();
  // Every entry takes at least its presence byte, so a count the remaining bytes cannot hold is
  // refused before the array is sized to it.
  if (count > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) || count > Remaining()) {
    throw EROStreamError(ro_messages::InvalidArrayCount(count));
  }
  if (!value) {
    std::unique_ptr<TROComplexType> created = expected.Create();
    auto* array = dynamic_cast<TROArray*>(created.get());
    if (array == nullptr) {
      throw EROClassError("The class \"" + std::string(expected.name) + "\" is not an array.");
    }
    static_cast<void>(created.release());
    value.reset(array);
  } else if (!value->ClassInfo().InheritsFrom(expected)) {
    throw EROClassError("An array of class \"" + std::string(value->ClassName()) +
                        "\" cannot receive a \"" + std::string(expected.name) + "\".");
  }
  value->Resize(static_cast<int32_t>(count));
  value->ReadFrom(*this);
}
