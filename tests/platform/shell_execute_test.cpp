#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "Process.h"
#include "ShellExecute.h"
#include "TestSupport.h"

using namespace tv::platform;
using namespace std::chrono_literals;

namespace {

// Waits for a file that a started program writes (it runs on its own, after ShellOpen returned).
std::string AwaitFile(const std::filesystem::path& path) {
  for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i) {
    std::this_thread::sleep_for(10ms);
  }
  return tvtest::ReadFile(path);
}

void WriteScript(const std::filesystem::path& path, const std::string& body, unsigned mode = 0755) {
  tvtest::WriteFile(path, body);
  ::chmod(path.c_str(), mode);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    auto end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

class ShellOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir / "work dir");
    // The opener stands in for xdg-open and notes what it was asked to open, and where.
    WriteScript(dir / "opener",
                "#!/bin/sh\n{ echo \"$1\"; pwd; } > \"$TV_TEST_OUT.tmp\"\n"
                "mv \"$TV_TEST_OUT.tmp\" \"$TV_TEST_OUT\"\n");
  }
  tvtest::TempDir dir;
  tvtest::ScopedEnv out{"TV_TEST_OUT", (dir / "record").string()};
  tvtest::ScopedEnv opener{"TV_OPENER", (dir / "opener").string()};
};

}  // namespace

TEST_F(ShellOpenTest, AProgramStartsDetachedInItsFolder) {
  const int inherited = ::open("/dev/null", O_RDONLY);  // no close-on-exec: must not leak anyway
  ASSERT_GE(inherited, 3);
  tvtest::ScopedEnv fd("TV_TEST_FD", std::to_string(inherited));
  WriteScript(
      dir / "work dir" / "app",
      "#!/bin/sh\n{ pwd; cut -d' ' -f6 /proc/$$/stat; readlink /proc/$$/fd/0;\n"
      "  if [ -e /proc/$$/fd/$TV_TEST_FD ]; then echo leaked; else echo closed; fi;\n"
      "  echo \"args:$#\"; } > \"$TV_TEST_OUT.tmp\"\nmv \"$TV_TEST_OUT.tmp\" \"$TV_TEST_OUT\"\n");
  ASSERT_TRUE(ShellOpen((dir / "work dir" / "app").string(), (dir / "work dir").string()));
  ::close(inherited);
  const auto lines = Lines(AwaitFile(dir / "record"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], (dir / "work dir").string());
  EXPECT_NE(lines[1], std::to_string(::getsid(0))) << "its own session";
  EXPECT_EQ(lines[2], "/dev/null");
  EXPECT_EQ(lines[3], "closed");
  EXPECT_EQ(lines[4], "args:0");
}

TEST_F(ShellOpenTest, DocumentsAndFoldersGoToTheOpener) {
  const auto document = dir / "work dir" / "readme.txt";
  tvtest::WriteFile(document, "text");
  const auto marked = dir / "work dir" / "marked-executable.txt";
  WriteScript(marked, "plain text without an interpreter line\n");
  const std::filesystem::path targets[] = {document, marked, dir / "work dir"};
  for (const auto& target : targets) {
    std::filesystem::remove(dir / "record");
    ASSERT_TRUE(ShellOpen(target.string(), (dir / "work dir").string())) << target;
    EXPECT_EQ(Lines(AwaitFile(dir / "record")),
              (std::vector<std::string>{target.string(), (dir / "work dir").string()}));
  }
}

TEST_F(ShellOpenTest, RelativeNamesAreOursNotTheWorkFolders) {
  tvtest::WriteFile(dir / "doc.txt", "x");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const bool started = ShellOpen("doc.txt", (dir / "work dir").string());
  std::filesystem::current_path(old);
  ASSERT_TRUE(started);
  EXPECT_EQ(Lines(AwaitFile(dir / "record")).at(0), (dir / "doc.txt").string());
}

TEST_F(ShellOpenTest, Failures) {
  WriteScript(dir / "app", "#!/bin/sh\ntouch \"$TV_TEST_OUT\"\n");
  EXPECT_FALSE(ShellOpen((dir / "missing").string(), dir.path().string()));
  EXPECT_FALSE(ShellOpen("", dir.path().string()));
  EXPECT_FALSE(ShellOpen((dir / "app").string(), (dir / "no such folder").string()));
  {
    tvtest::ScopedEnv noOpener("TV_OPENER", (dir / "no-opener").string());
    tvtest::WriteFile(dir / "doc", "x");
    EXPECT_FALSE(ShellOpen((dir / "doc").string(), dir.path().string()));
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(std::filesystem::exists(dir / "record")) << "nothing ran";
}

TEST(Process, RunAndWait) {
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "exit 3"}, 10s), 3);
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "exit 0"}, 10s), 0);
  EXPECT_EQ(RunAndWait({"/nonexistent/program"}, 10s), std::nullopt);
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "kill -9 $$"}, 10s), std::nullopt);
  // Past its time the helper is killed, not waited for.
  EXPECT_EQ(RunAndWait({"/bin/sleep", "60"}, 50ms), std::nullopt);
}

TEST(Process, SpawnDetachedReportsWhatFailed) {
  EXPECT_EQ(SpawnDetached({"/nonexistent/program"}, ""), ENOENT);
  EXPECT_EQ(SpawnDetached({"/bin/true"}, "/nonexistent/folder"), ENOENT);
  EXPECT_EQ(SpawnDetached({"/etc/passwd"}, ""), EACCES);
  EXPECT_EQ(SpawnDetached({"/bin/true"}, ""), 0);
  EXPECT_EQ(SpawnDetached({}, ""), ENOENT);
}

TEST(Process, FindProgram) {
  EXPECT_EQ(FindProgram("sh").empty(), false);
  EXPECT_EQ(FindProgram("/bin/sh"), "/bin/sh");
  EXPECT_EQ(FindProgram("no-such-program-anywhere"), "");
  tvtest::ScopedEnv path("PATH", "/nonexistent:/bin");
  EXPECT_EQ(FindProgram("sh"), "/bin/sh");
  tvtest::TempDir dir;
  tvtest::WriteFile(dir / "tool", "#!/bin/sh\n");
  ::chmod((dir / "tool").c_str(), 0755);
  tvtest::WriteFile(dir / "data", "");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  tvtest::ScopedEnv relative("PATH", ".");
  const std::string tool = FindProgram("tool");
  const std::string data = FindProgram("data");
  std::filesystem::current_path(old);
  EXPECT_EQ(tool, (dir / "tool").string()) << "absolute, not ./tool";
  EXPECT_EQ(data, "") << "not executable";
}
