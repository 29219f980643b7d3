// What the server answers to requests the proxy would never send, and the HTTP rules around
// the dispatcher path.
#include <gtest/gtest.h>

#include "ServerTestSupport.h"
#include "TestServer.h"

namespace tvserver {
namespace {

using testing::Client;
using testing::rawPost;

std::string frame(std::string_view interfaceName, std::string_view operation,
                  const std::function<void(TROSerializer&)>& params = {},
                  const TROGuid& id = TROGuid::NewRandom()) {
  TROBinMessage m(id);
  TROSerializer& w = m.InitializeRequest("UpdaterServiceLibrary", interfaceName, operation);
  if (params) params(w);
  const auto bytes = m.Finalize();
  return std::string(bytes.begin(), bytes.end());
}

// The text of the exception message in body; fails the test when body is anything else.
std::string exceptionText(const std::string& body) {
  if (body.size() < 28 || body.compare(0, 5, "RO107") != 0 || body[6] != 1) {
    ADD_FAILURE() << "not an exception message: " << body.substr(0, 40);
    return {};
  }
  TROBinMessage m;
  m.InitializeRequest("UpdaterServiceLibrary", "UpdaterService", "Echo");
  try {
    m.ReadResponse(std::vector<std::uint8_t>(body.begin(), body.end()));
  } catch (const EROServerException& e) {
    return e.what();
  }
  ADD_FAILURE() << "the exception message did not decode as one";
  return {};
}

class ServerHttp : public ::testing::Test {
 protected:
  TestServer server{TestServer::Options{false, 4096}};
};

TEST_F(ServerHttp, MalformedRequestsGetExceptionMessages) {
  std::string compressedGarbage = frame("UpdaterService", "Echo");
  compressedGarbage[5] = 1;  // claims a compressed body that is not one
  std::string wrongRecord = frame("UpdaterService", "Download_Files_Executables", [](auto& w) {
    WS_Applications app;  // another record where File_Executable belongs
    w.WriteStruct("File_Executable", &app);
    w.WriteInteger("File_Part_No", 1);
    w.WriteInteger("Chunk_Size", 1024);
  });
  const struct {
    const char* what;
    std::string body;
    const char* expected;  // part of the text the client sees
  } cases[] = {
      {"empty body", "", "short"},
      {"not a message", "hello, server", "short"},
      {"foreign signature", std::string(40, 'x'), ""},
      {"another interface", frame("OtherService", "Echo"), "OtherService"},
      {"unknown operation", frame("UpdaterService", "Format_Disk"), "Format_Disk"},
      {"missing parameter", frame("UpdaterService", "Get_Applications_List"), "Stream read error"},
      {"missing part number",
       frame("UpdaterService", "Download_Files_Executables",
             [](auto& w) {
               WS_Files_executables f;
               w.WriteStruct("File_Executable", &f);
             }),
       "Stream read error"},
      {"absent record",
       frame("UpdaterService", "Download_Files_Executables",
             [](auto& w) {
               w.WriteStruct("File_Executable", static_cast<const WS_Files_executables*>(nullptr));
               w.WriteInteger("File_Part_No", 1);
               w.WriteInteger("Chunk_Size", 1024);
             }),
       "File_Executable"},
      {"record of another class", wrongRecord, "WS_Applications"},
      {"damaged compressed body", compressedGarbage, ""},
  };
  for (const auto& c : cases) {
    const auto [status, body] = rawPost(server.port(), "/bin", c.body);
    EXPECT_EQ(status, 500) << c.what;
    const std::string text = exceptionText(body);
    EXPECT_FALSE(text.empty()) << c.what;
    EXPECT_NE(text.find(c.expected), std::string::npos) << c.what << ": " << text;
  }
  Client client(server.url());
  EXPECT_TRUE(client->Echo());  // and the server carries on
}

TEST_F(ServerHttp, BodiesAboveTheBoundAreRefusedWithAMessage) {
  const auto [status, body] = rawPost(server.port(), "/bin", std::string(5000, 'x'));
  EXPECT_EQ(status, 500);
  EXPECT_NE(exceptionText(body).find("4096"), std::string::npos);

  // A body sent in chunks announces no size, so it is refused as well.
  const std::string answer = testing::rawHttp(
      server.port(),
      "POST /bin HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
      "5\r\nRO107\r\n0\r\n\r\n");
  EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 500");
  const auto bodyAt = answer.find("\r\n\r\n");
  ASSERT_NE(bodyAt, std::string::npos);
  EXPECT_NE(exceptionText(answer.substr(bodyAt + 4)).find("chunks"), std::string::npos);

  Client client(server.url());
  EXPECT_TRUE(client->Echo());
}

TEST_F(ServerHttp, OnlyPostOnTheDispatcherPathCarriesMessages) {
  const std::string echo = frame("UpdaterService", "Echo");
  for (const char* path : {"/bin", "/BIN", "/Bin"}) {
    const auto [status, body] = rawPost(server.port(), path, echo);
    EXPECT_EQ(status, 200) << path;
    EXPECT_EQ(body.substr(0, 5), "RO107") << path;
  }
  for (const char* path : {"/", "/bin/x", "/binary", "/other"}) {
    const auto [status, body] = rawPost(server.port(), path, echo);
    EXPECT_EQ(status, 404) << path;
    EXPECT_NE(body.substr(0, 4), "RO10") << path;
  }
  httplib::Client http("127.0.0.1", server.port());
  auto res = http.Get("/bin");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
}

TEST_F(ServerHttp, AnswersEchoTheClientIdentifierAndNames) {
  const TROGuid id = TROGuid::Parse("{01234567-89AB-CDEF-0123-456789ABCDEF}");
  const auto [status, body] =
      rawPost(server.port(), "/bin", frame("UpdaterService", "Echo", {}, id));
  ASSERT_EQ(status, 200);
  ASSERT_GE(body.size(), 28u);
  EXPECT_EQ(body.substr(12, 16), std::string(id.bytes.begin(), id.bytes.end()));
  EXPECT_NE(body.find("EchoResponse"), std::string::npos);
  // A failure is echoed to its sender too.
  const auto [failed, error] =
      rawPost(server.port(), "/bin", frame("UpdaterService", "Format_Disk", {}, id));
  EXPECT_EQ(failed, 500);
  EXPECT_EQ(error.substr(12, 16), std::string(id.bytes.begin(), id.bytes.end()));
}

TEST(ServerHttpCompressed, CompressedAnswersCarryEveryOperation) {
  TestServer server(TestServer::Options{true});
  const std::string data = testing::patternBytes((1 << 20) + 3);
  server.publishApp("Z", "Zip", {{"z.exe", data}}, {{"z.ini", "a=1"}});
  const auto [status, body] = rawPost(server.port(), "/bin", frame("UpdaterService", "Echo"));
  ASSERT_EQ(status, 200);
  EXPECT_EQ(body[5] & 1, 1) << "the answer should be compressed";
  Client c(server.url());
  std::unique_ptr<WS_Applications> app;
  std::unique_ptr<WS_Array_Of_Files_executables> exes;
  std::unique_ptr<WS_Array_Of_Applications_config_files> cfg;
  std::unique_ptr<WS_Array_Of_Application_locales> loc;
  ASSERT_TRUE(c->Get_Application("Z", app, exes, cfg, loc));
  ASSERT_EQ(exes->Count(), 1);
  const std::string part1 = c->Download_Files_Executables(*exes->Items(0), 1, 1 << 20)->ToString();
  const std::string part2 = c->Download_Files_Executables(*exes->Items(0), 2, 1 << 20)->ToString();
  EXPECT_TRUE(testing::sameBytes(part1 + part2, data));
  EXPECT_THROW(c->Download_Files_Executables(*exes->Items(0), 3, 1 << 20), EROServerException);
}

}  // namespace
}  // namespace tvserver
