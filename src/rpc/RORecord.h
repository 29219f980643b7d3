// TRORecord: the shared body of every service record. A record lists its fields once (name and
// member, in declaration order); the serialization order is derived from that list by
// ROFieldNameLess, so ReadFrom, WriteTo and Assign never restate it. Strings, wide strings,
// Int64, Integer, Boolean, date-time (double), owned streams and owned arrays are supported.
// Reading assigns a field only after the serializer delivered its whole value; a failure leaves
// the fields read before with their new values and the rest unchanged.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ROExceptions.h"
#include "ROSerializer.h"
#include "ROTypes.h"

// The order of field names on the wire: character by character with a-z folded to A-Z,
// compared by character code, a name that is a prefix of another first. "_" (95) sorts after the
// upper-case letters, so "uid_applications" comes before "uid_application_locales".
constexpr bool ROFieldNameLess(std::string_view a, std::string_view b) noexcept {
  const auto fold = [](char c) -> unsigned char {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
  };
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    if (fold(a[i]) != fold(b[i])) return fold(a[i]) < fold(b[i]);
  }
  return a.size() < b.size();
}

// One field of record R: its name and how to move it to and from a serializer and copy it.
template <class R>
struct TROFieldDef {
  std::string_view name;
  void (*read)(R& record, TROSerializer& serializer, std::string_view name);
  void (*write)(const R& record, TROSerializer& serializer, std::string_view name);
  void (*assign)(R& target, const R& source);
};

namespace ro_detail {
template <class M>
struct MemberTraits;
template <class R, class T>
struct MemberTraits<T R::*> {
  using Record = R;
  using Type = T;
};
template <class T>
struct IsOwned : std::false_type {};
template <class T>
struct IsOwned<TROOwned<T>> : std::true_type {
  using Object = T;
};
}  // namespace ro_detail

// The field definition for member Member (a pointer to a data member of the record).
template <auto Member>
constexpr auto ROField(std::string_view name) {
  using Traits = ro_detail::MemberTraits<decltype(Member)>;
  using R = typename Traits::Record;
  using T = typename Traits::Type;
  TROFieldDef<R> def{name, nullptr, nullptr, nullptr};
  if constexpr (std::is_same_v<T, std::string>) {
    def.read = [](R& r, TROSerializer& s, std::string_view n) { r.*Member = s.ReadAnsiString(n); };
    def.write = [](const R& r, TROSerializer& s, std::string_view n) {
      s.WriteAnsiString(n, r.*Member);
    };
  } else if constexpr (std::is_same_v<T, std::u16string>) {
    def.read = [](R& r, TROSerializer& s, std::string_view n) { r.*Member = s.ReadWideString(n); };
    def.write = [](const R& r, TROSerializer& s, std::string_view n) {
      s.WriteWideString(n, r.*Member);
    };
  } else if constexpr (std::is_same_v<T, int64_t>) {
    def.read = [](R& r, TROSerializer& s, std::string_view n) { r.*Member = s.ReadInt64(n); };
    def.write = [](const R& r, TROSerializer& s, std::string_view n) {
      s.WriteInt64(n, r.*Member);
    };
  } else if constexpr (std::is_same_v<T, int32_t>) {
    def.read = [](R& r, TROSerializer& s, std::string_view n) { r.*Member = s.ReadInteger(n); };
    def.write = [](const R& r, TROSerializer& s, std::string_view n) {
      s.WriteInteger(n, r.*Member);
    };
  } else if constexpr (std::is_same_v<T, bool>) {
    def.read = [](R& r, TROSerializer& s, std::string_view n) { r.*Member = s.ReadBoolean(n); };
    def.write = [](const R& r, TROSerializer& s, std::string_view n) {
      s.WriteBoolean(n, r.*Member);
    };
  } else if constexpr (std::is_same_v<T, double>) {
    def.read = [](R& r, TROSerializer& s, std::string_view n) { r.*Member = s.ReadDateTime(n); };
    def.write = [](const R& r, TROSerializer& s, std::string_view n) {
      s.WriteDateTime(n, r.*Member);
    };
  } else if constexpr (std::is_same_v<T, TROOwned<TROBinaryMemoryStream>>) {
    // The serializer always delivers a new stream or none; the one taken through the field
    // (created if there was none) is destroyed when replaced.
    def.read = [](R& r, TROSerializer& s, std::string_view n) {
      TROOwned<TROBinaryMemoryStream>& field = r.*Member;
      field.Get();
      // The serializer replaces the reference only once the whole value was read, so a failure
      // leaves the stream that was there.
      s.ReadBinary(n, field.Ref());
    };
    // Through the field, so a stream never set is written empty, never absent.
    def.write = [](const R& r, TROSerializer& s, std::string_view n) {
      s.WriteBinary(n, &(r.*Member).Get());
    };
  } else if constexpr (ro_detail::IsOwned<T>::value) {
    using A = typename ro_detail::IsOwned<T>::Object;
    static_assert(std::is_base_of_v<TROArray, A>, "owned fields are streams or arrays");
    // The array taken through the field is refilled; an absent encoding leaves the field empty
    // until the next access creates a fresh array.
    def.read = [](R& r, TROSerializer& s, std::string_view n) {
      T& field = r.*Member;
      field.Get();
      s.ReadArray(n, field.Ref());
    };
    def.write = [](const R& r, TROSerializer& s, std::string_view n) {
      s.WriteArray(n, &(r.*Member).Get());
    };
  } else {
    static_assert(!sizeof(T), "unsupported field kind");
  }
  if constexpr (ro_detail::IsOwned<T>::value) {
    def.assign = [](R& target, const R& source) {
      if constexpr (std::is_same_v<T, TROOwned<TROBinaryMemoryStream>>) {
        (target.*Member).Get().CopyFrom((source.*Member).Get());
      } else {
        (target.*Member).Get().Assign((source.*Member).Get());
      }
    };
  } else {
    def.assign = [](R& target, const R& source) { target.*Member = source.*Member; };
  }
  return def;
}

