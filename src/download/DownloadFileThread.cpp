#include "DownloadFileThread.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>

#include "Application.h"
#include "CodePage1250.h"
#include "Dialogs.h"
#include "DlgMessage.h"
#include "DownloadParts.h"
#include "Messages.h"
#include "ROBinaryMemoryStream.h"
#include "ROHTTPChannel.h"
#include "SafeFolder.h"
#include "UniqueFd.h"
#include "UpdaterServiceLibrary_Intf.h"

TDownloadModule* DownloadModule = nullptr;

using tv::download::EDownloadError;
using tv::download::PartCount;
using tv::download::PartLength;
using tv::download::PartOffset;

namespace tv::download {

struct TDownloadRun {
  std::mutex mutex;
  std::condition_variable wake;
  int finishedParts = 0;  // finished since the daemon last looked; guarded by mutex
  std::string failure;    // the first failure's text; guarded by mutex
  bool report = false;    // whether the failure is shown to the user; guarded by mutex
  // Read without the lock by workers and on the user-interface thread: once set, no part is
  // requested, written or reported any more.
  std::atomic<bool> stopped{false};

  void PartFinished() {
    {
      const std::lock_guard lock(mutex);
      ++finishedParts;
    }
    wake.notify_one();
  }

  // The first failure wins; later ones (other workers failing the same way) are dropped.
  void Fail(const std::string& text, bool reportIt = true) {
    {
      const std::lock_guard lock(mutex);
      if (stopped.load()) return;
      failure = text;
      report = reportIt;
      stopped.store(true);
    }
    wake.notify_one();
  }

  bool Stopped() const noexcept { return stopped.load(); }
};

}  // namespace tv::download

using tv::download::TDownloadRun;

namespace {

std::string Shown(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}

// How long a worker's channel bears silence: the client library's default, or
// TV_DOWNLOAD_TIMEOUT_MS milliseconds where a test stalls the server on purpose and cannot wait
// ten minutes for the part to fail. Anything but a positive number keeps the default.
int WorkerTimeout() {
  static const int timeout = [] {
    const char* text = std::getenv("TV_DOWNLOAD_TIMEOUT_MS");
    if (text == nullptr) return TROHTTPChannel::kDefaultTimeout;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value <= 0 || value > INT_MAX)
      return TROHTTPChannel::kDefaultTimeout;
    return static_cast<int>(value);
  }();
  return timeout;
}

}  // namespace

// ---- TDownloadModule

struct TDownloadModule::TTargetFile {
  tv::launch::TSafeFolder folder;  // where the target lives; the rename happens here
  std::string name;                // the target's own name in folder
  std::string temporaryName;       // where the parts go meanwhile
  tv::platform::UniqueFd fd;
  int64_t expectedSize = 0;
  int64_t written = 0;

  std::filesystem::path Target() const { return folder.Path() / name; }
};

TDownloadModule::TDownloadModule() = default;

TDownloadModule::~TDownloadModule() {
  AbandonTargetFile();
}

std::filesystem::path TDownloadModule::TemporaryName(const std::filesystem::path& relativeName) {
  return relativeName.parent_path() / ("." + relativeName.filename().string() + ".part");
}

void TDownloadModule::CreateTargetFile(const std::filesystem::path& appFolder,
                                       const std::filesystem::path& relativeName,
                                       int64_t expectedSize) {
  if (FTargetFile) {
    throw EDownloadError("Cannot create file " + Shown(appFolder / relativeName) + ". " +
                         Shown(FTargetFile->Target()) + " is still being written.");
  }
  auto target = std::make_unique<TTargetFile>(TTargetFile{
      tv::launch::TSafeFolder::OpenOrCreate(appFolder).Subfolder(relativeName.parent_path()),
      relativeName.filename().string(), TemporaryName(relativeName).filename().string(),
      tv::platform::UniqueFd(), expectedSize, 0});
  // A folder standing at the target's name would only be noticed at the final rename, after the
  // whole file was fetched for nothing.
  if (target->folder.HasFolder(target->name)) {
    throw EDownloadError("Cannot create file " + Shown(target->Target()) + ". " +
                         std::system_category().message(EISDIR) + ".");
  }
  // Every file of the list is an executable (as every .exe runs where the list comes from).
  target->fd = target->folder.CreateExclusive(target->temporaryName, true);
  if (expectedSize > 0) {
    const int error = ::posix_fallocate(target->fd.get(), 0, static_cast<off_t>(expectedSize));
    // File systems without reservation simply grow the file as the parts arrive.
    if (error != 0 && error != EOPNOTSUPP && error != EINVAL) {
      target->fd.reset();
      target->folder.RemoveQuietly(target->temporaryName);
      throw EDownloadError("Cannot create file " + Shown(target->Target()) + ". " +
                           std::system_category().message(error) + ".");
    }
  }
  FTargetFile = std::move(target);
}

