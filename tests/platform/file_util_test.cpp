#include <gtest/gtest.h>
#include <sys/stat.h>

#include "FileUtil.h"
#include "TestSupport.h"

using namespace tv::platform;

class FileUtilTest : public ::testing::Test {
 protected:
  tvtest::TempDir dir;
};

TEST_F(FileUtilTest, WriteWholeFileCreatesAndTruncates) {
  const auto path = dir / "app.ini";
  WriteWholeFile(path, "a longer first content");
  WriteWholeFile(path, "short");
  EXPECT_EQ(tvtest::ReadFile(path), "short");
  WriteWholeFile(path, "");
  EXPECT_EQ(tvtest::ReadFile(path), "");
  EXPECT_EQ(ReadWholeFile(path), "");
}

TEST_F(FileUtilTest, WriteWholeFileDoesNotFollowAPlantedLink) {
  const auto victim = dir / "victim";
  const auto planted = dir / "app.ini";
  tvtest::WriteFile(victim, "precious");
  std::filesystem::create_symlink(victim, planted);
  try {
    WriteWholeFile(planted, "overwritten");
    FAIL() << "wrote through a link";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find(planted.string()), std::string::npos) << e.what();
  }
  EXPECT_EQ(tvtest::ReadFile(victim), "precious");
}

TEST_F(FileUtilTest, WriteWholeFileRefusesOtherKindsOfFile) {
  const auto fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(WriteWholeFile(fifo, "x"), FileError) << "and does not hang on the FIFO";
  std::filesystem::create_directory(dir / "folder");
  EXPECT_THROW(WriteWholeFile(dir / "folder", "x"), FileError);
  try {
    WriteWholeFile(dir / "missing" / "f", "x");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + (dir / "missing" / "f").string() +
                                         "\". No such file or directory");
    EXPECT_EQ(e.error(), ENOENT);
  }
}

TEST_F(FileUtilTest, ReadWholeFileErrors) {
  EXPECT_EQ(
      [&] {
        try {
          ReadWholeFile(dir / "none");
        } catch (const FileError& e) {
          return e.error();
        }
        return 0;
      }(),
      ENOENT);
  EXPECT_THROW(ReadWholeFile(dir.path()), FileError);
}

TEST_F(FileUtilTest, ReplaceFileContentsKeepsModeAndLeavesNothingBehind) {
  const auto path = dir / "x.conf";
  tvtest::WriteFile(path, "old");
  ::chmod(path.c_str(), 0604);
  ReplaceFileContents(path, "new content");
  EXPECT_EQ(tvtest::ReadFile(path), "new content");
  EXPECT_EQ(tvtest::Mode(path), 0604u);
  ReplaceFileContents(dir / "fresh", "f");
  EXPECT_EQ(tvtest::ReadFile(dir / "fresh"), "f");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(FileUtilTest, Folders) {
  const auto one = dir / "one";
  EXPECT_TRUE(CreateFolder(one));
  EXPECT_FALSE(CreateFolder(one)) << "already there";
  EXPECT_FALSE(CreateFolder(dir / "a" / "b")) << "one level only";
  EXPECT_TRUE(CreateFolders(dir / "a" / "b" / "c"));
  EXPECT_TRUE(CreateFolders(dir / "a" / "b" / "c")) << "exists afterwards";
  EXPECT_TRUE(DirectoryExists(dir / "a" / "b"));
  tvtest::WriteFile(dir / "file", "x");
  EXPECT_FALSE(CreateFolders(dir / "file" / "sub"));
  EXPECT_TRUE(FileExists(dir / "file"));
  EXPECT_FALSE(FileExists(one)) << "a folder is no file";
  EXPECT_FALSE(DirectoryExists(dir / "file"));
}

TEST(FileUtil, SafeFileNames) {
  const struct {
    std::string name;
    bool safe;
  } cases[] = {
      {"Kestrov Knjigovodstvo", true},
      {"Plate (2024).v2", true},
      {"čćžšđ", true},
      {"...", true},
      {"", false},
      {".", false},
      {"..", false},
      {"a/b", false},
      {"/", false},
      {"a\nb", false},
      {"tab\t", false},
      {std::string("n\0l", 3), false},
      {"del\x7F", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeFileName(c.name), c.safe) << c.name;
}