// Declaration order in, serialization order out (computed at compile time).
template <class R, size_t N>
constexpr std::array<TROFieldDef<R>, N> ROSerializationOrder(std::array<TROFieldDef<R>, N> fields) {
  std::sort(fields.begin(), fields.end(), [](const TROFieldDef<R>& a, const TROFieldDef<R>& b) {
    return ROFieldNameLess(a.name, b.name);
  });
  return fields;
}

// Base of record Self. Self provides StaticClass() and a static Fields() returning its fields in
// serialization order (it may be private; TRORecord<Self> is then a friend).
template <class Self>
class TRORecord : public TROComplexType {
 public:
  const TROClassInfo& ClassInfo() const override { return Self::StaticClass(); }

  // Same type (or a descendant): every field copied, streams and nested arrays into this
  // record's own. Another complex type: unchanged. None: EROAssignError.
  void Assign(const TROComplexType* source) override {
    const auto* same = dynamic_cast<const Self*>(source);
    if (same == nullptr) {
      TROComplexType::Assign(source);
      return;
    }
    if (same == this) return;
    for (const auto& field : Self::Fields()) field.assign(self(), *same);
  }
  using TROComplexType::Assign;

  void ReadFrom(TROSerializer& serializer) override {
    for (const auto& field : Self::Fields()) field.read(self(), serializer, field.name);
  }
  void WriteTo(TROSerializer& serializer) const override {
    for (const auto& field : Self::Fields()) field.write(self(), serializer, field.name);
  }

  // The field names in serialization order.
  static std::vector<std::string_view> FieldNames() {
    std::vector<std::string_view> names;
    for (const auto& field : Self::Fields()) names.push_back(field.name);
    return names;
  }

 private:
  Self& self() { return static_cast<Self&>(*this); }
  const Self& self() const { return static_cast<const Self&>(*this); }
};