void TDownloadModule::WritePart(const TROBinaryMemoryStream& data, int64_t partNo,
                                int32_t chunkSize) {
  if (!FTargetFile) throw EDownloadError("No file is open for the downloaded part.");
  tv::launch::WriteAllAt(FTargetFile->fd.get(), data.Data(), data.Size(),
                         PartOffset(partNo, chunkSize), FTargetFile->Target());
  FTargetFile->written += static_cast<int64_t>(data.Size());
}

void TDownloadModule::CloseTargetFile() {
  if (!FTargetFile) return;
  std::unique_ptr<TTargetFile> target = std::move(FTargetFile);
  try {
    if (target->written != target->expectedSize) {
      throw EDownloadError("File " + Shown(target->Target()) +
                           " is incomplete: " + std::to_string(target->written) + " of " +
                           std::to_string(target->expectedSize) + " bytes arrived.");
    }
    // close() releases the descriptor even when it reports a failed write-back.
    if (::close(target->fd.release()) != 0) {
      throw EDownloadError("Cannot write file " + Shown(target->Target()) + ". " +
                           std::system_category().message(errno) + ".");
    }
    target->folder.Rename(target->temporaryName, target->name);
  } catch (...) {
    target->fd.reset();
    target->folder.RemoveQuietly(target->temporaryName);
    throw;
  }
}

void TDownloadModule::AbandonTargetFile() noexcept {
  if (!FTargetFile) return;
  FTargetFile->fd.reset();
  FTargetFile->folder.RemoveQuietly(FTargetFile->temporaryName);
  FTargetFile.reset();
}

// ---- TDownloadFilePartThread

TDownloadFilePartThread::TDownloadFilePartThread(
    HWND NotifyWindow, std::string ServiceURL,
    std::shared_ptr<const WS_Array_Of_Files_executables> WorkingList,
    const WS_Files_executables& FileExecutable, int32_t PartNo, int32_t ChunkSize,
    std::shared_ptr<TDownloadRun> Run)
    : FNotifyWindow(NotifyWindow),
      FServiceURL(std::move(ServiceURL)),
      FFileExecutable(FileExecutable),
      FPartNo(PartNo),
      FChunkSize(ChunkSize),
      FWorkingList(std::move(WorkingList)),
      FRun(std::move(Run)) {}

TDownloadFilePartThread::~TDownloadFilePartThread() = default;

void TDownloadFilePartThread::Execute() {
  try {
    if (FRun->Stopped()) return;
    {
      // A channel, message and proxy of this worker's own, released once the part is here.
      auto channel = std::make_shared<TROHTTPChannel>();
      channel->SetTargetURL(FServiceURL);
      channel->SetTimeout(WorkerTimeout());
      auto message = std::make_shared<TROBinMessage>();
      const std::shared_ptr<IUpdaterService> service = CoUpdaterService::Create(message, channel);
      FPartData = service->Download_Files_Executables(FFileExecutable, FPartNo, FChunkSize);
    }
    const int64_t expected = PartLength(FPartNo, FFileExecutable.file_size, FChunkSize);
    const int64_t received = FPartData ? static_cast<int64_t>(FPartData->Size()) : -1;
    if (received != expected) {
      throw EDownloadError(
          "Part " + std::to_string(FPartNo) + " of \"" +
          tv::platform::Cp1250ToUtf8(FFileExecutable.file_name) + "\" arrived with " +
          (received < 0 ? std::string("no content") : std::to_string(received) + " bytes") +
          " instead of " + std::to_string(expected) + " bytes.");
    }
    if (FRun->Stopped()) return;
    Synchronize([this] { SyncWritePart(); });
    FPartData.reset();
    if (FRun->Stopped()) return;
    SendMessage(FNotifyWindow, WM_DOWNLOAD_PART_DONE, 1, 0);
    FFinished.store(true);
    FRun->PartFinished();
  } catch (const std::exception& error) {
    FRun->Fail(error.what());
  } catch (...) {
    FRun->Fail("The download of a part failed for an unknown reason.");
  }
}

void TDownloadFilePartThread::SyncWritePart() {
  // A stop decided meanwhile (on this thread, so before the target file was abandoned) wins.
  if (FRun->Stopped()) return;
  DownloadModule->WritePart(*FPartData, FPartNo, FChunkSize);
}

// ---- TDownloadApplicationDaemon

