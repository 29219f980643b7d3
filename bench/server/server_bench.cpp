// Download throughput of the update service: N clients, each with its own channel, message and
// proxy (as the launcher's part workers have), pull the parts of every executable of one
// application. Every part's length is checked. Prints MiB/s and the client's CPU seconds.
//
//   server_bench URL UID [CLIENTS] [CHUNK_BYTES]
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "ROHTTPChannel.h"
#include "UpdaterServiceLibrary_Intf.h"

namespace {

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::shared_ptr<IUpdaterService> connect(const std::string& url) {
  auto channel = std::make_shared<TROHTTPChannel>();
  channel->SetTargetURL(url);
  return CoUpdaterService::Create(std::make_shared<TROBinMessage>(), channel);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: server_bench URL UID [CLIENTS] [CHUNK_BYTES]\n";
    return 2;
  }
  const std::string url = argv[1];
  const std::string uid = argv[2];
  const int clients = argc > 3 ? std::atoi(argv[3]) : 5;
  const std::int32_t chunk = argc > 4 ? std::atoi(argv[4]) : 1 << 20;
  TUpdaterServiceLibraryRegistration registration;
  try {
    std::unique_ptr<WS_Applications> app;
    std::unique_ptr<WS_Array_Of_Files_executables> exes;
    std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
    std::unique_ptr<WS_Array_Of_Application_locales> locales;
    if (!connect(url)->Get_Application(uid, app, exes, configs, locales) || !exes) {
      std::cerr << "server_bench: the server does not offer \"" << uid << "\"\n";
      return 1;
    }
    struct Part {
      const WS_Files_executables* file;
      std::int32_t no;
      std::int64_t length;
    };
    std::vector<Part> parts;
    std::int64_t total = 0;
    for (int i = 0; i < exes->Count(); ++i) {
      const WS_Files_executables* f = exes->Items(i);
      for (std::int64_t off = 0, n = 1; off < f->file_size; off += chunk, ++n)
        parts.push_back(
            {f, static_cast<std::int32_t>(n), std::min<std::int64_t>(chunk, f->file_size - off)});
      total += f->file_size;
    }
    std::atomic<std::size_t> next = 0;
    std::atomic<bool> failed = false;
    std::mutex errorMutex;
    std::string error;
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
      threads.emplace_back([&] {
        try {
          auto service = connect(url);
          for (std::size_t i; !failed && (i = next++) < parts.size();) {
            const auto bytes =
                service->Download_Files_Executables(*parts[i].file, parts[i].no, chunk);
            if (static_cast<std::int64_t>(bytes->Size()) != parts[i].length)
              throw std::runtime_error("part " + std::to_string(parts[i].no) + " has " +
                                       std::to_string(bytes->Size()) + " bytes");
          }
        } catch (const std::exception& e) {
          failed = true;
          std::lock_guard lock(errorMutex);
          error = e.what();
        }
      });
    for (auto& t : threads) t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (failed) {
      std::cerr << "server_bench: " << error << "\n";
      return 1;
    }
    std::printf(
        "tolvara-server: %d clients, %zu parts of %d bytes, %.1f MiB in %.3f s = %.1f MiB/s, "
        "client CPU %.2f s\n",
        clients, parts.size(), chunk, static_cast<double>(total) / (1 << 20), seconds,
        static_cast<double>(total) / (1 << 20) / seconds, cpuSeconds() - cpu0);
    std::printf("MIBPS %.1f\n", static_cast<double>(total) / (1 << 20) / seconds);
  } catch (const std::exception& e) {
    std::cerr << "server_bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
