// The application that the server-side target serves and that the seed corpus was made from: a
// few small executables (one empty, one across several 1 KiB parts) with Serbian names in code
// page 1250, a configuration file and one locale. Small, so that every input runs quickly.
#pragma once

#include <string>

#include "Publisher.h"

namespace tvfuzz {

inline constexpr const char* kSeedUid = "DEMO";
inline constexpr int kSeedChunkSize = 1024;

inline tvserver::PublishSpec SeedApplication() {
  tvserver::PublishSpec spec;
  spec.application.uid = kSeedUid;
  spec.application.id_cd_aplikacije = "KR";
  spec.application.naziv_ikonice = "Kestrov Ra\xE8un";  // "Račun"
  spec.application.opis = u"Probna aplikacija \u0161\u010D";
  spec.application.aktivan = "D";
  std::string data(2600, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 37 + 11);
  spec.executables = {
      tvserver::PublishFile::fromBytes("KestrovRacun.sh", "#!/bin/sh\necho started\n"),
      tvserver::PublishFile::fromBytes("Podaci \x9A\xE8.dat", data),  // "šč"
      tvserver::PublishFile::fromBytes("prazno.txt", ""),
  };
  spec.mainExecutable = "KestrovRacun.sh";
  spec.configs = {
      tvserver::PublishFile::fromBytes("KestrovRacun.ini", "[Kestrov]\r\nServer=127.0.0.1\r\n")};
  spec.locales = {
      {"sr_RS", {tvserver::PublishFile::fromBytes("KestrovRacun.mo", "\xDE\x12\x04\x95")}}};
  return spec;
}

}  // namespace tvfuzz
