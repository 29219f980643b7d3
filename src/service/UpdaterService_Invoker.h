// TUpdaterService_Invoker: the server side of UpdaterService. It decodes the in parameters of
// the operation that a request names, calls that method of an IUpdaterService implementation
// and encodes "Result" and the out parameters, all from the same operation list as the proxy.
//
// Invoke raises EROException for an operation the interface does not have and for a request
// that leaves out a record, array or stream the operation needs; decoding errors of the
// serializer and whatever the implementation throws pass through. ProcessMessage is the whole
// round for a server: it turns every failure into an exception message for the client, so a
// faulty request or a failing implementation never takes the server down.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ROBinMessage.h"
#include "ROSerializer.h"
#include "UpdaterServiceLibrary_Intf.h"

// Who is calling: an implementation reads it through TROCallContext::Current() while the
// invoker runs one of its methods. It is kept per thread, so servers that serve each request on
// one thread (as an HTTP server's worker does) see their own caller only.
struct TROCallContext {
  TROGuid clientID;
  std::string interfaceName;
  std::string operationName;

  // The call that this thread is serving; none outside a call.
  static const TROCallContext* Current() noexcept;
};

class TUpdaterService_Invoker {
 public:
  // Returns the writer of the answer; called once the implementation has returned.
  using ResponseStarter = std::function<TROSerializer&()>;

  TUpdaterService_Invoker() = delete;

  static bool HasOperation(std::string_view operationName) noexcept;

  // One operation: read its in parameters from in, call impl, write the answer to the writer
  // that beginResponse hands out. context, when given, is visible to impl during the call.
  static void Invoke(IUpdaterService& impl, std::string_view operationName, TROSerializer& in,
                     const ResponseStarter& beginResponse, const TROCallContext* context = nullptr);

  // The request that message has read (TROBinMessage::ReadRequest): checks the interface name,
  // runs the operation and leaves the normal answer in message, ready for Finalize.
  static void Invoke(IUpdaterService& impl, TROBinMessage& message);

  // A whole request as received: decode, run, answer. Any failure (an undecodable request, an
  // unknown interface or operation, an exception of impl) becomes an exception message; an
  // EROServerException keeps its class name, other failures go out as "EROException".
  // The bytes returned stay valid until message is used again.
  static std::span<const std::uint8_t> ProcessMessage(IUpdaterService& impl,
                                                      std::vector<std::uint8_t> request,
                                                      TROBinMessage& message);
};