TDownloadApplicationDaemon::TDownloadApplicationDaemon(
    HWND NotifyWindow, std::string ServiceURL, std::filesystem::path AppFolder,
    std::shared_ptr<const WS_Array_Of_Files_executables> Executables, int32_t ChunkSize)
    : FNotifyWindow(NotifyWindow),
      FServiceURL(std::move(ServiceURL)),
      FAppFolder(std::move(AppFolder)),
      FExecutables(std::move(Executables)),
      FChunkSize(ChunkSize),
      FRun(std::make_shared<TDownloadRun>()) {}

void TDownloadApplicationDaemon::Launch(
    HWND NotifyWindow, std::string ServiceURL, std::filesystem::path AppFolder,
    std::shared_ptr<const WS_Array_Of_Files_executables> Executables, int32_t ChunkSize) {
  if (!Executables || ChunkSize <= 0) {
    throw std::invalid_argument("A download needs a working list and a chunk size above zero.");
  }
  StartFreeOnTerminate(std::unique_ptr<TThread>(
      new TDownloadApplicationDaemon(NotifyWindow, std::move(ServiceURL), std::move(AppFolder),
                                     std::move(Executables), ChunkSize)));
}

void TDownloadApplicationDaemon::Execute() {
  try {
    SendMessage(FNotifyWindow, WM_DOWNLOAD_START, 0, 0);
    for (int32_t i = 0; i < FExecutables->Count(); ++i) {
      const WS_Files_executables* file = FExecutables->Items(i);
      if (file == nullptr) continue;  // an empty slot names no file
      if (!DownloadFile(*file)) {
        StopAndReport();
        return;
      }
    }
    SendMessage(FNotifyWindow, WM_DOWNLOAD_FINISHED, 0, 0);
  } catch (const std::exception& error) {
    FRun->Fail(error.what());
    StopAndReport();
  }
}

bool TDownloadApplicationDaemon::DownloadFile(const WS_Files_executables& file) {
  FFileName = file.file_name;
  if (file.file_size < 0) {
    throw EDownloadError("The update service gives \"" + tv::platform::Cp1250ToUtf8(FFileName) +
                         "\" a negative size.");
  }
  const int64_t parts = PartCount(file.file_size, FChunkSize);
  if (parts > INT32_MAX) {
    throw EDownloadError("\"" + tv::platform::Cp1250ToUtf8(FFileName) +
                         "\" has more parts than one download can number.");
  }
  SendMessage(FNotifyWindow, WM_DOWNLOAD_FILE_START, static_cast<uint32_t>(parts), 0);
  SyncCreateTargetFile(file);

  int32_t next = 1;  // the next part to hand out; parts go out in ascending order
  int inFlight = 0;
  std::unique_lock lock(FRun->mutex);
  for (;;) {
    if (FRun->Stopped()) return false;
    if (Application == nullptr || Application->Terminated()) {
      lock.unlock();
      FRun->Fail("The program is ending.", false);
      return false;
    }
    inFlight -= FRun->finishedParts;
    FRun->finishedParts = 0;
    // A free slot is filled at once.
    while (inFlight < kMaxWorkers && next <= parts) {
      lock.unlock();
      StartFreeOnTerminate(std::make_unique<TDownloadFilePartThread>(
          FNotifyWindow, FServiceURL, FExecutables, file, next, FChunkSize, FRun));
      lock.lock();
      ++next;
      ++inFlight;
    }
    if (inFlight == 0 && next > parts) break;
    // Sleeps until a worker has finished or failed: no core is burnt while parts are in flight.
    FRun->wake.wait(lock, [&] { return FRun->finishedParts > 0 || FRun->Stopped(); });
  }
  lock.unlock();

  SyncCloseTargetFile();
  SendMessage(FNotifyWindow, WM_DOWNLOAD_FILE_DONE, 0, 0);
  return true;
}

void TDownloadApplicationDaemon::SyncCreateTargetFile(const WS_Files_executables& file) {
  const std::filesystem::path relative = tv::launch::SafeRelativePath(file.file_name);
  Synchronize([&] { DownloadModule->CreateTargetFile(FAppFolder, relative, file.file_size); });
}

void TDownloadApplicationDaemon::SyncCloseTargetFile() {
  Synchronize([] { DownloadModule->CloseTargetFile(); });
}

void TDownloadApplicationDaemon::StopAndReport() {
  std::string text;
  bool report = false;
  {
    const std::lock_guard lock(FRun->mutex);
    text = FRun->failure;
    report = FRun->report;
  }
  try {
    // Running workers are let go: they write nothing more and end on their own.
    RunOnUiThread([&] {
      DownloadModule->AbandonTargetFile();
      if (!report) return;
      ShowMessage(text);
      if (Form_DlgMessage) Form_DlgMessage->ShowDlgMessage(kDownloadFailedHeadline, "", 1, false);
    });
  } catch (...) {
    // The report itself failed; ending the program is all that is left.
  }
  if (Application) Application->Terminate();
}
