#include "PasswordHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace tvserver {
namespace {

std::string derive(std::string_view password, const std::string& salt, int iterations) {
  std::string out(32, '\0');
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()),
                        static_cast<int>(salt.size()), iterations, EVP_sha256(),
                        static_cast<int>(out.size()),
                        reinterpret_cast<unsigned char*>(out.data())) != 1)
    throw std::runtime_error("Cannot hash the password (OpenSSL failed)");
  return out;
}

}  // namespace

PasswordHash PasswordHash::make(std::string_view password, int iterations) {
  PasswordHash h;
  h.iterations = iterations;
  h.salt.resize(16);
  if (RAND_bytes(reinterpret_cast<unsigned char*>(h.salt.data()), 16) != 1)
    throw std::runtime_error("The system has no random numbers for a password salt");
  h.hash = derive(password, h.salt, iterations);
  return h;
}

bool PasswordHash::matches(std::string_view password) const {
  if (iterations < 1 || hash.size() != 32) return false;
  const std::string candidate = derive(password, salt, iterations);
  return CRYPTO_memcmp(candidate.data(), hash.data(), hash.size()) == 0;
}

}  // namespace tvserver
