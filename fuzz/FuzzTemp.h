// A private temporary folder for a fuzz target, in memory (/dev/shm) where the system has it so
// that writing a file per input costs little. Removed when the process ends normally.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tvfuzz {

class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix) {
    std::error_code error;
    const std::filesystem::path shm = "/dev/shm";
    const std::filesystem::path root =
        std::filesystem::is_directory(shm, error) ? shm : std::filesystem::temp_directory_path();
    std::string pattern = (root / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("Cannot create a temporary folder under " + root.string());
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tvfuzz
