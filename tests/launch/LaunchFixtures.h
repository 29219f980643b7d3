// Small builders for the launch tests: a temporary folder that goes away with the test, and
// executables lists written the way the service would send them.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

#include "TempDir.h"
#include "UpdaterServiceLibrary_Types.h"

namespace tv::launch::testing {

using ::TempDir;

inline WS_Files_executables& AddExe(WS_Array_Of_Files_executables& list, std::string uid,
                                    std::string name, int64_t size, std::string main = "N") {
  WS_Files_executables& e = list.AddNew();
  e.uid_files_executables = std::move(uid);
  e.file_name = std::move(name);
  e.file_version = "1.0.0.1";
  e.upload_date = 41263.5;
  e.is_main_exe = std::move(main);
  e.file_description = "description";
  e.file_size = size;
  return e;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tv::launch::testing
