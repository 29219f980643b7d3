// Encodes and decodes a Download_Files_Executables answer carrying 1 MiB and prints MiB/s beside
// memcpy of the same bytes; saves and loads a local manifest of 10 000 executables and prints
// the times. Goals: decoding at least half as fast as memcpy; each manifest direction within
// 10 ms. Prints every figure and exits 1 when a goal is missed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "ManifestFile.h"
#include "ROBinMessage.h"
#include "UpdaterServiceLibrary_Intf.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPart = 1 << 20;
constexpr int kRounds = 101;  // medians over this many timed operations

// Median seconds of body() over kRounds runs, each after an untimed prepare(); one warm-up.
template <class Prepare, class Body>
double MedianSeconds(Prepare&& prepare, Body&& body) {
  std::vector<double> rounds;
  for (int r = 0; r <= kRounds; ++r) {
    prepare();
    const auto start = Clock::now();
    body();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (r > 0) rounds.push_back(seconds);
  }
  std::sort(rounds.begin(), rounds.end());
  return rounds[rounds.size() / 2];
}

double MiBPerSecond(double seconds) {
  return static_cast<double>(kPart) / (1 << 20) / seconds;
}

Bytes DownloadRequest() {
  WS_Files_executables file;
  file.uid_files_executables = "F1";
  file.file_name = "App.exe";
  file.file_size = 64 * kPart;
  TROBinMessage client;
  TROSerializer& w = client.InitializeRequest(
      kUpdaterServiceLibraryName, kUpdaterServiceInterfaceName, "Download_Files_Executables");
  w.WriteStruct("File_Executable", &file);
  w.WriteInteger("File_Part_No", 1);
  w.WriteInteger("Chunk_Size", static_cast<std::int32_t>(kPart));
  const auto bytes = client.Finalize();
  return Bytes(bytes.begin(), bytes.end());
}

std::unique_ptr<WS_Array_Of_Files_executables> Manifest(int entries) {
  auto list = std::make_unique<WS_Array_Of_Files_executables>();
  for (int i = 0; i < entries; ++i) {
    auto& f = list->AddNew();
    f.uid_files_executables = "8F3A2C1E-" + std::to_string(100000 + i);
    f.file_name = "modules\\Modul" + std::to_string(i) + ".dll";
    f.file_version = "12.4.0." + std::to_string(i % 97);
    f.upload_date = 45000.5 + i;
    f.is_main_exe = i == 0 ? "D" : "N";
    f.file_description = "Biblioteka modula " + std::to_string(i);
    f.file_size = 1048576 + i;
  }
  return list;
}

}  // namespace

int main() {
  TUpdaterServiceLibraryRegistration registration;
  bool met = true;

  // ---- one 1 MiB part through the frame
  const Bytes request = DownloadRequest();
  TROBinaryMemoryStream part;
  part.SetSize(kPart);
  for (std::size_t i = 0; i < kPart; ++i) part.Data()[i] = static_cast<std::uint8_t>(i * 131);

  Bytes answer;
  TROBinMessage server;
  const double encode = MedianSeconds([] {},
                                      [&] {
                                        server.ReadRequest(request);
                                        server.InitializeResponse().WriteBinary("Result", &part);
                                        server.Finalize();
                                      });
  {
    const auto bytes = server.Finalize();
    answer.assign(bytes.begin(), bytes.end());
  }

  // The channel fills a buffer and hands it over by move: each round receives a fresh copy of
  // the answer, written just before, as the network's bytes would be.
  Bytes received;
  TROBinMessage client;
  std::size_t check = 0;
  const double decode = MedianSeconds([&] { received = answer; },
                                      [&] {
                                        client.InitializeRequest(kUpdaterServiceLibraryName,
                                                                 kUpdaterServiceInterfaceName,
                                                                 "Download_Files_Executables");
                                        std::unique_ptr<TROBinaryMemoryStream> value;
                                        client.ReadResponse(std::move(received));
                                        client.ReadBinary("Result", value);
                                        check += value->Size();
                                        client.FreeStream();
                                      });
  // The same answer through the serializer's own binary read, which copies into a new stream
  // (the path of a binary value that is not the last of its answer).
  const double decodeCopying = MedianSeconds(
      [&] { received = answer; },
      [&] {
        client.InitializeRequest(kUpdaterServiceLibraryName, kUpdaterServiceInterfaceName,
                                 "Download_Files_Executables");
        std::unique_ptr<TROBinaryMemoryStream> value;
        client.ReadResponse(std::move(received)).ReadBinary("Result", value);
        check += value->Size();
        client.FreeStream();
      });
  if (check == 0) return 2;

  // The same bytes, from a buffer in the same state, by memcpy into an existing buffer and into
  // a new one (the decoder has to make one: the stream it returns).
  const std::size_t payload = answer.size() - kPart;  // where the part starts in the answer
  Bytes target(kPart, 1);
  const double copy = MedianSeconds([&] { received = answer; },
                                    [&] {
                                      std::memcpy(target.data(), received.data() + payload, kPart);
                                      asm volatile("" : : "r"(target.data()) : "memory");
                                    });
  const double copyFresh =
      MedianSeconds([&] { received = answer; },
                    [&] {
                      Bytes fresh(received.data() + payload, received.data() + payload + kPart);
                      asm volatile("" : : "r"(fresh.data()) : "memory");
                    });

  const double ratio = MiBPerSecond(decode) / MiBPerSecond(copy);
  std::printf("Download_Files_Executables answer, 1 MiB part\n");
  std::printf("  encode (server)            %9.1f MiB/s\n", MiBPerSecond(encode));
  std::printf("  decode (client)            %9.1f MiB/s\n", MiBPerSecond(decode));
  std::printf("  decode, copying read       %9.1f MiB/s\n", MiBPerSecond(decodeCopying));
  std::printf("  memcpy, same bytes         %9.1f MiB/s\n", MiBPerSecond(copy));
  std::printf(
      "  copy into a new vector     %9.1f MiB/s   (the allocator hands back the same pages)\n",
      MiBPerSecond(copyFresh));
  std::printf("  decode / memcpy            %9.2f   (goal >= 0.50)\n", ratio);
  met = met && ratio >= 0.5;

  // ---- the local manifest
  const auto list = Manifest(10000);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tv-bench-contract-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto path = dir / "A1.kvx";
  const double save = MedianSeconds([] {}, [&] { SaveManifest(path, *list); });
  int loaded = 0;
  const double load = MedianSeconds([] {}, [&] { loaded += LoadManifest(path)->Count(); });
  const auto size = std::filesystem::file_size(path);
  std::filesystem::remove_all(dir);
  if (loaded == 0) return 2;
  std::printf("Local manifest, 10000 executables (%ju bytes)\n", static_cast<std::uintmax_t>(size));
  std::printf("  SaveManifest               %9.2f ms   (goal <= 10)\n", save * 1e3);
  std::printf("  LoadManifest               %9.2f ms   (goal <= 10)\n", load * 1e3);
  met = met && save <= 0.010 && load <= 0.010;

  std::printf("%s\n", met ? "All goals met." : "A goal was missed.");
  return met ? 0 : 1;
}
