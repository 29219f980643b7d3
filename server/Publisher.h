// Publishing: puts one application with its executables, configuration files and locales into
// the store in a single transaction, so a client sees either the previous version or the new one.
//
// Unchanged executables (same name, bytes and main mark) keep their records, so clients do not
// download them again; every changed one becomes a new record with new bytes. The files that
// drop out stay downloadable for the store's grace period. Throws StoreError for a bad name,
// a duplicate, a main executable that is not among the files, or a file that cannot be read or
// changes while it is read; the store is then unchanged.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ServerStore.h"
#include "StoreRecords.h"

namespace tvserver {

// A file to publish: its name (code page 1250) and either its bytes or the path to read them.
struct PublishFile {
  std::string name;
  std::string bytes;
  std::filesystem::path path;  // when not empty, the bytes come from here

  static PublishFile fromBytes(std::string name, std::string bytes);
  static PublishFile fromPath(std::string name, std::filesystem::path path);
};

struct PublishLocale {
  std::string name;  // code page 1250
  std::vector<PublishFile> files;
};

struct PublishSpec {
  ApplicationRow application;
  std::vector<PublishFile> executables;
  std::string mainExecutable;  // one of the executables' names; empty: none is marked
  std::vector<PublishFile> configs;
  std::vector<PublishLocale> locales;
};

struct PublishResult {
  int storedFiles = 0;     // executables whose bytes were written
  int reusedFiles = 0;     // unchanged executables kept as they were
  int collectedFiles = 0;  // older executables whose grace period had run out
};

// Called while an executable's bytes are written: file name (cp1250), bytes done, total.
using PublishProgress = std::function<void(const std::string&, std::int64_t, std::int64_t)>;

PublishResult publish(ServerStore& store, const PublishSpec& plan,
                      const PublishProgress& progress = {},
                      std::chrono::seconds grace = std::chrono::hours(1));

// Folders as the command line names them. Names are UTF-8 here and become code page 1250;
// a name the code page cannot hold, or a subfolder where files are expected, is refused.
struct PublishFolders {
  std::string uid;          // UTF-8
  std::string name;         // UTF-8
  std::string description;  // UTF-8
  bool inactive = false;
  std::filesystem::path dir;
  std::string main;  // UTF-8 file name inside dir; empty: the only file of dir
  std::optional<std::filesystem::path> configDir;
  std::vector<std::pair<std::string, std::filesystem::path>> locales;  // name (UTF-8), folder
};

PublishSpec specFromFolders(const PublishFolders& folders);

}  // namespace tvserver
