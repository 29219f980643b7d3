#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "TestSupport.h"
#include "Trash.h"
#include "UniqueFd.h"

using namespace tv::platform;
namespace fs = std::filesystem;

namespace {

class TrashTest : public ::testing::Test {
 protected:
  tvtest::TempDir dir;
  tvtest::ScopedEnv data{"XDG_DATA_HOME", (dir / "data").string()};
  fs::path trash = dir / "data" / "Trash";

  void MakeTree(const fs::path& root) {
    fs::create_directories(root / "sub");
    tvtest::WriteFile(root / "a.exe", "binary");
    tvtest::WriteFile(root / "sub" / "b.ini", "[S]");
  }
};

// Creates a chain of folders whose full path is longer than the system's path limit; returns it.
fs::path DeepChain(const fs::path& base, int levels) {
  const std::string name(60, 'd');
  UniqueFd fd(::open(base.c_str(), O_PATH | O_DIRECTORY));
  std::string path = base.string();
  for (int i = 0; i < levels; ++i) {
    ::mkdirat(fd.get(), name.c_str(), 0755);
    fd.reset(::openat(fd.get(), name.c_str(), O_PATH | O_DIRECTORY));
    path += "/" + name;
  }
  return path;
}

bool ExistsAt(const fs::path& path) {
  // Walks like the code under test, so that paths beyond PATH_MAX can be checked too.
  UniqueFd fd(::open("/", O_PATH | O_DIRECTORY));
  std::string rest = path.string().substr(1);
  while (fd && !rest.empty()) {
    const auto slash = rest.find('/');
    const std::string part = rest.substr(0, slash);
    rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
    if (rest.empty()) {
      struct stat st {};
      return ::fstatat(fd.get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }
    fd.reset(::openat(fd.get(), part.c_str(), O_PATH | O_DIRECTORY));
  }
  return false;
}

}  // namespace

TEST_F(TrashTest, AFolderGoesToTheHomeTrashWithItsRecord) {
  const auto folder = dir / "Kestrov" / "Moja app čž";
  MakeTree(folder);
  ASSERT_TRUE(DeleteFolder(folder));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(tvtest::ReadFile(trash / "files" / "Moja app čž" / "sub" / "b.ini"), "[S]");
  const std::string info = tvtest::ReadFile(trash / "info" / "Moja app čž.trashinfo");
  const std::string encoded = (dir / "Kestrov").string() + "/Moja%20app%20%C4%8D%C5%BE";
  const std::string head = "[Trash Info]\nPath=" + encoded + "\nDeletionDate=";
  ASSERT_TRUE(info.starts_with(head)) << info;
  // YYYY-MM-DDThh:mm:ss and the line end.
  const std::string date = info.substr(head.size());
  const std::string shape = "dddd-dd-ddTdd:dd:dd\n";
  ASSERT_EQ(date.size(), shape.size()) << info;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd') {
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(date[i]))) << date;
    } else {
      EXPECT_EQ(date[i], shape[i]) << date;
    }
  }
}

TEST_F(TrashTest, EqualNamesGetTheirOwnPlaces) {
  for (int i = 0; i < 3; ++i) {
    MakeTree(dir / "U");
    tvtest::WriteFile(dir / "U" / "n", std::to_string(i));
    ASSERT_TRUE(MoveToTrash(dir / "U")) << i;
  }
  EXPECT_EQ(tvtest::ReadFile(trash / "files" / "U" / "n"), "0");
  EXPECT_EQ(tvtest::ReadFile(trash / "files" / "U.2" / "n"), "1");
  EXPECT_EQ(tvtest::ReadFile(trash / "files" / "U.3" / "n"), "2");
  EXPECT_TRUE(fs::exists(trash / "info" / "U.3.trashinfo"));
}

TEST_F(TrashTest, LinksAreMovedNotFollowed) {
  tvtest::WriteFile(dir / "outside", "keep");
  fs::create_directory(dir / "app");
  fs::create_symlink(dir / "outside", dir / "app" / "link");
  ASSERT_TRUE(MoveToTrash(dir / "app" / "link"));
  EXPECT_TRUE(fs::is_symlink(trash / "files" / "link"));
  EXPECT_EQ(tvtest::ReadFile(dir / "outside"), "keep");
}

TEST_F(TrashTest, WithoutATrashTheFolderIsDeletedButNothingOutsideIt) {
  tvtest::WriteFile(dir / "blocker", "a file where the data folder would be");
  tvtest::ScopedEnv noTrash("XDG_DATA_HOME", (dir / "blocker" / "data").string());
  const auto folder = dir / "app";
  MakeTree(folder);
  fs::create_directory(dir / "elsewhere");
  tvtest::WriteFile(dir / "elsewhere" / "keep", "keep");
  fs::create_directory_symlink(dir / "elsewhere", folder / "sub" / "linked-folder");
  EXPECT_FALSE(MoveToTrash(folder));
  EXPECT_TRUE(fs::exists(folder)) << "a failed move leaves the item";
  ASSERT_TRUE(DeleteFolder(folder));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(tvtest::ReadFile(dir / "elsewhere" / "keep"), "keep");
}

TEST_F(TrashTest, RefusedPaths) {
  MakeTree(dir / "app");
  const fs::path refused[] = {"", "/", "/.", dir / "app" / ".." / "app", dir / "missing"};
  for (const auto& path : refused) EXPECT_FALSE(DeleteFolder(path)) << path;
  EXPECT_TRUE(fs::exists(dir / "app" / "a.exe"));
}

TEST_F(TrashTest, PathsLongerThanTheSystemLimit) {
  const fs::path deep = DeepChain(dir.path(), 80);
  ASSERT_GT(deep.string().size(), 4096u);
  ASSERT_TRUE(ExistsAt(deep));
  EXPECT_TRUE(DeleteFolder(deep));
  EXPECT_FALSE(ExistsAt(deep));
  EXPECT_TRUE(fs::is_directory(trash / "files" / std::string(60, 'd')));

  // The same chain deleted for good, with no trash to take it.
  tvtest::WriteFile(dir / "blocker", "x");
  tvtest::ScopedEnv noTrash("XDG_DATA_HOME", (dir / "blocker" / "data").string());
  const fs::path top = dir / std::string(60, 'd');
  EXPECT_TRUE(DeleteFolder(top));
  EXPECT_FALSE(fs::exists(top));
}

TEST_F(TrashTest, AnotherFileSystemUsesItsOwnTrash) {
  struct stat shm {
  }, home{};
  if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.path().c_str(), &home) != 0 ||
      shm.st_dev == home.st_dev || ::access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "needs /dev/shm on a file system of its own";
  }
  const fs::path item = "/dev/shm/tvtest-trash-" + std::to_string(::getpid());
  MakeTree(item);
  const fs::path topTrash = "/dev/shm/.Trash-" + std::to_string(::getuid());
  const bool hadTrash = fs::exists(topTrash);
  ASSERT_TRUE(MoveToTrash(item));
  EXPECT_FALSE(fs::exists(item));
  const auto name = item.filename().string();
  EXPECT_EQ(tvtest::ReadFile(topTrash / "files" / name / "a.exe"), "binary");
  const std::string info = tvtest::ReadFile(topTrash / "info" / (name + ".trashinfo"));
  EXPECT_NE(info.find("\nPath=" + name + "\n"), std::string::npos)
      << "relative to its top: " << info;
  fs::remove_all(topTrash / "files" / name);
  fs::remove(topTrash / "info" / (name + ".trashinfo"));
  if (!hadTrash) fs::remove_all(topTrash);
}
