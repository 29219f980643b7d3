// A serializer for tests that records every operation (kind and name) a value asks of it.
// Reads deliver fixed values: "r" for strings, 7 for numbers, true, a stream "bin", a record of
// the expected class, and an array refilled with one record; WriteBinary/WriteArray also note
// whether the value was present and how large it was.
#pragma once

#include <string>
#include <vector>

#include "ROSerializer.h"

class RecordingSerializer : public TROSerializer {
 public:
  struct Call {
    std::string kind;
    std::string name;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls;
  std::vector<bool> present;  // one per WriteBinary/WriteArray/WriteStruct
  std::vector<size_t> sizes;  // stream size or array count for present values

  void WriteAnsiString(std::string_view n, std::string_view, int32_t = -1) override {
    Note("string", n);
  }
  std::string ReadAnsiString(std::string_view n, int32_t = -1) override {
    Note("string", n);
    return "r";
  }
  void WriteWideString(std::string_view n, std::u16string_view, int32_t = -1) override {
    Note("widestring", n);
  }
  std::u16string ReadWideString(std::string_view n, int32_t = -1) override {
    Note("widestring", n);
    return u"r";
  }
  void WriteInteger(std::string_view n, int32_t, int32_t = -1) override { Note("integer", n); }
  int32_t ReadInteger(std::string_view n, int32_t = -1) override {
    Note("integer", n);
    return 7;
  }
  void WriteInt64(std::string_view n, int64_t, int32_t = -1) override { Note("int64", n); }
  int64_t ReadInt64(std::string_view n, int32_t = -1) override {
    Note("int64", n);
    return 7;
  }
  void WriteBoolean(std::string_view n, bool, int32_t = -1) override { Note("boolean", n); }
  bool ReadBoolean(std::string_view n, int32_t = -1) override {
    Note("boolean", n);
    return true;
  }
  void WriteDateTime(std::string_view n, double, int32_t = -1) override { Note("datetime", n); }
  double ReadDateTime(std::string_view n, int32_t = -1) override {
    Note("datetime", n);
    return 7.0;
  }
  void WriteBinary(std::string_view n, const TROBinaryMemoryStream* v, int32_t = -1) override {
    Note("binary", n);
    present.push_back(v != nullptr);
    sizes.push_back(v != nullptr ? v->Size() : 0);
  }
  void ReadBinary(std::string_view n, std::unique_ptr<TROBinaryMemoryStream>& v,
                  int32_t = -1) override {
    Note("binary", n);
    v = std::make_unique<TROBinaryMemoryStream>(std::string_view("bin"));
  }
  void WriteStruct(std::string_view n, const TROComplexType* v, const TROClassInfo&,
                   int32_t = -1) override {
    Note("struct", n);
    present.push_back(v != nullptr);
    sizes.push_back(0);
  }
  std::unique_ptr<TROComplexType> ReadStruct(std::string_view n, const TROClassInfo& expected,
                                             int32_t = -1) override {
    Note("struct", n);
    return expected.Create();
  }
  void WriteArray(std::string_view n, const TROArray* v, const TROClassInfo&,
                  int32_t = -1) override {
    Note("array", n);
    present.push_back(v != nullptr);
    sizes.push_back(v != nullptr ? static_cast<size_t>(v->Count()) : 0);
  }
  void ReadArray(std::string_view n, std::unique_ptr<TROArray>& v, const TROClassInfo& expected,
                 int32_t = -1) override {
    Note("array", n);
    if (!v) v.reset(static_cast<TROArray*>(expected.Create().release()));
    v->Resize(1);
  }
  using TROSerializer::ReadArray;
  using TROSerializer::ReadStruct;
  using TROSerializer::WriteArray;
  using TROSerializer::WriteStruct;

 private:
  void Note(const char* kind, std::string_view name) { calls.push_back({kind, std::string(name)}); }
};
