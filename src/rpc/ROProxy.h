// TROProxy: the client side of a remote interface. A proxy turns each call into one request on
// the message it was given, has the channel carry it and decodes the answer. It keeps the
// message and channel only as its creator handed them over (shared, or merely referred to
// through RONonOwning) and has no other state.
// A proxy catches nothing: transport failures, failures that the server reports and decoding
// errors reach the caller as they were raised, after the message has released its body.
//
// ro_marshal holds what proxies and server-side invokers share, so that both sides move a
// parameter with the same serializer operation: the value kind of each C++ parameter type, the
// directions (const T& and plain values go in, std::unique_ptr<T>& comes out) and the parameter
// names taken from an operation's argument list.
//
// TROProxyRegistry maps interface identifiers to proxy classes, so that a caller that knows
// only an identifier can obtain the interface. Registrations nest and are safe from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "ROBinMessage.h"
#include "ROTransportChannel.h"

// A shared_ptr that refers to object without owning it (for components whose owner is a
// window or a test fixture): the object must outlive every copy.
template <class T>
std::shared_ptr<T> RONonOwning(T& object) {
  return std::shared_ptr<T>(std::shared_ptr<void>(), &object);
}

namespace ro_marshal {

// The serializer operation that carries a value of type T.
enum class Kind { AnsiString, Integer, Boolean, Binary, Struct, Array };
template <class T>
constexpr Kind KindOf() {
  if constexpr (std::is_same_v<T, std::string>) {
    return Kind::AnsiString;
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return Kind::Integer;
  } else if constexpr (std::is_same_v<T, bool>) {
    return Kind::Boolean;
  } else if constexpr (std::is_same_v<T, TROBinaryMemoryStream>) {
    return Kind::Binary;
  } else if constexpr (std::is_base_of_v<TROArray, T>) {
    return Kind::Array;
  } else {
    static_assert(std::is_base_of_v<TROComplexType, T>, "no serializer operation for this type");
    return Kind::Struct;
  }
}

// The direction and storage of one parameter type of an interface method.
template <class P>
struct Param {
  // Simple values travel in by value or by const reference.
  static constexpr bool kOut = false;
  using Value = std::remove_cvref_t<P>;
  static constexpr bool kObject = KindOf<Value>() == Kind::Binary ||
                                  KindOf<Value>() == Kind::Struct || KindOf<Value>() == Kind::Array;
  // What a reader holds before the value is handed on: objects arrive owned (or none).
  using Storage = std::conditional_t<kObject, std::unique_ptr<Value>, Value>;
};
template <class T>
struct Param<std::unique_ptr<T>&> {
  static constexpr bool kOut = true;
  using Value = T;
  static constexpr bool kObject = true;
  using Storage = std::unique_ptr<T>;
};

// Writes a simple value or an object given by reference.
template <class T>
void Write(TROSerializer& s, std::string_view name, const T& value) {
  constexpr Kind kind = KindOf<T>();
  if constexpr (kind == Kind::AnsiString) {
    s.WriteAnsiString(name, value);
  } else if constexpr (kind == Kind::Integer) {
    s.WriteInteger(name, value);
  } else if constexpr (kind == Kind::Boolean) {
    s.WriteBoolean(name, value);
  } else if constexpr (kind == Kind::Binary) {
    s.WriteBinary(name, &value);
  } else if constexpr (kind == Kind::Array) {
    s.WriteArray<T>(name, &value);
  } else {
    s.WriteStruct<T>(name, &value);
  }
}

// Writes an owned object; none is written as absent.
template <class T>
void Write(TROSerializer& s, std::string_view name, const std::unique_ptr<T>& value) {
  constexpr Kind kind = KindOf<T>();
  if constexpr (kind == Kind::Binary) {
    s.WriteBinary(name, value.get());
  } else if constexpr (kind == Kind::Array) {
    s.WriteArray<T>(name, value.get());
  } else {
    static_assert(kind == Kind::Struct, "only objects are held by std::unique_ptr");
    s.WriteStruct<T>(name, value.get());
  }
}

// Reads a value of type T: simple values as themselves, objects as a new owned object or none.
template <class T>
auto Read(TROSerializer& s, std::string_view name) {
  constexpr Kind kind = KindOf<T>();
  if constexpr (kind == Kind::AnsiString) {
    return s.ReadAnsiString(name);
  } else if constexpr (kind == Kind::Integer) {
    return s.ReadInteger(name);
  } else if constexpr (kind == Kind::Boolean) {
    return s.ReadBoolean(name);
  } else if constexpr (kind == Kind::Binary) {
    std::unique_ptr<TROBinaryMemoryStream> value;
    s.ReadBinary(name, value);
    return value;
  } else if constexpr (kind == Kind::Array) {
    std::unique_ptr<T> value;
    s.ReadArray<T>(name, value);
    return value;
  } else {
    return s.ReadStruct<T>(name);
  }
}

// The type of a value that a method returns: std::unique_ptr<T> stands for an object T.
template <class R>
struct ResultOf {
  using Value = R;
};
template <class T>
struct ResultOf<std::unique_ptr<T>> {
  using Value = T;
};
template <class R>
using ResultValue = typename ResultOf<R>::Value;

template <class M>
struct Method;
template <class C, class R, class... P>
struct Method<R (C::*)(P...)> {
  using Interface = C;
  using Result = R;
  using Params = std::tuple<P...>;
  static constexpr std::size_t kArity = sizeof...(P);
};

// The names in an argument list as the preprocessor spells it: "(a, b)" or "()". Used in
// constant expressions, where a count that does not match the method is a compile error.
template <std::size_t N>
constexpr std::array<std::string_view, N> SplitNames(std::string_view text) {
  if (text.size() < 2 || text.front() != '(' || text.back() != ')')
    throw "an argument list is written in parentheses";
  text = text.substr(1, text.size() - 2);
  const auto trim = [](std::string_view t) {
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    return t;
  };
  std::array<std::string_view, N> names{};
  std::size_t count = 0;
  if (!trim(text).empty()) {
    while (true) {
      const std::size_t comma = text.find(',');
      if (count == N) throw "more names than parameters";
      names[count++] = trim(text.substr(0, comma));
      if (names[count - 1].empty()) throw "an empty parameter name";
      if (comma == std::string_view::npos) break;
      text.remove_prefix(comma + 1);
    }
  }
  if (count != N) throw "fewer names than parameters";
  return names;
}

// Calls f.template operator()<I, P>() for every parameter type P of the tuple Params, in order.
template <class Params, class F>
void ForEachParam(F&& f) {
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (f.template operator()<I, std::tuple_element_t<I, Params>>(), ...);
  }
  (std::make_index_sequence<std::tuple_size_v<Params>>{});
}

}  // namespace ro_marshal

