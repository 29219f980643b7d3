// tolvara-server's request handling: arbitrary bytes as the body of a POST to the dispatcher,
// against a store in memory that holds one small application, with an administrator session for
// the client identifier that the seed requests carry (so that the seeds reach every operation).
// The dispatcher answers every body with a message that a client can read: the answer to the
// operation that the body names (status 200), or an exception message (status 500).
#include <fstream>
#include <memory>

#include "AdminSessions.h"
#include "FuzzTargets.h"
#include "FuzzTemp.h"
#include "ROBinMessage.h"
#include "RequestDispatcher.h"
#include "SeedApplication.h"
#include "ServerStore.h"
#include "UpdaterServiceImpl.h"

namespace tvfuzz {
namespace {

// The administrator's client identifier in the seed requests.
constexpr TROGuid kAdminClient = TROGuid::Parse("{0D1CE0FF-A11C-4E5D-8F1E-5EED00000001}");

struct Server {
  TempFolder folder{"tv-fuzz-server"};
  std::ofstream log{"/dev/null"};
  tvserver::ServerStore store{(folder.path() / "store.db").string()};
  tvserver::AdminSessions sessions;
  tvserver::UpdaterServiceImpl service{store, sessions, &log};
  tvserver::RequestDispatcher plain{store, service, {false, std::size_t{64} << 20}};
  tvserver::RequestDispatcher compressing{store, service, {true, std::size_t{64} << 20}};

  Server() {
    tvserver::publish(store, SeedApplication());
    store.setAdminPassword("admin", "tolvara");
    sessions.open(kAdminClient.bytes);
  }
};

Server* server = nullptr;

void SetUp() {
  static const TUpdaterServiceLibraryRegistration registration;
  static Server instance;
  server = &instance;
}

void Run(Bytes input) {
  // A reserved header byte, which readers ignore, picks the server that compresses its answers.
  const bool compress = input.size() > 8 && (input[8] & 1) != 0;
  tvserver::RequestDispatcher& dispatcher = compress ? server->compressing : server->plain;
  const tvserver::Reply reply = dispatcher.handle({input.begin(), input.end()});
  FUZZ_CHECK(reply.kind == tvserver::Reply::Kind::Message, "every body gets a message back");
  FUZZ_CHECK(reply.httpStatus == 200 || reply.httpStatus == 500, "status 200 or 500");
  const std::vector<std::uint8_t> answer(reply.body.get(), reply.body.get() + reply.size);

  // What the request names, if it can be read at all.
  TROBinMessage request;
  std::string interfaceName = "UpdaterService", operation = "Echo";
  bool readable = false;
  try {
    request.ReadRequest({input.begin(), input.end()});
    interfaceName = request.InterfaceName();
    operation = request.OperationName();
    readable = true;
  } catch (const EROException&) {
  }
  TROBinMessage client;
  client.InitializeRequest("UpdaterServiceLibrary", interfaceName, operation);
  client.Finalize();
  try {
    client.ReadResponse(answer);
    FUZZ_CHECK(readable, "a body that is no request is refused");
    FUZZ_CHECK(reply.httpStatus == 200, "a normal answer has status 200");
  } catch (const EROServerException&) {
    FUZZ_CHECK(reply.httpStatus == 500, "an exception message has status 500");
  } catch (const EROException& e) {
    std::fprintf(stderr, "the client cannot read the answer: %s\n", e.what());
    FUZZ_CHECK(false, "the answer is a message the client can read");
  }
}

}  // namespace

std::vector<Target> ServerTargets() {
  return {{"server_request", &SetUp, &Run}};
}

}  // namespace tvfuzz
