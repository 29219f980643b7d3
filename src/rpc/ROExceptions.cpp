#include "ROExceptions.h"

EROException::EROException(const std::string& message) : std::runtime_error(message) {}

namespace ro_messages {

std::string StreamReadError() {
  return "Stream read error";
}

std::string InvalidStringLength(int64_t length) {
  return "Stream read error: Invalid string length \"" + std::to_string(length) + "\"";
}

std::string InvalidArrayCount(uint32_t count) {
  return "Stream read error: Invalid array count \"" + std::to_string(count) + "\"";
}

std::string UnknownClass(std::string_view name) {
  return "Unknown class \"" + std::string(name) + "\" found in stream.";
}

std::string UnexpectedClass(std::string_view found, std::string_view expected) {
  return "Unexpected class found in stream; class \"" + std::string(found) +
         "\" does not descend from \"" + std::string(expected) + "\".";
}

std::string IndexOutOfBounds(int64_t index) {
  return "Array index out of bounds (" + std::to_string(index) + ").";
}

std::string InvalidIndex(int64_t index) {
  return "Invalid index " + std::to_string(index);
}

}  // namespace ro_messages
