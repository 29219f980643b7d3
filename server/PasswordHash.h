// Salted, slow password hashes for administrator accounts: PBKDF2-HMAC-SHA256 (OpenSSL) with a
// 16-byte random salt. The iteration count is stored with each hash, so raising the default
// later keeps older hashes verifiable. Throws std::runtime_error only when OpenSSL fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tvserver {

struct PasswordHash {
  static constexpr int kDefaultIterations = 210000;

  std::string salt;  // 16 random bytes
  std::string hash;  // 32 bytes
  int iterations = kDefaultIterations;

  static PasswordHash make(std::string_view password, int iterations = kDefaultIterations);
  // Compares in constant time.
  bool matches(std::string_view password) const;
};

}  // namespace tvserver
