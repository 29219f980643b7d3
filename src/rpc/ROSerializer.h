// TROSerializer: the abstract reader/writer of service values. It has one write and one read
// operation per value kind; every operation takes the value's name and its element index (-1 for
// none), which an encoding may use or ignore. Records and arrays call it from ReadFrom/WriteTo;
// the message layer calls it for parameters and results. A read that cannot decode its value
// throws an EROException (EROStreamError, EROUnknownClass, EROUnexpectedClass) and delivers
// nothing: a value is handed to the caller only after it was read whole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "ROBinaryMemoryStream.h"
#include "ROExceptions.h"
#include "ROTypes.h"

class TROSerializer {
 public:
  TROSerializer() = default;
  TROSerializer(const TROSerializer&) = delete;
  TROSerializer& operator=(const TROSerializer&) = delete;
  virtual ~TROSerializer() = default;

  // AnsiString: single-byte text (code page 1250) kept as bytes, never converted.
  virtual void WriteAnsiString(std::string_view name, std::string_view value,
                               int32_t index = -1) = 0;
  virtual std::string ReadAnsiString(std::string_view name, int32_t index = -1) = 0;

  // WideString: UTF-16 code units.
  virtual void WriteWideString(std::string_view name, std::u16string_view value,
                               int32_t index = -1) = 0;
  virtual std::u16string ReadWideString(std::string_view name, int32_t index = -1) = 0;

  virtual void WriteInteger(std::string_view name, int32_t value, int32_t index = -1) = 0;
  virtual int32_t ReadInteger(std::string_view name, int32_t index = -1) = 0;

  virtual void WriteInt64(std::string_view name, int64_t value, int32_t index = -1) = 0;
  virtual int64_t ReadInt64(std::string_view name, int32_t index = -1) = 0;

  virtual void WriteBoolean(std::string_view name, bool value, int32_t index = -1) = 0;
  virtual bool ReadBoolean(std::string_view name, int32_t index = -1) = 0;

  // DateTime: days since 30 December 1899, the time of day as the fraction.
  virtual void WriteDateTime(std::string_view name, double value, int32_t index = -1) = 0;
  virtual double ReadDateTime(std::string_view name, int32_t index = -1) = 0;

  // Binary: value none is written as absent. Reading delivers a new stream positioned at its
  // start, or none when the encoded value is absent; either replaces (destroys) what value held.
  virtual void WriteBinary(std::string_view name, const TROBinaryMemoryStream* value,
                           int32_t index = -1) = 0;
  virtual void ReadBinary(std::string_view name, std::unique_ptr<TROBinaryMemoryStream>& value,
                          int32_t index = -1) = 0;

  // Struct (a record): value none is written as absent; a present one is written with its own
  // class, cls is the declared class. Reading creates the record of the class named in the
  // encoding, which must be registered and descend from expected, and returns it (none when
  // absent).
  virtual void WriteStruct(std::string_view name, const TROComplexType* value,
                           const TROClassInfo& cls, int32_t index = -1) = 0;
  virtual std::unique_ptr<TROComplexType> ReadStruct(std::string_view name,
                                                     const TROClassInfo& expected,
                                                     int32_t index = -1) = 0;

  // Array: value none is written as absent. Reading refills the array that value holds (or a new
  // one of class expected when it holds none): Resize to the encoded count, then ReadFrom.
  // An absent encoding makes value none (the array it held is destroyed). On failure value
  // keeps whatever array it held, possibly partly refilled.
  virtual void WriteArray(std::string_view name, const TROArray* value, const TROClassInfo& cls,
                          int32_t index = -1) = 0;
  virtual void ReadArray(std::string_view name, std::unique_ptr<TROArray>& value,
                         const TROClassInfo& expected, int32_t index = -1) = 0;

  // Typed conveniences over the operations above.
  template <class T>
  void WriteStruct(std::string_view name, const T* value, int32_t index = -1) {
    WriteStruct(name, value, T::StaticClass(), index);
  }
  template <class T>
  std::unique_ptr<T> ReadStruct(std::string_view name, int32_t index = -1) {
    std::unique_ptr<TROComplexType> value = ReadStruct(name, T::StaticClass(), index);
    return DownCast<T>(std::move(value));
  }
  template <class A>
  void WriteArray(std::string_view name, const A* value, int32_t index = -1) {
    WriteArray(name, value, A::StaticClass(), index);
  }
  template <class A>
  void ReadArray(std::string_view name, std::unique_ptr<A>& value, int32_t index = -1) {
    std::unique_ptr<TROArray> held(std::move(value));
    // Whatever happens, the caller's reference gets back the array (if any) that was read into.
    struct Restore {
      std::unique_ptr<A>& target;
      std::unique_ptr<TROArray>& source;
      ~Restore() { target = DownCast<A>(std::move(source)); }
    } restore{value, held};
    ReadArray(name, held, A::StaticClass(), index);
  }

 private:
  template <class T, class B>
  static std::unique_ptr<T> DownCast(std::unique_ptr<B> value) noexcept {
    // A reader only delivers objects of the expected class or a descendant of it.
    return std::unique_ptr<T>(static_cast<T*>(value.release()));
  }
};
