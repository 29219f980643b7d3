// The local manifest and the launch decision on top of it: arbitrary bytes lie in the manifest
// file of an application whose every listed executable is present, and the service sends a
// fixed list. The decision never fails on the manifest's content; it downloads unless the bytes
// decode as a list equal to the service's (file_description aside), and then it keeps the file
// untouched. A download removes the manifest first and works from the service's list.
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "AppPaths.h"
#include "FuzzTargets.h"
#include "FuzzTemp.h"
#include "LocalManifest.h"
#include "ManifestList.h"
#include "ROStreamSerializer.h"

namespace tvfuzz {
namespace {

struct Fixture {
  TempFolder folder{"tv-fuzz-manifest"};
  std::filesystem::path appFolder = folder.path() / "Kestrov" / "DEMO";
  std::filesystem::path manifest;
  WS_Array_Of_Files_executables service;
  std::vector<std::uint8_t> serviceBytes;  // the service's list as the manifest stores it

  Fixture() {
    FillManifestServiceList(service);
    for (int32_t i = 0; i < service.Count(); ++i) {
      const auto path = appFolder / tv::launch::SafeRelativePath(service.Items(i)->file_name);
      std::filesystem::create_directories(path.parent_path());
      std::ofstream(path, std::ios::binary) << "x";
    }
    manifest = tv::launch::ManifestPath(appFolder, kManifestUid);
    TROStreamSerializer writer(serviceBytes);
    writer.WriteArray<WS_Array_Of_Files_executables>("ArrayOfFilesExecutables", &service);
  }
};

Fixture* fixture = nullptr;

void SetUp() {
  static const TUpdaterServiceTypesRegistration registration;
  static Fixture instance;
  fixture = &instance;
}

// What the bytes hold, decoded here on their own rather than through the code under test.
std::optional<std::unique_ptr<WS_Array_Of_Files_executables>> DecodeAlone(Bytes bytes) {
  try {
    TROStreamSerializer reader(bytes);
    std::unique_ptr<WS_Array_Of_Files_executables> list;
    reader.ReadArray<WS_Array_Of_Files_executables>("ArrayOfFilesExecutables", list);
    return list;
  } catch (const EROException&) {
    return std::nullopt;
  }
}

bool EqualForTheDecision(const WS_Array_Of_Files_executables& a,
                         const WS_Array_Of_Files_executables& b) {
  if (a.Count() != b.Count()) return false;
  for (int32_t i = 0; i < a.Count(); ++i) {
    const WS_Files_executables* x = a.Items(i);
    const WS_Files_executables* y = b.Items(i);
    if (x == nullptr || y == nullptr) {
      if (x != y) return false;
      continue;
    }
    if (x->uid_files_executables != y->uid_files_executables || x->file_name != y->file_name ||
        x->file_version != y->file_version || !(x->upload_date == y->upload_date) ||
        x->file_size != y->file_size || x->is_main_exe != y->is_main_exe)
      return false;
  }
  return true;
}

std::vector<std::uint8_t> Encoded(const WS_Array_Of_Files_executables& list) {
  std::vector<std::uint8_t> bytes;
  TROStreamSerializer writer(bytes);
  writer.WriteArray<WS_Array_Of_Files_executables>("ArrayOfFilesExecutables", &list);
  return bytes;
}

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Run(Bytes input) {
  Fixture& f = *fixture;
  {
    std::ofstream out(f.manifest, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(input.data()), std::streamsize(input.size()));
  }
  const auto decoded = DecodeAlone(input);
  const bool equal = decoded && *decoded && EqualForTheDecision(f.service, **decoded);

  const tv::launch::TManifestDecision decision =
      tv::launch::DecideDownload(f.manifest, f.appFolder, f.service);

  FUZZ_CHECK(decision.WorkingList != nullptr, "the decision always yields a working list");
  FUZZ_CHECK(decision.Download == !equal,
             "download unless the manifest is a readable list equal to the service's");
  std::error_code error;
  if (decision.Download) {
    FUZZ_CHECK(!std::filesystem::exists(f.manifest, error), "a download removes the manifest");
    FUZZ_CHECK(Encoded(*decision.WorkingList) == f.serviceBytes,
               "a download works from the service's list");
  } else {
    FUZZ_CHECK(FileBytes(f.manifest) == std::vector<std::uint8_t>(input.begin(), input.end()),
               "a manifest that needs no download is left untouched");
    FUZZ_CHECK(Encoded(*decision.WorkingList) == Encoded(**decoded),
               "without a download the working list is the manifest's");
  }
}

}  // namespace

std::vector<Target> ManifestTargets() {
  return {{"manifest_decision", &SetUp, &Run}};
}

}  // namespace tvfuzz
