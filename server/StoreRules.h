// Small rules shared by the store, the service and publishing: errors that a caller can act on,
// new identifiers, the server's clock as TDateTime, and the check that keeps a name that the
// launcher will turn into a path inside the application folder.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tvserver {

// A refusal with a message meant for the person at the other end (administrator or client).
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A new identifier in registry form, "{8-4-4-4-12}" upper-case hex, from the system's CSPRNG.
std::string newUid();

// Now, as days since 30 December 1899 in local time (the fraction is the time of day).
double nowAsTDateTime();

// Throws StoreError unless name is a plain file or folder name: not empty, not "." or "..",
// no path separator, drive colon or control character. what names the field in the message.
void requirePlainName(std::string_view name, std::string_view what);

// For messages: a code page 1250 value quoted in UTF-8.
std::string inQuotes(std::string_view cp1250);

// Case folding of code page 1250 text ("Č" and "č" alike): names that differ only in case
// collide on the client's file system.
std::string foldCase(std::string_view cp1250);

}  // namespace tvserver
