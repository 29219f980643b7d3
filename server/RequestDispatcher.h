// One request body in, one answer out, without HTTP: decodes the message, runs the operation on
// the update service and frames the answer. Every failure (a body that is no message, another
// interface, an unknown operation, parameters that do not decode, a refusal of the service)
// becomes an exception message for the client; nothing a client sends can take the server down.
//
// Download_Files_Executables takes a short way: the part is read from the store straight into
// the answer's buffer, so a part costs one buffer of its size and no further copy.
//
// Thread-safe: each call uses its own message. Calls are counted per operation name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FaultPlan.h"
#include "ServerStore.h"
#include "UpdaterServiceImpl.h"

class TROBinMessage;

namespace tvserver {

struct Reply {
  enum class Kind {
    Message,    // body is a message (status 200, or 500 for an exception message)
    Drop,       // close the connection in the middle of the answer
    HttpError,  // status without a message
  };
  Kind kind = Kind::Message;
  int httpStatus = 200;
  std::unique_ptr<std::uint8_t[]> body;
  std::size_t size = 0;

  std::string_view view() const { return {reinterpret_cast<const char*>(body.get()), size}; }
};

class RequestDispatcher {
 public:
  struct Options {
    bool compress = false;
    std::size_t maxBodyBytes = std::size_t{64} << 20;  // largest request body, also inflated
  };

  RequestDispatcher(ServerStore& store, UpdaterServiceImpl& service, Options options,
                    FaultPlan* faults = nullptr);

  Reply handle(std::vector<std::uint8_t> request);
  // An exception message for a request that was refused before it was read (too large, or in
  // a transfer form the server does not take).
  Reply refuse(std::string_view message) const;

  const Options& options() const { return options_; }

  struct DownloadRequest {
    std::string uid;
    std::int32_t partNo = 0;
    std::int32_t chunkSize = 0;
  };

  int calls(std::string_view operation) const;
  void resetCalls();

 private:
  Reply finish(TROBinMessage& message, int status) const;
  Reply sendPart(TROBinMessage& message, const DownloadRequest& request,
                 const std::optional<Fault>& fault);

  // Requests name record classes that must be known while they are decoded.
  TUpdaterServiceLibraryRegistration registration_;
  ServerStore& store_;
  UpdaterServiceImpl& service_;
  Options options_;
  FaultPlan* faults_;
  mutable std::mutex callsMutex_;
  std::map<std::string, int, std::less<>> calls_;
};

}  // namespace tvserver
