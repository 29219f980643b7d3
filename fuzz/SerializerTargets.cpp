// One target per record and array type of the service: a value of that type read from arbitrary
// bytes. Whatever decodes must re-encode to bytes that decode again and re-encode to the very
// same bytes (encoding a decoded value is a fixed point), and a copy made with Assign must encode
// like its original. Only EROException may end a read.
#include <string>

#include "FuzzTargets.h"
#include "ROStreamSerializer.h"
#include "UpdaterServiceLibrary_Types.h"

namespace tvfuzz {
namespace {

template <class T>
constexpr bool kIsArray = std::is_base_of_v<TROArray, T>;

template <class T>
std::unique_ptr<T> Decode(Bytes bytes) {
  TROStreamSerializer reader(bytes);
  if constexpr (kIsArray<T>) {
    std::unique_ptr<T> value;
    reader.ReadArray<T>("Value", value);
    return value;
  } else {
    return reader.ReadStruct<T>("Value");
  }
}

template <class T>
std::vector<std::uint8_t> Encode(const T* value) {
  std::vector<std::uint8_t> bytes;
  TROStreamSerializer writer(bytes);
  if constexpr (kIsArray<T>) {
    writer.WriteArray<T>("Value", value);
  } else {
    writer.WriteStruct<T>("Value", value);
  }
  return bytes;
}

void RegisterTypes() {
  static const TUpdaterServiceTypesRegistration registration;
}

template <class T>
void RoundTrip(Bytes input) {
  std::unique_ptr<T> value;
  try {
    value = Decode<T>(input);
  } catch (const EROException&) {
    return;  // refused with the layer's own error: fine
  }
  const std::vector<std::uint8_t> once = Encode<T>(value.get());
  std::unique_ptr<T> again;
  try {
    again = Decode<T>(once);
  } catch (const EROException& e) {
    std::fprintf(stderr, "re-encoded value fails to decode: %s\n", e.what());
    FUZZ_CHECK(false, "a decoded value re-encodes to bytes that decode");
  }
  FUZZ_CHECK((value == nullptr) == (again == nullptr), "presence survives a round trip");
  const std::vector<std::uint8_t> twice = Encode<T>(again.get());
  FUZZ_CHECK(once == twice, "encode(decode(x)) is a fixed point");
  if (value) {
    const std::unique_ptr<T> copy = ROClone(*value);
    FUZZ_CHECK(Encode<T>(copy.get()) == once, "a copy made by Assign encodes like its original");
  }
}

template <class T>
Target Make() {
  static const std::string name = "serializer_" + std::string(T::StaticClass().name);
  return Target{name, &RegisterTypes, &RoundTrip<T>};
}

}  // namespace

std::vector<Target> SerializerTargets() {
  return {
      Make<WS_Applications>(),
      Make<WS_Files_executables>(),
      Make<WS_Applications_config_files>(),
      Make<CD_Lookups>(),
      Make<WS_Applications_executables>(),
      Make<WS_Locale_files>(),
      Make<WS_Application_locales>(),
      Make<WS_Array_Of_Applications>(),
      Make<WS_Array_Of_Files_executables>(),
      Make<WS_Array_Of_Applications_config_files>(),
      Make<CD_Array_Of_Lookups>(),
      Make<WS_Array_Of_Applications_executables>(),
      Make<WS_Array_Of_Locale_files>(),
      Make<WS_Array_Of_Application_locales>(),
  };
}

}  // namespace tvfuzz
