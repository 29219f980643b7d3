#include "SoakApplication.h"

#include <algorithm>
#include <set>

#include "CodePage1250.h"

namespace tv::soak {
namespace {

constexpr std::int64_t kMiB = 1 << 20;

// ASCII letters and digits, and š Š đ Đ č Č ć Ć ž Ž in code page 1250.
const std::string kLetters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
    "\x9A\x8A\xF0\xD0\xE8\xC8\xE6\xC6\x9E\x8E";

template <class T>
const T& Pick(std::mt19937_64& random, const std::vector<T>& values) {
  return values[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random)];
}

std::int64_t RandomSize(std::mt19937_64& random) {
  const std::int64_t size = Pick<std::int64_t>(
      random, {0, 1, 4095, kMiB - 1, kMiB, kMiB + 1, 2 * kMiB - 1, 2 * kMiB, 2 * kMiB + 1, -1});
  if (size >= 0) return size;
  return std::uniform_int_distribution<std::int64_t>(2, 3 * kMiB)(random);
}

std::string RandomBytes(std::mt19937_64& random, std::int64_t size) {
  std::string bytes(static_cast<std::size_t>(size), '\0');
  for (std::size_t i = 0; i < bytes.size(); i += 8) {
    const std::uint64_t word = random();
    for (std::size_t j = 0; j < 8 && i + j < bytes.size(); ++j)
      bytes[i + j] = static_cast<char>(word >> (8 * j));
  }
  return bytes;
}

std::string Folded(const std::string& cp1250) {
  std::string folded = cp1250;
  for (char& c : folded)
    c = static_cast<char>(tv::platform::Cp1250ToLower(static_cast<unsigned char>(c)));
  return folded;
}

}  // namespace

std::string RandomName(std::mt19937_64& random, const std::string& extension) {
  const int length = std::uniform_int_distribution<int>(1, 12)(random);
  std::uniform_int_distribution<std::size_t> letter(0, kLetters.size() - 1);
  std::string name;
  for (int i = 0; i < length; ++i) {
    const int kind = std::uniform_int_distribution<int>(0, 9)(random);
    if (i > 0 && i + 1 < length && kind == 0) {
      name += ' ';
    } else if (i > 0 && i + 1 < length && kind == 1) {
      name += '-';
    } else {
      name += kLetters[letter(random)];
    }
  }
  return name + extension;
}

std::string RandomUid(std::mt19937_64& random, int round) {
  return "SOAK" + std::to_string(round) + "_" + RandomName(random, "");
}

tvserver::PublishSpec RandomApplication(std::mt19937_64& random, const std::string& uid,
                                        int round) {
  tvserver::PublishSpec spec;
  spec.application.uid = uid;
  spec.application.naziv_ikonice = "Aplikacija " + RandomName(random, "");
  spec.application.opis = u"Probna aplikacija \u0161\u0111\u010D\u0107\u017E";
  spec.application.aktivan = "D";

  // Names compare without regard to case on the server and on Windows: keep them apart.
  std::set<std::string> taken;
  const auto unique = [&](const std::string& extension) {
    for (;;) {
      std::string name = RandomName(random, extension);
      if (taken.insert(Folded(name)).second) return name;
    }
  };
  const std::string main = unique(".sh");
  spec.mainExecutable = main;
  // Appends its start to the marker in the folder it was started in (the application folder).
  spec.executables.push_back(tvserver::PublishFile::fromBytes(
      main, "#!/bin/sh\n# round " + std::to_string(round) + "\necho \"$$\" >> " +
                std::string(kStartMarker) + "\n"));
  const int others = std::uniform_int_distribution<int>(0, 3)(random);
  for (int i = 0; i < others; ++i) {
    const std::string name = unique(".dat");
    spec.executables.push_back(
        tvserver::PublishFile::fromBytes(name, RandomBytes(random, RandomSize(random))));
  }
  std::shuffle(spec.executables.begin(), spec.executables.end(), random);
  spec.configs.push_back(tvserver::PublishFile::fromBytes(
      unique(".ini"), "[Aplikacija]\r\nVerzija=" + std::to_string(round) + "\r\n"));
  spec.locales.push_back(
      {"sr_RS", {tvserver::PublishFile::fromBytes(unique(".mo"), RandomBytes(random, 64))}});
  return spec;
}

}  // namespace tv::soak
