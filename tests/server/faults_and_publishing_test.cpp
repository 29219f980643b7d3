// Faults that tests ask for, and re-publishing while clients download.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ServerTestSupport.h"
#include "TestServer.h"

namespace tvserver {
namespace {

using testing::Client;
using testing::patternBytes;
using testing::sameBytes;

constexpr std::int32_t kMiB = 1 << 20;

std::unique_ptr<WS_Array_Of_Files_executables> executables(Client& c, const std::string& uid) {
  std::unique_ptr<WS_Applications> app;
  std::unique_ptr<WS_Array_Of_Files_executables> exes;
  std::unique_ptr<WS_Array_Of_Applications_config_files> cfg;
  std::unique_ptr<WS_Array_Of_Application_locales> loc;
  c->Get_Application(uid, app, exes, cfg, loc);
  return exes;
}

TEST(ServerFaults, EachKindOfFaultReachesTheClientAsIntended) {
  TestServer server;
  const std::string data = patternBytes(3 * kMiB, 4);
  server.publishApp("A", "A", {{"a.bin", data}});
  Client c(server.url());
  const auto exes = executables(c, "A");
  ASSERT_TRUE(exes);
  const WS_Files_executables& file = *exes->Items(0);
  FaultPlan& faults = server.faults();

  faults.add({"Echo", Fault::Kind::Exception, {}, 0, 1, {}, "Servis je zauzet"});
  try {
    c->Echo();
    ADD_FAILURE() << "no exception";
  } catch (const EROServerException& e) {
    EXPECT_STREQ(e.what(), "Servis je zauzet");
  }
  EXPECT_TRUE(c->Echo());  // times = 1: the second call goes through

  faults.add({"Service_IsActive", Fault::Kind::HttpError, {}, 0, 1, {}, {}, 503});
  try {
    c->Service_IsActive();
    ADD_FAILURE() << "no transport error";
  } catch (const EROTransportError& e) {
    EXPECT_NE(std::string(e.what()).find("503"), std::string::npos) << e.what();
  }

  faults.add({"Service_GetName", Fault::Kind::Drop, {}, 0, 1});
  EXPECT_THROW(c->Service_GetName(), EROTransportError);
  EXPECT_EQ(c->Service_GetName(), "Tolvara Update Server");

  // Part faults strike only the part they name.
  faults.add({"Download_Files_Executables", Fault::Kind::ShortPart, 2});
  faults.add({"Download_Files_Executables", Fault::Kind::OversizedPart, 3, 0, -1, {}, {}, 0, 10});
  EXPECT_TRUE(
      sameBytes(c->Download_Files_Executables(file, 1, kMiB)->ToString(), data.substr(0, kMiB)));
  EXPECT_TRUE(sameBytes(c->Download_Files_Executables(file, 2, kMiB)->ToString(),
                        data.substr(kMiB, kMiB / 2)));
  const std::string oversized = c->Download_Files_Executables(file, 3, kMiB)->ToString();
  EXPECT_EQ(oversized.size(), static_cast<std::size_t>(kMiB + 10));
  EXPECT_TRUE(sameBytes(oversized.substr(0, kMiB), data.substr(2 * kMiB)));

  // A stall longer than the client waits is a time-out; a stall it waits out is no failure.
  faults.add(
      {"Get_Applications_List", Fault::Kind::Stall, {}, 0, 2, std::chrono::milliseconds(1500)});
  c.channel->SetTimeout(300);
  EXPECT_THROW(c->Get_Applications_List("D"), EROTransportError);
  c.channel->SetTimeout(30000);
  EXPECT_EQ(c->Get_Applications_List("D")->Count(), 1);

  EXPECT_EQ(server.calls("Echo"), 2);
  EXPECT_EQ(server.calls("Download_Files_Executables"), 3);
  EXPECT_EQ(server.calls("Upload_Files_Executables"), 0);
}

TEST(ServerFaults, AfterCallsLeavesTheFirstCallsAlone) {
  TestServer server;
  server.faults().add({"Echo", Fault::Kind::Exception, {}, 2});
  Client c(server.url());
  EXPECT_TRUE(c->Echo());
  EXPECT_TRUE(c->Echo());
  EXPECT_THROW(c->Echo(), EROServerException);
  EXPECT_THROW(c->Echo(), EROServerException);
  server.faults().clear();
  EXPECT_TRUE(c->Echo());
  EXPECT_EQ(server.calls("Echo"), 5);
}

// Clients that download while new versions are published see one whole version: the list and
// the bytes of every file in it agree, whichever version they got.
TEST(ServerPublishing, RepublishingIsAtomicForClientsThatDownload) {
  TestServer server;
  const auto version = [](int v) {
    return std::vector<TestServer::File>{
        {"main.exe", patternBytes(static_cast<std::size_t>(kMiB + 1000 + v), v)},
        {"lib.dll", patternBytes(static_cast<std::size_t>(2 * kMiB + 7 * v), 100 + v)}};
  };
  server.publishApp("A", "A", version(1));
  std::atomic<bool> publishing = true;
  std::atomic<int> rounds = 0;
  std::vector<std::string> problems;
  std::mutex problemsMutex;
  std::vector<std::thread> clients;
  for (int t = 0; t < 3; ++t) {
    clients.emplace_back([&] {
      Client c(server.url());
      while (publishing || rounds < 6) {
        try {
          const auto exes = executables(c, "A");
          const int v = static_cast<int>(exes->Items(0)->file_size - kMiB - 1000);
          const auto expected = version(v);
          for (int i = 0; i < exes->Count(); ++i) {
            const auto& f = *exes->Items(i);
            std::string bytes;
            for (std::int32_t n = 1; std::int64_t{n - 1} * kMiB < f.file_size; ++n)
              bytes += c->Download_Files_Executables(f, n, kMiB)->ToString();
            if (f.file_name != expected[i].first || bytes != expected[i].second) {
              std::lock_guard lock(problemsMutex);
              problems.push_back("version " + std::to_string(v) + ": " + f.file_name +
                                 " does not match its list");
            }
          }
          ++rounds;
        } catch (const std::exception& e) {
          std::lock_guard lock(problemsMutex);
          problems.push_back(e.what());
          return;
        }
      }
    });
  }
  for (int v = 2; v <= 6; ++v) server.publishApp("A", "A", version(v));
  publishing = false;
  for (auto& t : clients) t.join();
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_GE(rounds, 6);
}

}  // namespace
}  // namespace tvserver
