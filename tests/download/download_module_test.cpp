// The target-file module: parts land at their offsets in a temporary file that takes the
// target's name only when complete; the old target survives every failure.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "DownloadFileThread.h"
#include "DownloadParts.h"
#include "LaunchFixtures.h"
#include "ROBinaryMemoryStream.h"
#include "SafeFolder.h"

using tv::launch::testing::ReadFile;
using tv::launch::testing::TempDir;
using tv::launch::testing::WriteFile;

namespace {

TROBinaryMemoryStream Bytes(const std::string& text) {
  return TROBinaryMemoryStream(text);
}

class DownloadModuleTest : public ::testing::Test {
 protected:
  std::filesystem::path App() const { return dir.path() / "app"; }
  TempDir dir;
  TDownloadModule module;
};

}  // namespace

TEST(DownloadParts, ArithmeticIsSixtyFourBit) {
  using namespace tv::download;
  struct Case {
    int64_t size;
    int64_t parts;
    int64_t lastLength;
  };
  const Case cases[] = {
      {0, 0, 0},
      {1, 1, 1},
      {1048576, 1, 1048576},
      {1048577, 2, 1},
      {12 * 1048576LL, 12, 1048576},
      {(5LL << 30) + 7, 5 * 1024 + 1, 7},  // beyond what 32 bits can address
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(PartCount(c.size, 1048576), c.parts);
    if (c.parts > 0) {
      EXPECT_EQ(PartLength(c.parts, c.size, 1048576), c.lastLength);
    }
  }
  EXPECT_EQ(PartOffset(2049, 1048576), 2LL << 30);
  EXPECT_EQ(PartOffset(5121, 1048576), 5LL << 30);
}

TEST_F(DownloadModuleTest, PartsLandAtTheirOffsetsAndTheFileTakesItsNameWhenWhole) {
  WriteFile(App() / "bin/App.exe", "old");
  module.CreateTargetFile(App(), "bin/App.exe", 10);
  EXPECT_TRUE(std::filesystem::exists(App() / "bin/.App.exe.part"));
  module.WritePart(Bytes("89"), 5, 2);
  module.WritePart(Bytes("01"), 1, 2);
  module.WritePart(Bytes("4567"), 2, 4);              // a part number counts in its own chunk size
  EXPECT_EQ(ReadFile(App() / "bin/App.exe"), "old");  // not yet: parts 2..3 missing
  module.WritePart(Bytes("23"), 2, 2);
  module.CloseTargetFile();
  EXPECT_EQ(ReadFile(App() / "bin/App.exe"), "0123456789");
  EXPECT_FALSE(std::filesystem::exists(App() / "bin/.App.exe.part"));
  EXPECT_FALSE(module.HasTargetFile());
}

TEST_F(DownloadModuleTest, AnIncompleteFileKeepsTheOldTarget) {
  WriteFile(App() / "App.exe", "old");
  module.CreateTargetFile(App(), "App.exe", 4);
  module.WritePart(Bytes("ab"), 1, 2);
  EXPECT_THROW(module.CloseTargetFile(), tv::download::EDownloadError);
  EXPECT_EQ(ReadFile(App() / "App.exe"), "old");
  EXPECT_FALSE(std::filesystem::exists(App() / ".App.exe.part"));

  module.CreateTargetFile(App(), "App.exe", 4);
  module.WritePart(Bytes("ab"), 1, 2);
  module.AbandonTargetFile();
  EXPECT_EQ(ReadFile(App() / "App.exe"), "old");
  EXPECT_FALSE(std::filesystem::exists(App() / ".App.exe.part"));
}

TEST_F(DownloadModuleTest, OneFileAtATime) {
  module.CreateTargetFile(App(), "a.exe", 1);
  EXPECT_THROW(module.CreateTargetFile(App(), "b.exe", 1), tv::download::EDownloadError);
  EXPECT_THROW(TDownloadModule().WritePart(Bytes("x"), 1, 1), tv::download::EDownloadError);
}

TEST_F(DownloadModuleTest, ARunningOldExecutableKeepsItsBytesAndALinkIsReplaced) {
  WriteFile(App() / "App.exe", "old program");
  const int running = ::open((App() / "App.exe").c_str(), O_RDONLY);  // as the loader holds it
  ASSERT_GE(running, 0);
  const auto outside = dir.path() / "outside";
  WriteFile(outside, "precious");
  std::filesystem::create_symlink(outside, App() / "lib.dll");

  for (const char* name : {"App.exe", "lib.dll"}) {
    module.CreateTargetFile(App(), name, 3);
    module.WritePart(Bytes("new"), 1, 3);
    module.CloseTargetFile();
    EXPECT_EQ(ReadFile(App() / name), "new");
  }
  char old[32] = {};
  EXPECT_EQ(::pread(running, old, sizeof old, 0), 11);
  EXPECT_EQ(std::string(old), "old program");
  ::close(running);
  EXPECT_FALSE(std::filesystem::is_symlink(App() / "lib.dll"));
  EXPECT_EQ(ReadFile(outside), "precious");
}

TEST_F(DownloadModuleTest, PartsBeyondTwoGibibytesLandWhereTheyBelong) {
  // Sparse: only the last part is written; the reservation may fail where space is short, so
  // the file is sized without it.
  const int64_t size = (2LL << 30) + 3;
  module.CreateTargetFile(App(), "big.bin", 0);
  module.WritePart(Bytes("xyz"), 2049, 1048576);
  const int fd = ::open((App() / ".big.bin.part").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  char tail[4] = {};
  EXPECT_EQ(::pread(fd, tail, 3, 2LL << 30), 3);
  EXPECT_EQ(std::string(tail), "xyz");
  EXPECT_EQ(::lseek(fd, 0, SEEK_END), size);
  ::close(fd);
  module.AbandonTargetFile();
}
