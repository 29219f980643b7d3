// The command line of tolvara-server: parsing, errors that name what is wrong, and the commands
// that run without serving (publish, admin).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ServerCommandLine.h"
#include "StoreRules.h"
#include "TextCodec.h"
#include "UpdateHttpServer.h"

namespace tvserver {
namespace {

std::string parseError(const std::vector<std::string>& args) {
  try {
    parseCommandLine(args);
  } catch (const CommandLineError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(ServerCommandLine, ErrorsNameWhatIsWrong) {
  const struct {
    std::vector<std::string> args;
    const char* expected;
  } cases[] = {
      {{}, "No command"},
      {{"start"}, "Unknown command \"start\""},
      {{"serve"}, "--db FILE"},
      {{"serve", "--db"}, "--db needs a value"},
      {{"serve", "--db", "--compress"}, "--db needs a value"},
      {{"serve", "--db", "x.db", "--port", "1"}, "Unknown option \"--port\""},
      {{"serve", "--db", "x.db", "--listen", "8091"}, "ADDR:PORT"},
      {{"serve", "--db", "x.db", "--listen", "127.0.0.1:70000"}, "0 to 65535"},
      {{"serve", "--db", "x.db", "--listen", "127.0.0.1:80x"}, "0 to 65535"},
      {{"serve", "--db", "x.db", "--compress=yes"}, "--compress takes no value"},
      {{"serve", "--db", "x.db", "--max-request", "0"}, "positive number"},
      {{"publish", "--db", "x.db", "--uid", "A", "--name", "N"}, "--dir DIR"},
      {{"publish", "--db", "x.db", "--uid", "A", "--dir", "d"}, "--name NAME"},
      {{"publish", "--db", "x.db", "--name", "N", "--dir", "d"}, "--uid UID"},
      {{"publish", "--db", "x.db", "--uid", "A", "--name", "N", "--dir", "d", "--locale", "sr"},
       "NAME=DIR"},
      {{"admin", "--db", "x.db"}, "needs an action"},
      {{"admin", "--db", "x.db", "set-password"}, "needs a USER"},
      {{"admin", "--db", "x.db", "promote"}, "Unknown admin action"},
      {{"admin", "activate"}, "--db FILE"},
  };
  for (const auto& c : cases) {
    const std::string error = parseError(c.args);
    EXPECT_NE(error.find(c.expected), std::string::npos)
        << ::testing::PrintToString(c.args) << " -> " << error;
  }
}

TEST(ServerCommandLine, ParsesOptionsInBothForms) {
  const auto serve = std::get<ServeCommand>(parseCommandLine(
      {"serve", "--db=s.db", "--listen", "[::1]:9000", "--compress", "--max-request=1024"}));
  EXPECT_EQ(serve.db, "s.db");
  EXPECT_EQ(serve.listen.host, "::1");
  EXPECT_EQ(serve.listen.port, 9000);
  EXPECT_TRUE(serve.compress);
  EXPECT_EQ(serve.maxRequestBytes, 1024u);
  const auto defaults = std::get<ServeCommand>(parseCommandLine({"serve", "--db", "s.db"}));
  EXPECT_EQ(defaults.listen.host, "127.0.0.1");
  EXPECT_EQ(defaults.listen.port, 8091);

  const auto publish = std::get<PublishCommand>(
      parseCommandLine({"publish", "--db", "p.db", "--uid", "KR", "--name", "Kestrov Račun",
                        "--inactive", "--dir", "bin", "--main", "kr.exe", "--config", "cfg",
                        "--locale", "sr_RS=loc/sr", "--locale=en=loc/en=x"}));
  EXPECT_EQ(publish.folders.name, "Kestrov Račun");
  EXPECT_TRUE(publish.folders.inactive);
  ASSERT_EQ(publish.folders.locales.size(), 2u);
  EXPECT_EQ(publish.folders.locales[1].first, "en");
  EXPECT_EQ(publish.folders.locales[1].second, "loc/en=x");

  for (const char* command : {"serve", "demo", "publish", "admin"}) {
    const auto help = parseCommandLine({command, "--help"});
    ASSERT_TRUE(std::holds_alternative<HelpCommand>(help)) << command;
    EXPECT_NE(std::get<HelpCommand>(help).text.find(command), std::string::npos);
  }
  EXPECT_TRUE(std::holds_alternative<HelpCommand>(parseCommandLine({"--help"})));
}

class ServerCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() /
             ("tolvara-cli-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    db = (folder / "store.db").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  void write(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  int run(const std::vector<std::string>& args, const std::string& input = {}) {
    std::istringstream in(input);
    out.str({});
    err.str({});
    return runCommand(parseCommandLine(args), in, out, err);
  }

  std::filesystem::path folder;
  std::string db;
  std::ostringstream out, err;
};

TEST_F(ServerCommands, PublishFromFolders) {
  write(folder / "bin" / "kr.exe", "exe");
  write(folder / "bin" / "Račun.dll", "dll");
  write(folder / "cfg" / "kr.ini", "a=1");
  write(folder / "sr" / "kr.mo", "mo");
  ASSERT_EQ(
      run({"publish", "--db", db, "--uid", "KR", "--name", "Kestrov Račun", "--description",
           "Opis – ažuriran", "--dir", (folder / "bin").string(), "--main", "kr.exe", "--config",
           (folder / "cfg").string(), "--locale", "sr_RS=" + (folder / "sr").string()}),
      0)
      << err.str();
  EXPECT_NE(out.str().find("2 executable(s), 2 stored"), std::string::npos) << out.str();
  ServerStore store(db);
  const auto bundle = store.getApplication("KR");
  ASSERT_TRUE(bundle);
  EXPECT_EQ(bundle->application.naziv_ikonice, "Kestrov Ra\xE8un");  // stored in code page 1250
  EXPECT_EQ(bundle->application.opis, u"Opis \u2013 a\u017Euriran");
  EXPECT_EQ(bundle->application.aktivan, "D");
  ASSERT_EQ(bundle->executables.size(), 2u);
  EXPECT_EQ(bundle->executables[0].file_name, "kr.exe");
  EXPECT_EQ(bundle->executables[0].is_main_exe, "D");
  EXPECT_EQ(bundle->executables[1].file_name, "Ra\xE8un.dll");
  ASSERT_EQ(bundle->configs.size(), 1u);
  EXPECT_EQ(bundle->configs[0].content, "a=1");
  ASSERT_EQ(bundle->locales.size(), 1u);
  EXPECT_EQ(bundle->locales[0].files.at(0).content, "mo");
}

TEST_F(ServerCommands, PublishRefusesWhatClientsCouldNotUse) {
  write(folder / "one" / "kr.exe", "exe");
  write(folder / "two" / "a.exe", "a");
  write(folder / "two" / "b.exe", "b");
  write(folder / "nested" / "kr.exe", "exe");
  write(folder / "nested" / "sub" / "x.dll", "x");
  write(folder / "far" / "日本.exe", "x");
  std::filesystem::create_directories(folder / "empty");
  const auto dir = [&](const char* name) { return (folder / name).string(); };
  const struct {
    std::vector<std::string> extra;
    const char* expected;
  } cases[] = {
      {{"--dir", dir("two")}, "--main"},
      {{"--dir", dir("two"), "--main", "c.exe"}, "not among"},
      {{"--dir", dir("nested")}, "is a folder"},
      {{"--dir", dir("far")}, "code page 1250"},
      {{"--dir", dir("empty")}, "holds no files"},
      {{"--dir", dir("missing")}, "is not a folder"},
      {{"--dir", dir("one"), "--config", dir("missing")}, "is not a folder"},
      {{"--dir", dir("one"), "--uid", "a/b"}, "plain name"},
      {{"--dir", dir("one"), "--name", "名"}, "code page 1250"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"publish", "--db", db, "--uid", "KR", "--name", "N"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(run(args), 1) << c.expected;
    EXPECT_NE(err.str().find(c.expected), std::string::npos) << err.str();
  }
  ServerStore store(db);
  EXPECT_TRUE(store.listApplications("").empty());  // nothing was half published
}

TEST_F(ServerCommands, AdminCommands) {
  EXPECT_EQ(run({"admin", "--db", db, "set-password", "Đorđe"}, "Lozinka čvrsta\n"), 0)
      << err.str();
  ServerStore store(db);
  EXPECT_TRUE(store.verifyAdmin(utf8ToCp1250("Đorđe"), utf8ToCp1250("Lozinka čvrsta")));
  EXPECT_FALSE(store.verifyAdmin(utf8ToCp1250("Đorđe"), "Lozinka"));
  EXPECT_EQ(run({"admin", "--db", db, "set-password", "x"}, "\n"), 1);
  EXPECT_NE(err.str().find("No password"), std::string::npos);
  EXPECT_EQ(run({"admin", "--db", db, "deactivate"}), 0);
  EXPECT_FALSE(store.serviceActive());
  EXPECT_EQ(run({"admin", "--db", db, "activate"}), 0);
  EXPECT_TRUE(store.serviceActive());
  EXPECT_EQ(run({"admin", "--db", (folder / "no" / "such" / "x.db").string(), "activate"}), 1);
  EXPECT_NE(err.str().find("Cannot open the update store"), std::string::npos) << err.str();
}

TEST(ServerListen, ATakenPortIsAClearError) {
  ServerStore store((std::filesystem::temp_directory_path() /
                     ("tolvara-listen-" + std::to_string(::getpid()) + ".db"))
                        .string());
  AdminSessions sessions;
  UpdaterServiceImpl service(store, sessions);
  RequestDispatcher dispatcher(store, service, {});
  UpdateHttpServer first(dispatcher, {"127.0.0.1", 0, 2});
  const int port = first.start();
  UpdateHttpServer second(dispatcher, {"127.0.0.1", port, 2});
  try {
    second.start();
    ADD_FAILURE() << "a second server took the same port";
  } catch (const ServerStartError& e) {
    EXPECT_NE(std::string(e.what()).find("in use"), std::string::npos) << e.what();
  }
  first.stop();
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(store.path() + suffix);
}

TEST(ServerTextCodec, CodePage1250AtTheEdges) {
  EXPECT_EQ(utf8ToCp1250("Račun – Šđ€"), "Ra\xE8un \x96 \x8A\xF0\x80");
  EXPECT_EQ(cp1250ToUtf8("Ra\xE8un \x96 \x8A\xF0\x80"), "Račun – Šđ€");
  const struct {
    const char* text;
    const char* reason;
  } refused[] = {{"a名b", "\"名\" (U+540D)"},
                 {"\xC3", "not valid UTF-8"},
                 {"\xC0\xAF", "not valid UTF-8"},
                 {"\xED\xA0\x80", "not valid UTF-8"}};
  for (const auto& r : refused) {
    try {
      utf8ToCp1250(r.text);
      ADD_FAILURE() << r.text << " was converted";
    } catch (const TextCodecError& e) {
      EXPECT_NE(std::string(e.what()).find(r.reason), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(utf8ToUtf16("\xC3("), TextCodecError);
  EXPECT_EQ(utf8ToUtf16("a\xF0\x9F\x98\x80"), std::u16string(u"a\U0001F600"));
  EXPECT_EQ(utf16ToUtf8(u"a\U0001F600"), "a\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace tvserver
