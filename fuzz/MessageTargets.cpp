// The answer to each of the five operations that the updater calls: arbitrary bytes stand for
// the whole HTTP body that the channel brought back, compressed bodies and exception messages
// included. A body either fails with an EROException or yields values; those values, sent back
// in an answer that this project's server would write, must decode to values that write the
// same answer again.
#include <functional>
#include <string>

#include "FuzzTargets.h"
#include "ROBinMessage.h"
#include "UpdaterServiceLibrary_Intf.h"

namespace tvfuzz {
namespace {

constexpr TROGuid kClient = TROGuid::Parse("{5A1E7C11-0B0D-4E55-9A6B-3C2D1E0F4A11}");

// Brings back whatever it was told to, for any request.
class FixedAnswerChannel final : public IROTransportChannel {
 public:
  std::vector<std::uint8_t> answer;
  std::vector<std::uint8_t> Dispatch(std::span<const std::uint8_t>) override { return answer; }
};

struct Client {
  std::shared_ptr<TROBinMessage> message = std::make_shared<TROBinMessage>(kClient);
  std::shared_ptr<FixedAnswerChannel> channel = std::make_shared<FixedAnswerChannel>();
  std::shared_ptr<IUpdaterService> service = CoUpdaterService::Create(message, channel);
};

Client& TheClient() {
  static Client client;
  return client;
}

void SetUp() {
  static const TUpdaterServiceLibraryRegistration registration;
  TheClient();
}

// The answer that a server writes for operation with the given values.
std::vector<std::uint8_t> Answer(std::string_view operation,
                                 const std::function<void(TROSerializer&)>& writeValues) {
  TROBinMessage request(kClient);
  request.InitializeRequest(kUpdaterServiceLibraryName, kUpdaterServiceInterfaceName, operation);
  const std::span<const std::uint8_t> sent = request.Finalize();
  TROBinMessage server(kClient);
  server.ReadRequest(std::vector<std::uint8_t>(sent.begin(), sent.end()));
  writeValues(server.InitializeResponse());
  const std::span<const std::uint8_t> answer = server.Finalize();
  return {answer.begin(), answer.end()};
}

// One call on the answer input; the values it yielded, written back as an answer.
using Call = std::vector<std::uint8_t> (*)(IUpdaterService&);

void Run(Bytes input, Call call) {
  Client& client = TheClient();
  client.channel->answer.assign(input.begin(), input.end());
  std::vector<std::uint8_t> first;
  try {
    first = call(*client.service);
  } catch (const EROException&) {
    FUZZ_CHECK(!client.message->HasBody(), "a failed call leaves the message empty");
    return;
  }
  client.channel->answer = first;
  std::vector<std::uint8_t> second;
  try {
    second = call(*client.service);
  } catch (const EROException& e) {
    std::fprintf(stderr, "the server's form of the answer fails: %s\n", e.what());
    FUZZ_CHECK(false, "decoded values written back as an answer decode again");
  }
  FUZZ_CHECK(first == second, "an answer rewritten from decoded values is a fixed point");
  FUZZ_CHECK(!client.message->HasBody(), "a call leaves the message empty");
}

std::vector<std::uint8_t> CallEcho(IUpdaterService& service) {
  const bool result = service.Echo();
  return Answer("Echo", [&](TROSerializer& w) { w.WriteBoolean("Result", result); });
}

std::vector<std::uint8_t> CallIsActive(IUpdaterService& service) {
  const bool result = service.Service_IsActive();
  return Answer("Service_IsActive", [&](TROSerializer& w) { w.WriteBoolean("Result", result); });
}

std::vector<std::uint8_t> CallApplicationsList(IUpdaterService& service) {
  const std::unique_ptr<WS_Array_Of_Applications> result = service.Get_Applications_List("D");
  return Answer("Get_Applications_List", [&](TROSerializer& w) {
    w.WriteArray<WS_Array_Of_Applications>("Result", result.get());
  });
}

std::vector<std::uint8_t> CallApplication(IUpdaterService& service) {
  std::unique_ptr<WS_Applications> application;
  std::unique_ptr<WS_Array_Of_Files_executables> executables;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configurations;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  const bool result =
      service.Get_Application("DEMO", application, executables, configurations, locales);
  return Answer("Get_Application", [&](TROSerializer& w) {
    w.WriteBoolean("Result", result);
    w.WriteStruct<WS_Applications>("Applications", application.get());
    w.WriteArray<WS_Array_Of_Files_executables>("Executables", executables.get());
    w.WriteArray<WS_Array_Of_Applications_config_files>("Configurations", configurations.get());
    w.WriteArray<WS_Array_Of_Application_locales>("Locales", locales.get());
  });
}

std::vector<std::uint8_t> CallDownload(IUpdaterService& service) {
  WS_Files_executables file;
  file.uid_files_executables = "F1";
  file.file_name = "KestrovRacun.sh";
  file.file_size = 3000;
  const std::unique_ptr<TROBinaryMemoryStream> part =
      service.Download_Files_Executables(file, 2, 1024);
  return Answer("Download_Files_Executables",
                [&](TROSerializer& w) { w.WriteBinary("Result", part.get()); });
}

template <Call call>
void RunCall(Bytes input) {
  Run(input, call);
}

}  // namespace

std::vector<Target> MessageTargets() {
  return {
      {"message_Echo", &SetUp, &RunCall<&CallEcho>},
      {"message_Service_IsActive", &SetUp, &RunCall<&CallIsActive>},
      {"message_Get_Applications_List", &SetUp, &RunCall<&CallApplicationsList>},
      {"message_Get_Application", &SetUp, &RunCall<&CallApplication>},
      {"message_Download_Files_Executables", &SetUp, &RunCall<&CallDownload>},
  };
}

}  // namespace tvfuzz
