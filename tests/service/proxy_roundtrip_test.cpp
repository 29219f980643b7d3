// Every operation of UpdaterService over a real loopback HTTP endpoint: the proxy and the HTTP
// channel on the client side, the invoker over a fake implementation on the server side.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "../rpc/FrameBytes.h"
#include "../rpc/LoopbackHttpServer.h"
#include "FakeUpdaterService.h"
#include "ROHTTPChannel.h"
#include "UpdaterServiceLibrary_Intf.h"
#include "UpdaterService_Invoker.h"

using fake::Bytes;
using fake::Encoded;
using frame_bytes::Builder;

namespace {

const TROGuid kID = TROGuid::Parse("{00112233-4455-6677-8899-AABBCCDDEEFF}");

Bytes ToBytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

class RoundTrip : public testing::Test {
 protected:
  RoundTrip() { channel->SetTargetURL(server.Url()); }

  std::shared_ptr<IUpdaterService> Proxy() { return CoUpdaterService::Create(message, channel); }

  // Inspects the server's side between calls (calls run one at a time).
  template <class F>
  void Server(F&& f) {
    const std::lock_guard<std::mutex> guard(lock);
    f();
  }

  TUpdaterServiceLibraryRegistration registration;
  fake::FakeUpdaterService service;
  std::mutex lock;
  std::vector<Bytes> requests;
  std::vector<Bytes> responses;
  LoopbackHttpServer server{[this](const httplib::Request& req, httplib::Response& res) {
    const std::lock_guard<std::mutex> guard(lock);
    requests.push_back(ToBytes(req.body));
    TROBinMessage serverMessage;
    const auto answer =
        TUpdaterService_Invoker::ProcessMessage(service, ToBytes(req.body), serverMessage);
    responses.emplace_back(answer.begin(), answer.end());
    res.status = answer[6] == 1 ? 500 : 200;
    res.set_content(std::string(answer.begin(), answer.end()), "application/octet-stream");
  }};
  std::shared_ptr<TROBinMessage> message = std::make_shared<TROBinMessage>(kID);
  std::shared_ptr<TROHTTPChannel> channel = std::make_shared<TROHTTPChannel>();
};

}  // namespace

