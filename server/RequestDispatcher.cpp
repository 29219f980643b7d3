#include "RequestDispatcher.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "ROBinMessage.h"
#include "ROClassRegistry.h"
#include "UpdaterService_Invoker.h"

namespace tvserver {

namespace {

constexpr std::string_view kDownload = "Download_Files_Executables";

Reply messageReply(std::span<const std::uint8_t> bytes, int status) {
  Reply r;
  r.httpStatus = status;
  r.size = bytes.size();
  r.body = std::make_unique_for_overwrite<std::uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), r.body.get());
  return r;
}

void putUInt32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

RequestDispatcher::DownloadRequest readDownloadRequest(TROSerializer& in) {
  RequestDispatcher::DownloadRequest d;
  const auto file = in.ReadStruct<WS_Files_executables>("File_Executable");
  if (!file) throw EROException("Download_Files_Executables needs File_Executable");
  d.uid = file->uid_files_executables;
  d.partNo = in.ReadInteger("File_Part_No");
  d.chunkSize = in.ReadInteger("Chunk_Size");
  return d;
}

}  // namespace

RequestDispatcher::RequestDispatcher(ServerStore& store, UpdaterServiceImpl& service,
                                     Options options, FaultPlan* faults)
    : store_(store), service_(service), options_(options), faults_(faults) {}

Reply RequestDispatcher::finish(TROBinMessage& message, int status) const {
  return messageReply(message.Finalize(), status);
}

Reply RequestDispatcher::refuse(std::string_view text) const {
  TROBinMessage message(TROGuid{});
  message.SetCompressWrites(options_.compress);
  message.WriteException("EROException", text);
  return finish(message, 500);
}

Reply RequestDispatcher::handle(std::vector<std::uint8_t> request) {
  TROBinMessage message;
  message.SetCompressWrites(options_.compress);
  message.SetMaxBodySize(options_.maxBodyBytes);
  try {
    message.ReadRequest(std::move(request));
  } catch (const std::exception& e) {
    message.WriteException("EROException", e.what());
    return finish(message, 500);
  }
  const std::string operation = message.OperationName();
  {
    std::lock_guard lock(callsMutex_);
    ++calls_[operation];
  }
  const bool isDownload =
      operation == kDownload && ROSameText(message.InterfaceName(), kUpdaterServiceInterfaceName);

  std::optional<DownloadRequest> download;
  if (isDownload) {
    try {
      download = readDownloadRequest(message.Reader());
    } catch (const std::exception& e) {
      message.WriteException("EROException", e.what());
      return finish(message, 500);
    }
  }
  std::optional<Fault> fault;
  if (faults_)
    fault = faults_->strike(operation, download ? std::optional(download->partNo) : std::nullopt);
  if (fault) {
    switch (fault->kind) {
      case Fault::Kind::Stall:
        std::this_thread::sleep_for(fault->stall);
        break;
      case Fault::Kind::Drop:
        return Reply{Reply::Kind::Drop, 200, nullptr, 0};
      case Fault::Kind::HttpError: {
        static constexpr std::string_view text = "Injected HTTP error";
        Reply r = messageReply({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                               fault->httpStatus);
        r.kind = Reply::Kind::HttpError;
        return r;
      }
      case Fault::Kind::Exception:
        message.WriteException(kServerErrorClass, fault->message);
        return finish(message, 500);
      case Fault::Kind::ShortPart:
      case Fault::Kind::OversizedPart:
        break;
    }
  }
  if (download) return sendPart(message, *download, fault);
  try {
    TUpdaterService_Invoker::Invoke(service_, message);
    return finish(message, 200);
  } catch (const EROServerException& e) {
    message.WriteException(e.ServerClassName(), e.what());
  } catch (const std::exception& e) {
    message.WriteException("EROException", e.what());
  }
  return finish(message, 500);
}

Reply RequestDispatcher::sendPart(TROBinMessage& message, const DownloadRequest& d,
                                  const std::optional<Fault>& fault) {
  try {
    const bool shortPart = fault && fault->kind == Fault::Kind::ShortPart;
    const std::size_t extra =
        fault && fault->kind == Fault::Kind::OversizedPart ? fault->extraBytes : 0;
    if (options_.compress) {
      std::vector<std::uint8_t> bytes;
      service_.guarded([&] {
        store_.readPart(d.uid, d.partNo, d.chunkSize, [&](std::size_t n) {
          bytes.resize(n + extra);
          return bytes.data();
        });
        return 0;
      });
      if (shortPart) bytes.resize(bytes.size() / 2);
      std::fill(bytes.end() - static_cast<std::ptrdiff_t>(extra), bytes.end(), 0xEE);
      const TROBinaryMemoryStream part(std::move(bytes));
      message.InitializeResponse().WriteBinary("Result", &part);
      return finish(message, 200);
    }
    // The frame around the part: header and names, then the binary's presence byte and length.
    message.InitializeResponse();
    const std::span<const std::uint8_t> head = message.Finalize();
    Reply r;
    std::uint8_t* values = nullptr;
    service_.guarded([&] {
      store_.readPart(d.uid, d.partNo, d.chunkSize, [&](std::size_t n) {
        const std::size_t length = shortPart ? n / 2 : n + extra;
        if (length > UINT32_MAX) throw StoreError("The part is too large to send");
        r.size = head.size() + 5 + length;
        r.body = std::make_unique_for_overwrite<std::uint8_t[]>(head.size() + 5 + n + extra);
        std::copy(head.begin(), head.end(), r.body.get());
        values = r.body.get() + head.size();
        values[0] = 1;
        putUInt32(values + 1, static_cast<std::uint32_t>(length));
        std::fill_n(values + 5 + n, extra, std::uint8_t{0xEE});
        return values + 5;
      });
      return 0;
    });
    return r;
  } catch (const EROServerException& e) {
    message.WriteException(e.ServerClassName(), e.what());
  } catch (const std::exception& e) {
    message.WriteException("EROException", e.what());
  }
  return finish(message, 500);
}

int RequestDispatcher::calls(std::string_view operation) const {
  std::lock_guard lock(callsMutex_);
  const auto it = calls_.find(operation);
  return it == calls_.end() ? 0 : it->second;
}

void RequestDispatcher::resetCalls() {
  std::lock_guard lock(callsMutex_);
  calls_.clear();
}

}  // namespace tvserver
