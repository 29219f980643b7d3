// The download engine: TDownloadModule holds the one target file that is being assembled, and
// (declared below once the thread class is in place) the daemon that walks the working list and
// the part workers that fetch 1 MiB parts in parallel. The engine reports to the launch window
// only through the five window messages below, sent synchronously.
//
// TDownloadModule writes every file under a temporary name beside the target (".<name>.part") and
// renames it over the target only when all of its bytes have arrived, so an interrupted download
// never leaves a half-written executable under the real name and a running old executable is not
// disturbed. Its operations run on the user-interface thread only; each throws
// tv::download::EDownloadError naming the file and the system's reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "WinTypes.h"

class TROBinaryMemoryStream;

// Progress messages from the download threads to the launch window (WM_USER + 100 ... + 104).
inline constexpr UINT WM_DOWNLOAD_START = 1124;
inline constexpr UINT WM_DOWNLOAD_FINISHED = 1125;
inline constexpr UINT WM_DOWNLOAD_FILE_START = 1126;
inline constexpr UINT WM_DOWNLOAD_FILE_DONE = 1127;
inline constexpr UINT WM_DOWNLOAD_PART_DONE = 1128;

namespace tv::download {
class EDownloadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
}  // namespace tv::download

class TDownloadModule {
 public:
  TDownloadModule();
  TDownloadModule(const TDownloadModule&) = delete;
  TDownloadModule& operator=(const TDownloadModule&) = delete;
  // An open target file is abandoned: its temporary file is removed, the target left as it was.
  ~TDownloadModule();

  // Begins the file fullName (below appFolder, whose own path may be a link): missing subfolders
  // are created without following links, and a fresh temporary file beside the target is opened
  // with room for expectedSize bytes. Fails when a file is already open.
  void CreateTargetFile(const std::filesystem::path& appFolder,
                        const std::filesystem::path& relativeName, int64_t expectedSize);
  // Writes the whole stream at offset (partNo - 1) * chunkSize of the open file.
  void WritePart(const TROBinaryMemoryStream& data, int64_t partNo, int32_t chunkSize);
  // The file is complete: the temporary file gets its final name (replacing the old target, or a
  // link planted there, never writing through it). Fails, and keeps the old target, when fewer
  // bytes than expected were written.
  void CloseTargetFile();
  // Closes the open file without giving it its final name and removes the temporary file.
  // Does nothing when no file is open; never throws.
  void AbandonTargetFile() noexcept;

  bool HasTargetFile() const noexcept;
  // Where the parts of fullName go while it is downloaded.
  static std::filesystem::path TemporaryName(const std::filesystem::path& relativeName);

 private:
  struct TTargetFile;
  std::unique_ptr<TTargetFile> FTargetFile;
};

// The one module of the process, created by the entry sequence before the windows.
extern TDownloadModule* DownloadModule;