class TROProxy {
 public:
  TROProxy(std::shared_ptr<TROBinMessage> message, std::shared_ptr<IROTransportChannel> channel);
  TROProxy(const TROProxy&) = delete;
  TROProxy& operator=(const TROProxy&) = delete;
  virtual ~TROProxy();

  // The interface name written into every request.
  virtual std::string_view GetInterfaceName() const = 0;

  TROBinMessage& Message() const noexcept { return *message_; }
  IROTransportChannel& Channel() const noexcept { return *channel_; }

 protected:
  // Runs one call: writeIn(serializer) writes the in parameters, readOut(serializer) reads
  // "Result" and the out parameters. The message releases its body on every path.
  template <class WriteIn, class ReadOut>
  void Call(std::string_view libraryName, std::string_view operationName, WriteIn&& writeIn,
            ReadOut&& readOut) {
    struct ReleaseBody {
      TROBinMessage& message;
      ~ReleaseBody() { message.FreeStream(); }
    } release{*message_};
    TROSerializer& request =
        message_->InitializeRequest(libraryName, GetInterfaceName(), operationName);
    std::forward<WriteIn>(writeIn)(request);
    TROSerializer& response = message_->Dispatch(*channel_);
    std::forward<ReadOut>(readOut)(response);
  }

  // Runs interface method M as one remote call. names are its parameter names, args its
  // arguments. Out references are cleared at entry and filled one by one in their order after
  // "Result"; an out value replaces its reference only once it has been read whole, so a
  // failure leaves the values read before it with their new objects and the rest none.
  template <auto M, class... A>
  typename ro_marshal::Method<decltype(M)>::Result Invoke(
      std::string_view libraryName, std::string_view operationName,
      const std::array<std::string_view, sizeof...(A)>& names, std::tuple<A&...> args) {
    using Traits = ro_marshal::Method<decltype(M)>;
    using Params = typename Traits::Params;
    using R = typename Traits::Result;
    using ro_marshal::ForEachParam;
    ForEachParam<Params>([&]<std::size_t I, class P>() {
      if constexpr (ro_marshal::Param<P>::kOut) std::get<I>(args).reset();
    });
    R result{};
    Call(
        libraryName, operationName,
        [&](TROSerializer& s) {
          ForEachParam<Params>([&]<std::size_t I, class P>() {
            if constexpr (!ro_marshal::Param<P>::kOut)
              ro_marshal::Write<typename ro_marshal::Param<P>::Value>(s, names[I],
                                                                      std::get<I>(args));
          });
        },
        [&](TROSerializer& s) {
          result = ReadValue<ro_marshal::ResultValue<R>>(s, "Result");
          ForEachParam<Params>([&]<std::size_t I, class P>() {
            if constexpr (ro_marshal::Param<P>::kOut)
              std::get<I>(args) = ReadValue<typename ro_marshal::Param<P>::Value>(s, names[I]);
          });
        });
    return result;
  }