TEST_F(RoundTrip, EveryOperationCarriesItsValuesBothWays) {
  using F = fake::FakeUpdaterService;
  const F samples;
  const auto filePtr = fake::File("F9", 77);
  const WS_Files_executables& file = *filePtr;
  const auto config = fake::Config("C9");
  const auto locale = fake::Locale("de_DE");
  const WS_Locale_files& localeFile = *locale->locale_files().Items(0);
  const auto appExes = samples.AppExes();

  struct Case {
    const char* name;
    std::function<void(IUpdaterService&)> call;
    std::vector<std::string> values = {};  // simple in values the server must have received
    std::vector<Bytes> objects = {};       // in objects the server must have received
  };
  const Case cases[] = {
      {"Echo", [](IUpdaterService& s) { EXPECT_TRUE(s.Echo()); }},
      {"Get_Applications_List",
       [&](IUpdaterService& s) {
         EXPECT_EQ(Encoded(s.Get_Applications_List("D")), Encoded(samples.Applications()));
       },
       {"D"}},
      {"Insert_Applications",
       [](IUpdaterService& s) { EXPECT_TRUE(s.Insert_Applications(*fake::App("A9"))); },
       {},
       {Encoded(fake::App("A9"))}},
      {"Update_Applications",
       [](IUpdaterService& s) { EXPECT_TRUE(s.Update_Applications(*fake::App("A8"))); },
       {},
       {Encoded(fake::App("A8"))}},
      {"Delete_Applications",
       [](IUpdaterService& s) { EXPECT_TRUE(s.Delete_Applications("A7")); },
       {"A7"}},
      {"Service_IsActive", [](IUpdaterService& s) { EXPECT_TRUE(s.Service_IsActive()); }},
      {"Service_Activate", [](IUpdaterService& s) { EXPECT_TRUE(s.Service_Activate()); }},
      {"Service_Deactivate", [](IUpdaterService& s) { EXPECT_TRUE(s.Service_Deactivate()); }},
      {"Service_GetName",
       [&](IUpdaterService& s) { EXPECT_EQ(s.Service_GetName(), samples.stringResult); }},
      {"Service_SetName",
       [](IUpdaterService& s) { EXPECT_TRUE(s.Service_SetName("Novi servis")); },
       {"Novi servis"}},
      {"Get_Files_executables_List",
       [&](IUpdaterService& s) {
         EXPECT_EQ(Encoded(s.Get_Files_executables_List()), Encoded(samples.Files()));
       }},
      {"Insert_Files_executables",
       [&](IUpdaterService& s) { EXPECT_EQ(s.Insert_Files_executables(file), "new-F9"); },
       {},
       {Encoded(file)}},
      {"Update_Files_executables",
       [&](IUpdaterService& s) { EXPECT_TRUE(s.Update_Files_executables(file)); },
       {},
       {Encoded(file)}},
      {"Delete_Files_executables",
       [](IUpdaterService& s) { EXPECT_TRUE(s.Delete_Files_executables("F6")); },
       {"F6"}},
      {"Get_Applications_config_files_List",
       [&](IUpdaterService& s) {
         EXPECT_EQ(Encoded(s.Get_Applications_config_files_List("A1")), Encoded(samples.Configs()));
       },
       {"A1"}},
      {"Insert_Applications_config_files",
       [&](IUpdaterService& s) { EXPECT_TRUE(s.Insert_Applications_config_files(*config)); },
       {},
       {Encoded(*config)}},
      {"Update_Applications_config_files",
       [&](IUpdaterService& s) { EXPECT_TRUE(s.Update_Applications_config_files(*config)); },
       {},
       {Encoded(*config)}},
      {"Delete_Applications_config_files",
       [](IUpdaterService& s) { EXPECT_TRUE(s.Delete_Applications_config_files("C5")); },
       {"C5"}},
      {"AdminLogin",
       [](IUpdaterService& s) { EXPECT_TRUE(s.AdminLogin("admin", "lozinka \x9A")); },
       {"admin", "lozinka \x9A"}},
      {"Get_CD_Lookups_By_Name",
       [&](IUpdaterService& s) {
         EXPECT_EQ(Encoded(s.Get_CD_Lookups_By_Name("VRSTE")), Encoded(samples.Lookups()));
       },
       {"VRSTE"}},
      {"Upload_Files_Executables",
       [&](IUpdaterService& s) {
         EXPECT_TRUE(s.Upload_Files_Executables(file, 2, 1000, *F::Part(2, 1000)));
       },
       {"2", "1000"},
       {Encoded(file), F::Part(2, 1000)->TakeBytes()}},
      {"Download_Files_Executables",
       [&](IUpdaterService& s) {
         const auto part = s.Download_Files_Executables(file, 3, 1048576);
         ASSERT_TRUE(part);
         EXPECT_TRUE(*part == *F::Part(3, 1048576));
         EXPECT_EQ(part->Position(), 0u);
       },
       {"3", "1048576"},
       {Encoded(file)}},
      {"Get_Applications_Executables",
       [&](IUpdaterService& s) {
         EXPECT_EQ(Encoded(s.Get_Applications_Executables("A1")), Encoded(samples.AppExes()));
       },
       {"A1"}},
      {"Update_Applications_Executables",
       [&](IUpdaterService& s) { EXPECT_TRUE(s.Update_Applications_Executables("A1", *appExes)); },
       {"A1"},
       {Encoded(appExes)}},
      {"Get_Application",
       [&](IUpdaterService& s) {
         std::unique_ptr<WS_Applications> app;
         std::unique_ptr<WS_Array_Of_Files_executables> exes;
         std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
         std::unique_ptr<WS_Array_Of_Application_locales> locales;
         EXPECT_TRUE(s.Get_Application("A1", app, exes, configs, locales));
         EXPECT_EQ(Encoded(app), Encoded(fake::App("A1")));
         EXPECT_EQ(Encoded(exes), Encoded(samples.Files()));
         EXPECT_EQ(Encoded(configs), Encoded(samples.Configs()));
         EXPECT_EQ(Encoded(locales), Encoded(samples.Locales()));
       },
       {"A1"}},
      {"Insert_Application_locales",
       [&](IUpdaterService& s) { EXPECT_TRUE(s.Insert_Application_locales(*locale)); },
       {},
       {Encoded(*locale)}},
      {"Update_Application_locales",
       [&](IUpdaterService& s) { EXPECT_TRUE(s.Update_Application_locales(*locale)); },
       {},
       {Encoded(*locale)}},
      {"Delete_Application_locales",
       [](IUpdaterService& s) { EXPECT_TRUE(s.Delete_Application_locales("L4")); },
       {"L4"}},
      {"Insert_Locales_files",
       [&](IUpdaterService& s) { EXPECT_TRUE(s.Insert_Locales_files(localeFile)); },
       {},
       {Encoded(localeFile)}},
      {"Update_Locales_files",
       [&](IUpdaterService& s) { EXPECT_TRUE(s.Update_Locales_files(localeFile)); },
       {},
       {Encoded(localeFile)}},
      {"Delete_Locales_files",
       [](IUpdaterService& s) { EXPECT_TRUE(s.Delete_Locales_files("LF3")); },
       {"LF3"}},
      {"Get_Application_Locales",
       [&](IUpdaterService& s) {
         EXPECT_EQ(Encoded(s.Get_Application_Locales("A1")), Encoded(samples.Locales()));
       },
       {"A1"}},
  };

  std::set<std::string> covered;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.call(*Proxy());
    EXPECT_FALSE(message->HasBody());
    Server([&] {
      ASSERT_FALSE(service.calls.empty());
      EXPECT_EQ(service.calls.back(), c.name);
      EXPECT_EQ(service.values, c.values);
      EXPECT_EQ(service.objects, c.objects);
      EXPECT_EQ(service.callers.back(), kID);
    });
    covered.insert(c.name);
  }
  EXPECT_EQ(covered, std::set<std::string>(kUpdaterServiceOperationNames.begin(),
                                           kUpdaterServiceOperationNames.end()));
}

