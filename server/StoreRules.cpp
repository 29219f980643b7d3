#include "StoreRules.h"

#include <openssl/rand.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "CodePage1250.h"
#include "TextCodec.h"

namespace tvserver {

std::string newUid() {
  unsigned char b[16];
  if (RAND_bytes(b, sizeof b) != 1) throw std::runtime_error("The system has no random numbers");
  char text[40];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[0],
                b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return text;
}

double nowAsTDateTime() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&secs, &local);
  const double unixLocal = static_cast<double>(secs) + static_cast<double>(local.tm_gmtoff);
  const double fraction =
      static_cast<double>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000) /
      1000.0;
  return 25569.0 + (unixLocal + fraction) / 86400.0;
}

void requirePlainName(std::string_view name, std::string_view what) {
  const auto refuse = [&](const std::string& why) {
    throw StoreError(std::string(what) + " " + inQuotes(name) + " " + why);
  };
  if (name.empty()) throw StoreError(std::string(what) + " is empty");
  if (name == "." || name == "..") refuse("is not a file name");
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == ':') refuse("must be a plain name without a folder or drive");
    if (b < 0x20 || b == 0x7F) refuse("contains a control character");
    if (std::string_view("<>\"|?*").find(c) != std::string_view::npos)
      refuse("contains a character that Windows does not allow in file names");
  }
}

std::string inQuotes(std::string_view cp1250) {
  return "\"" + cp1250ToUtf8(cp1250) + "\"";
}

std::string foldCase(std::string_view cp1250) {
  std::string out(cp1250);
  for (char& c : out)
    c = static_cast<char>(tv::platform::Cp1250ToLower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace tvserver
