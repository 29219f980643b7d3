// The update service over WinINet: the proxy and the Windows channel on the client side, the
// invoker over a fake implementation behind a Winsock loopback server, so that the whole client
// stack of the launcher and the installer is seen working on Windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeUpdaterService.h"
#include "ROHTTPChannel.h"
#include "UpdaterServiceLibrary_Intf.h"
#include "UpdaterService_Invoker.h"
#include "Win32LoopbackServer.h"

using fake::Encoded;
using testing::HasSubstr;
using tvtest::HttpAnswer;
using tvtest::HttpRequest;

namespace {

const TROGuid kID = TROGuid::Parse("{00112233-4455-6677-8899-AABBCCDDEEFF}");

class WinInetRoundTrip : public testing::Test {
 protected:
  WinInetRoundTrip() { channel->SetTargetURL(server.URL()); }
  std::shared_ptr<IUpdaterService> Proxy() { return CoUpdaterService::Create(message, channel); }

  TUpdaterServiceLibraryRegistration registration;
  fake::FakeUpdaterService service;
  std::mutex lock;
  tvtest::Win32LoopbackServer server{[this](const HttpRequest& request) {
    const std::lock_guard<std::mutex> guard(lock);
    TROBinMessage serverMessage;
    const auto answer = TUpdaterService_Invoker::ProcessMessage(
        service, fake::Bytes(request.body.begin(), request.body.end()), serverMessage);
    // The service reports its own failures with status 500 and a message body.
    return std::optional<HttpAnswer>(
        HttpAnswer{answer[6] == 1 ? 500 : 200, std::string(answer.begin(), answer.end())});
  }};
  std::shared_ptr<TROBinMessage> message = std::make_shared<TROBinMessage>(kID);
  std::shared_ptr<TROHTTPChannel> channel = std::make_shared<TROHTTPChannel>();
};

}  // namespace

TEST_F(WinInetRoundTrip, TheChecksAndTheApplicationOfALaunch) {
  EXPECT_TRUE(Proxy()->Echo());
  EXPECT_TRUE(Proxy()->Service_IsActive());
  service.boolResult = false;
  EXPECT_FALSE(Proxy()->Service_IsActive());

  std::unique_ptr<WS_Applications> app;
  std::unique_ptr<WS_Array_Of_Files_executables> exes;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  Proxy()->Get_Application("A1", app, exes, configs, locales);
  EXPECT_EQ(Encoded(app), Encoded(fake::App("A1")));
  EXPECT_EQ(Encoded(exes), Encoded(service.Files()));
  EXPECT_EQ(Encoded(configs), Encoded(service.Configs()));
  EXPECT_EQ(Encoded(locales), Encoded(service.Locales()));
  EXPECT_EQ(service.values, std::vector<std::string>{"A1"});
}

TEST_F(WinInetRoundTrip, APartOfOneMebibyteArrivesWhole) {
  const auto file = fake::File("F9", 3 * 1048576);
  const auto part = Proxy()->Download_Files_Executables(*file, 2, 1048576);
  ASSERT_TRUE(part);
  EXPECT_TRUE(*part == *fake::FakeUpdaterService::Part(2, 1048576));
}

TEST_F(WinInetRoundTrip, TheServicesFailureArrivesWithItsText) {
  service.beforeAnswer = [] { throw std::runtime_error("Baza nije dostupna"); };
  try {
    Proxy()->Echo();
    ADD_FAILURE() << "the failed call returned";
  } catch (const EROException& e) {
    EXPECT_THAT(e.what(), HasSubstr("Baza nije dostupna"));
  }
}