TEST_F(RoundTrip, BooleanAnswersFalseArriveAsFalse) {
  service.boolResult = false;
  const auto proxy = Proxy();
  EXPECT_FALSE(proxy->Echo());
  EXPECT_FALSE(proxy->Service_IsActive());
  EXPECT_FALSE(proxy->Update_Applications(*fake::App("A1")));
}

TEST_F(RoundTrip, RequestBytesAreExact) {
  WS_Files_executables file;  // the worked example of the manifest layout
  file.file_name = "App.exe";
  file.file_size = 1048577;
  file.file_version = "1.0.0.1";
  file.is_main_exe = "D";
  file.uid_files_executables = "A1";
  file.upload_date = 41263.5;
  const Bytes fileBytes = Builder()
                              .Raw({1})
                              .Str("WS_Files_executables")
                              .Str("")
                              .Str("App.exe")
                              .Int64(1048577)
                              .Str("1.0.0.1")
                              .Str("D")
                              .Str("A1")
                              .Raw({0, 0, 0, 0, 0xF0, 0x25, 0xE4, 0x40})
                              .b;

  const auto proxy = Proxy();
  proxy->Echo();
  proxy->Get_Applications_List("D");
  proxy->Download_Files_Executables(file, 1, 5);
  std::unique_ptr<WS_Applications> app;
  std::unique_ptr<WS_Array_Of_Files_executables> exes;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  proxy->Get_Application("A1", app, exes, configs, locales);

  auto request = [](const char* operation) {
    return Builder().Header().Str("UpdaterService").Str(operation);
  };
  Server([&] {
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0], request("Echo").b);
    EXPECT_EQ(requests[1], request("Get_Applications_List").Str("D").b);
    EXPECT_EQ(requests[2],
              request("Download_Files_Executables").Raw(fileBytes).Int32(1).Int32(5).b);
    EXPECT_EQ(requests[3], request("Get_Application").Str("A1").b);

    // The answers, as the server framed them.
    auto response = [](const char* operation) {
      return Builder().Header().Str("UpdaterService").Str(operation);
    };
    EXPECT_EQ(responses[0], response("EchoResponse").Bool(true).b);
    const auto part = fake::FakeUpdaterService::Part(1, 5);
    EXPECT_EQ(responses[2], response("Download_Files_ExecutablesResponse")
                                .Raw({1})
                                .Int32(5)
                                .Raw(Bytes(part->Bytes().begin(), part->Bytes().end()))
                                .b);
  });
}

TEST_F(RoundTrip, AbsentOutValuesStayNoneAndEarlierObjectsAreNotKept) {
  service.sendApplication = false;
  service.sendLocales = false;
  auto app = fake::App("old");
  auto exes = std::make_unique<WS_Array_Of_Files_executables>();
  std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
  auto locales = std::make_unique<WS_Array_Of_Application_locales>();
  EXPECT_TRUE(Proxy()->Get_Application("A1", app, exes, configs, locales));
  EXPECT_EQ(app, nullptr);
  EXPECT_EQ(locales, nullptr);
  ASSERT_TRUE(exes);
  EXPECT_EQ(exes->Count(), 2);
  ASSERT_TRUE(configs);
  EXPECT_EQ(configs->Count(), 1);
}

TEST_F(RoundTrip, ServerFailureArrivesWithItsTextAndTheConnectionCarriesOn) {
  service.beforeAnswer = [] {
    throw EROServerException("EUpdaterServerError", "Aplikacija A1 ne postoji");
  };
  const auto proxy = Proxy();
  try {
    proxy->Get_Applications_List("D");
    ADD_FAILURE() << "no failure";
  } catch (const EROServerException& e) {
    EXPECT_STREQ(e.what(), "Aplikacija A1 ne postoji");
    EXPECT_EQ(e.ServerClassName(), "EUpdaterServerError");
  }
  EXPECT_FALSE(message->HasBody());

  Server([&] { service.beforeAnswer = nullptr; });
  EXPECT_TRUE(proxy->Echo());
}
