#include "DemoData.h"

#include <cstdint>

#include "TextCodec.h"

namespace tvserver {

namespace {

constexpr const char* kStartScript = R"sh(#!/bin/sh
# Demo application served by tolvara-server: records that it started, then says so.
dir=$(cd "$(dirname "$0")" && pwd)
date "+%Y-%m-%d %H:%M:%S Demo aplikacija started" >> "$dir/demo-started.txt"
echo "Demo aplikacija – Kestrov Račun started in $dir"
if [ -n "$DISPLAY" ] && command -v xmessage >/dev/null 2>&1; then
  xmessage -center -timeout 15 "Demo aplikacija – Kestrov Račun je pokrenuta." >/dev/null 2>&1 &
fi
exit 0
)sh";

constexpr const char* kConfig = R"([Kestrov]
Server=127.0.0.1
Baza=demo
Jezik=sr_RS
)";

// Bytes that do not compress, so the progress window has real work to show.
std::string dataFile(std::size_t size) {
  std::string out(size, '\0');
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    out[i] = static_cast<char>(x);
  }
  return out;
}

// An empty GNU message catalog: magic, revision 0, no strings.
std::string emptyCatalog() {
  const std::uint32_t words[] = {0x950412de, 0, 0, 28, 28, 0, 28};
  std::string out;
  for (const std::uint32_t w : words)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(w >> (8 * i)));
  return out;
}

}  // namespace

PublishSpec demoApplication() {
  PublishSpec plan;
  plan.application.uid = kDemoUid;
  plan.application.id_cd_aplikacije = "KR";
  plan.application.naziv_ikonice = utf8ToCp1250("Demo aplikacija – Kestrov Račun");
  plan.application.opis = utf8ToUtf16("Probna aplikacija servera za ažuriranje");
  plan.application.aktivan = "D";
  plan.executables = {PublishFile::fromBytes("KestrovRacun.sh", kStartScript),
                      PublishFile::fromBytes("KestrovRacun.dat", dataFile((6u << 20) + 12345))};
  plan.mainExecutable = "KestrovRacun.sh";
  plan.configs = {PublishFile::fromBytes("KestrovRacun.ini", kConfig)};
  plan.locales = {{"sr_RS", {PublishFile::fromBytes("KestrovRacun.mo", emptyCatalog())}}};
  return plan;
}

PublishResult seedDemo(ServerStore& store) {
  const PublishResult result = publish(store, demoApplication());
  store.addLookup("CD_APLIKACIJE",
                  {"", "", "KR", utf8ToCp1250("Kestrov Račun"), utf8ToCp1250("Demo"), "D"});
  return result;
}

}  // namespace tvserver
