// Exceptions of the rpc and service layers. Every failure raised by the value types, the
// serializers, the class registry, the message, the channel and the proxy derives from
// EROException, so a window-level routine catches one base class and shows what() to the user.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// The common base of every rpc/service failure; what() is the text meant for the user.
class EROException : public std::runtime_error {
 public:
  explicit EROException(const std::string& message);
};

// The byte stream cannot be decoded: "Stream read error", a bad string length, a bad count.
class EROStreamError : public EROException {
 public:
  using EROException::EROException;
};

// A record named in the stream is not a registered class.
class EROUnknownClass : public EROException {
 public:
  using EROException::EROException;
};

// A record named in the stream does not descend from the class the reader expects.
class EROUnexpectedClass : public EROException {
 public:
  using EROException::EROException;
};

// An array index or size outside what the array holds ("Array index out of bounds (%d).",
// "Invalid index %d").
class EROInvalidIndex : public EROException {
 public:
  using EROException::EROException;
};

// Assign from a value that cannot be copied at all (none, or a value of the wrong family).
class EROAssignError : public EROException {
 public:
  using EROException::EROException;
};

// A class cannot be created, registered or looked up as asked (abstract base, name clash).
class EROClassError : public EROException {
 public:
  using EROException::EROException;
};

// A file of the service layer (the local manifest) cannot be opened, read or written.
class EROFileError : public EROException {
 public:
  using EROException::EROException;
};

// The exact user-visible texts, in one place so that tests and callers agree on them.
namespace ro_messages {
std::string StreamReadError();                    // "Stream read error"
std::string InvalidStringLength(int64_t length);  // ... Invalid string length "%d"
std::string InvalidArrayCount(uint32_t count);    // ... Invalid array count "%u"
std::string UnknownClass(std::string_view name);  // Unknown class "%s" found ...
std::string UnexpectedClass(std::string_view found, std::string_view expected);
std::string IndexOutOfBounds(int64_t index);  // Array index out of bounds (%d).
std::string InvalidIndex(int64_t index);      // Invalid index %d
}  // namespace ro_messages
