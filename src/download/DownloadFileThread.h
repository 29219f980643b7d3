// The download engine. TDownloadApplicationDaemon walks the working list file by file; for each
// file it hands out the parts in ascending order to at most five TDownloadFilePartThread workers,
// each with its own channel, message and proxy, and starts the next part as soon as a worker has
// finished. Every part is written on the user-interface thread (TDownloadModule), and progress
// reaches the launch window only through the five window messages below, sent synchronously.
//
// A file is written under a temporary name beside the target (".<name>.part") and renamed over the
// target only when all of its bytes have arrived, so an interrupted download never leaves a
// half-written executable under the real name and a running old executable is not disturbed.
//
// Failures: a part that cannot be fetched, arrives with any length but its exact one, or cannot
// be written, and a file that cannot be created or completed, stop the whole download. The first
// failure is reported once (its text in the plain message box, then the message dialog
// "Greška!!! Program će biti prekinut"), no further part is requested or written, the temporary
// file is removed, the program is asked to terminate and WM_DOWNLOAD_FINISHED is never sent.
//
// A worker's channel gives up after the client library's default silence of 600000 ms; the
// environment variable TV_DOWNLOAD_TIMEOUT_MS (milliseconds) shortens it for tests that stall
// the server on purpose.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "Thread.h"
#include "WinTypes.h"

class TROBinaryMemoryStream;
class WS_Files_executables;
class WS_Array_Of_Files_executables;

// Progress messages from the download threads to the launch window (WM_USER + 100 ... + 104).
inline constexpr UINT WM_DOWNLOAD_START = 1124;
inline constexpr UINT WM_DOWNLOAD_FINISHED = 1125;
inline constexpr UINT WM_DOWNLOAD_FILE_START = 1126;  // wParam: the file's number of parts
inline constexpr UINT WM_DOWNLOAD_FILE_DONE = 1127;
inline constexpr UINT WM_DOWNLOAD_PART_DONE = 1128;  // wParam: 1

// The headline of every download failure report.
inline constexpr const char* kDownloadFailedHeadline = "Greška!!! Program će biti prekinut";

namespace tv::download {

class EDownloadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the daemon and its workers share: the stop after the first failure, and the wake-up by
// which a worker tells the daemon that its slot is free. Defined in DownloadFileThread.cpp.
struct TDownloadRun;

}  // namespace tv::download

// Holds the one target file that is being assembled. Its operations run on the user-interface
// thread only; each throws tv::download::EDownloadError (or the file layer's error) naming the
// file and the system's reason.
class TDownloadModule {
 public:
  TDownloadModule();
  TDownloadModule(const TDownloadModule&) = delete;
  TDownloadModule& operator=(const TDownloadModule&) = delete;
  // An open target file is abandoned: its temporary file is removed, the target left as it was.
  ~TDownloadModule();

  // Begins relativeName below appFolder (whose own path may pass through links): missing
  // subfolders are created without following links, and a fresh temporary file beside the
  // target is opened, executable, with room reserved for expectedSize bytes (a full disk fails
  // here, before any part is fetched). Fails when a file is open already.
  void CreateTargetFile(const std::filesystem::path& appFolder,
                        const std::filesystem::path& relativeName, int64_t expectedSize);
  // Writes the whole stream at offset (partNo - 1) * chunkSize of the open file.
  void WritePart(const TROBinaryMemoryStream& data, int64_t partNo, int32_t chunkSize);
  // The file is complete: it gets its final name (replacing the old target, or a link planted
  // there, never writing through it). Fails, keeping the old target and removing the temporary
  // file, when the bytes written differ from the expected size.
  void CloseTargetFile();
  // Closes the open file without giving it its final name and removes the temporary file.
  // Does nothing when no file is open; never throws.
  void AbandonTargetFile() noexcept;

  bool HasTargetFile() const noexcept { return FTargetFile != nullptr; }
  // Where the parts of relativeName go while it is downloaded: ".<file name>.part" beside it.
  static std::filesystem::path TemporaryName(const std::filesystem::path& relativeName);

 private:
  struct TTargetFile;
  std::unique_ptr<TTargetFile> FTargetFile;
};

// The one module of the process, created by the entry sequence before the windows.
extern TDownloadModule* DownloadModule;

// One part of one file: fetched with Download_Files_Executables on a channel of its own, checked
// for its exact length, written through DownloadModule on the user-interface thread, reported
// with WM_DOWNLOAD_PART_DONE. The daemon starts it and it frees itself when done.
class TDownloadFilePartThread : public TThread {
 public:
  TDownloadFilePartThread(HWND NotifyWindow, std::string ServiceURL,
                          std::shared_ptr<const WS_Array_Of_Files_executables> WorkingList,
                          const WS_Files_executables& FileExecutable, int32_t PartNo,
                          int32_t ChunkSize, std::shared_ptr<tv::download::TDownloadRun> Run);
  ~TDownloadFilePartThread() override;

  const HWND FNotifyWindow;
  const std::string FServiceURL;
  const WS_Files_executables& FFileExecutable;  // an element of the working list, read only
  const int32_t FPartNo;                        // counted from 1
  const int32_t FChunkSize;
  // Set as the worker's very last action, after its part was written and reported.
  std::atomic<bool> FFinished{false};
  std::unique_ptr<TROBinaryMemoryStream> FPartData;

 protected:
  void Execute() override;

 private:
  void SyncWritePart();

  const std::shared_ptr<const WS_Array_Of_Files_executables> FWorkingList;  // keeps the element
  const std::shared_ptr<tv::download::TDownloadRun> FRun;
};

// The download of a whole working list. Launch creates it and starts it at once; it owns itself
// and ends with its work (nothing keeps a reference to it or waits for it).
class TDownloadApplicationDaemon : public TThread {
 public:
  // At most this many parts are in flight at once.
  static constexpr int kMaxWorkers = 5;

  static void Launch(HWND NotifyWindow, std::string ServiceURL, std::filesystem::path AppFolder,
                     std::shared_ptr<const WS_Array_Of_Files_executables> Executables,
                     int32_t ChunkSize);

  const HWND FNotifyWindow;
  const std::string FServiceURL;
  const std::filesystem::path FAppFolder;
  const std::shared_ptr<const WS_Array_Of_Files_executables> FExecutables;
  const int32_t FChunkSize;
  std::string FFileName;  // file_name (cp1250) of the file being downloaded

 protected:
  void Execute() override;

 private:
  TDownloadApplicationDaemon(HWND NotifyWindow, std::string ServiceURL,
                             std::filesystem::path AppFolder,
                             std::shared_ptr<const WS_Array_Of_Files_executables> Executables,
                             int32_t ChunkSize);
  // True when the file arrived whole; false when the download stopped.
  bool DownloadFile(const WS_Files_executables& file);
  void SyncCreateTargetFile(const WS_Files_executables& file);
  void SyncCloseTargetFile();
  void StopAndReport();

  const std::shared_ptr<tv::download::TDownloadRun> FRun;
};