 private:
  // Binary values go through the message, which can hand over the received buffer itself.
  template <class T>
  auto ReadValue(TROSerializer& s, std::string_view name) {
    if constexpr (ro_marshal::KindOf<T>() == ro_marshal::Kind::Binary) {
      std::unique_ptr<TROBinaryMemoryStream> value;
      message_->ReadBinary(name, value);
      return value;
    } else {
      return ro_marshal::Read<T>(s, name);
    }
  }

  std::shared_ptr<TROBinMessage> message_;
  std::shared_ptr<IROTransportChannel> channel_;
};

using TROProxyFactory = std::shared_ptr<TROProxy> (*)(std::shared_ptr<TROBinMessage>,
                                                      std::shared_ptr<IROTransportChannel>);

class TROProxyRegistry {
 public:
  static TROProxyRegistry& Global();

  // Registers factory for the identifier (or counts one more registration of the same one).
  // Another factory under an identifier already taken throws EROException.
  void Register(const TROGuid& interfaceID, TROProxyFactory factory);
  // Undoes one registration; unknown identifiers are ignored.
  void Unregister(const TROGuid& interfaceID) noexcept;
  bool IsRegistered(const TROGuid& interfaceID) const;

  // A new proxy for the identifier; EROException when no proxy class is registered for it.
  std::shared_ptr<TROProxy> Create(const TROGuid& interfaceID,
                                   std::shared_ptr<TROBinMessage> message,
                                   std::shared_ptr<IROTransportChannel> channel) const;

 private:
  struct Entry {
    TROGuid id;
    TROProxyFactory factory;
    std::size_t registrations;
  };
  mutable std::mutex lock_;
  std::vector<Entry> entries_;
};

// The interface I of a new proxy registered for interfaceID; EROException when there is none
// or the registered proxy does not implement I.
template <class I>
std::shared_ptr<I> ROCreateProxy(const TROGuid& interfaceID, std::shared_ptr<TROBinMessage> message,
                                 std::shared_ptr<IROTransportChannel> channel) {
  std::shared_ptr<TROProxy> proxy =
      TROProxyRegistry::Global().Create(interfaceID, std::move(message), std::move(channel));
  std::shared_ptr<I> result = std::dynamic_pointer_cast<I>(proxy);
  if (!result)
    throw EROException("The proxy registered for " + interfaceID.ToString() +
                       " does not implement the requested interface");
  return result;
}
