#include "LocalManifest.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "LaunchFixtures.h"
#include "ManifestFile.h"

using namespace tv::launch;
using namespace tv::launch::testing;

namespace {

class LocalManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddExe(service, "A1", "App.exe", 10, "D");
    AddExe(service, "A2", "bin\\lib.dll", 20);
  }
  std::filesystem::path Manifest() const { return dir.path() / "APP1.kvx"; }
  void PlaceFiles() {
    WriteFile(dir.path() / "App.exe", "exe");
    WriteFile(dir.path() / "bin/lib.dll", "dll");
  }

  TUpdaterServiceTypesRegistration types;
  TempDir dir;
  WS_Array_Of_Files_executables service;
};

}  // namespace

TEST_F(LocalManifestTest, EveryComparedFieldMattersButTheDescriptionDoesNot) {
  struct Case {
    const char* what;
    std::function<void(WS_Files_executables&)> change;
    bool same;
  };
  const std::vector<Case> cases = {
      {"nothing", [](auto&) {}, true},
      {"description", [](auto& e) { e.file_description = "other"; }, true},
      {"uid", [](auto& e) { e.uid_files_executables = "A9"; }, false},
      {"name", [](auto& e) { e.file_name = "app.exe"; }, false},
      {"version", [](auto& e) { e.file_version = "1.0.0.2"; }, false},
      {"upload date", [](auto& e) { e.upload_date += 1e-9; }, false},
      {"size", [](auto& e) { e.file_size += 1; }, false},
      {"main mark", [](auto& e) { e.is_main_exe = "d"; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto manifest = AsStored(service);
    c.change(*manifest->Items(1));
    EXPECT_EQ(SameExecutables(service, *manifest), c.same);
  }
}

TEST_F(LocalManifestTest, OrderCountAndEmptySlotsMatter) {
  WS_Array_Of_Files_executables reversed;
  AddExe(reversed, "A2", "bin\\lib.dll", 20);
  AddExe(reversed, "A1", "App.exe", 10, "D");
  EXPECT_FALSE(SameExecutables(service, reversed));

  auto shorter = AsStored(service);
  shorter->Delete(1);
  EXPECT_FALSE(SameExecutables(service, *shorter));

  auto withHole = AsStored(service);
  withHole->SetItems(1, nullptr);
  EXPECT_FALSE(SameExecutables(service, *withHole));
  EXPECT_TRUE(SameExecutables(*withHole, *AsStored(*withHole)));

  EXPECT_TRUE(SameExecutables(WS_Array_Of_Files_executables(), WS_Array_Of_Files_executables()));
}

TEST_F(LocalManifestTest, ManifestBytesAreThoseOfEarlierRuns) {
  // One entry: App.exe, 1048577 bytes, version 1.0.0.1, main, uid A1, 20 Dec 2012 12:00.
  WS_Array_Of_Files_executables list;
  WS_Files_executables& e = AddExe(list, "A1", "App.exe", 1048577, "D");
  e.file_description.clear();
  CommitManifest(Manifest(), list);
  const std::string expected =
      std::string("\x01\x01\x00\x00\x00\x01\x14\x00\x00\x00", 10) + "WS_Files_executables" +
      std::string(4, '\0') + std::string("\x07\x00\x00\x00", 4) + "App.exe" +
      std::string("\x01\x00\x10\x00\x00\x00\x00\x00", 8) + std::string("\x07\x00\x00\x00", 4) +
      "1.0.0.1" + std::string("\x01\x00\x00\x00", 4) + "D" + std::string("\x02\x00\x00\x00", 4) +
      "A1" + std::string("\x00\x00\x00\x00\xF0\x25\xE4\x40", 8);
  EXPECT_EQ(ReadFile(Manifest()), expected);
  EXPECT_EQ(expected.size(), 83u);
}

TEST_F(LocalManifestTest, NoManifestMeansDownloadOfTheServiceList) {
  PlaceFiles();  // files on disk do not matter without a manifest
  const TManifestDecision decision = DecideDownload(Manifest(), dir.path(), service);
  EXPECT_TRUE(decision.Download);
  ASSERT_NE(decision.WorkingList, nullptr);
  EXPECT_TRUE(SameExecutables(service, *decision.WorkingList));
  EXPECT_EQ(decision.WorkingList->Items(1)->file_description, "description");
  // Nothing is claimed before the files arrive.
  EXPECT_FALSE(std::filesystem::exists(Manifest()));
}

TEST_F(LocalManifestTest, EqualListWithEveryFilePresentDownloadsNothing) {
  PlaceFiles();
  auto stored = AsStored(service);
  stored->Items(0)->file_description = "old description";
  CommitManifest(Manifest(), *stored);
  const std::string before = ReadFile(Manifest());

  const TManifestDecision decision = DecideDownload(Manifest(), dir.path(), service);
  EXPECT_FALSE(decision.Download);
  // The working list is the manifest's own, and the manifest is left as it was.
  EXPECT_EQ(decision.WorkingList->Items(0)->file_description, "old description");
  EXPECT_EQ(ReadFile(Manifest()), before);
}

TEST_F(LocalManifestTest, AMissingOrReplacedFileDownloadsTheWholeList) {
  const std::vector<std::function<void(const std::filesystem::path&)>> spoil = {
      [](const auto& d) { std::filesystem::remove(d / "bin/lib.dll"); },
      [](const auto& d) {  // a folder where the file belongs
        std::filesystem::remove(d / "bin/lib.dll");
        std::filesystem::create_directory(d / "bin/lib.dll");
      },
      [](const auto& d) {  // a link is no file of ours
        std::filesystem::remove(d / "App.exe");
        std::filesystem::create_symlink(d / "bin/lib.dll", d / "App.exe");
      },
  };
  for (size_t i = 0; i < spoil.size(); ++i) {
    SCOPED_TRACE(i);
    std::filesystem::remove_all(dir.path() / "bin");
    std::filesystem::remove(dir.path() / "App.exe");
    PlaceFiles();
    auto stored = AsStored(service);
    stored->Items(0)->file_description = "manifest's";
    CommitManifest(Manifest(), *stored);
    spoil[i](dir.path());

    const TManifestDecision decision = DecideDownload(Manifest(), dir.path(), service);
    EXPECT_TRUE(decision.Download);
    EXPECT_EQ(decision.WorkingList->Count(), 2);
    EXPECT_EQ(decision.WorkingList->Items(0)->file_description, "manifest's");
    // Removed until the download completes, so an interrupted one repeats itself.
    EXPECT_FALSE(std::filesystem::exists(Manifest()));
  }
}

TEST_F(LocalManifestTest, AChangedListDownloadsTheServiceList) {
  PlaceFiles();
  auto stored = AsStored(service);
  stored->Items(1)->file_size = 21;
  CommitManifest(Manifest(), *stored);

  const TManifestDecision decision = DecideDownload(Manifest(), dir.path(), service);
  EXPECT_TRUE(decision.Download);
  EXPECT_TRUE(SameExecutables(service, *decision.WorkingList));
  EXPECT_EQ(decision.WorkingList->Items(1)->file_size, 20);
  EXPECT_FALSE(std::filesystem::exists(Manifest()));
}

TEST_F(LocalManifestTest, AnUnreadableManifestCountsAsAbsent) {
  PlaceFiles();
  CommitManifest(Manifest(), service);
  const std::string good = ReadFile(Manifest());
  std::string foreignClass = good;
  foreignClass.replace(foreignClass.find("WS_Files_executables"), 20, "WS_Applications_exec");
  const std::vector<std::pair<const char*, std::string>> damaged = {
      {"empty file", ""},
      {"absent list", std::string(1, '\0')},
      {"truncated", good.substr(0, good.size() - 3)},
      {"foreign class", foreignClass},
      {"huge count", std::string("\x01\xff\xff\xff\x7f", 5)},
      {"garbage", "this is no manifest at all"},
  };
  for (const auto& [what, bytes] : damaged) {
    SCOPED_TRACE(what);
    WriteFile(Manifest(), bytes);
    const TManifestDecision decision = DecideDownload(Manifest(), dir.path(), service);
    EXPECT_TRUE(decision.Download);
    EXPECT_TRUE(SameExecutables(service, *decision.WorkingList));
    EXPECT_FALSE(std::filesystem::exists(Manifest()));
  }
}

TEST_F(LocalManifestTest, CommittedManifestEndsTheRepeat) {
  PlaceFiles();
  TManifestDecision first = DecideDownload(Manifest(), dir.path(), service);
  ASSERT_TRUE(first.Download);
  CommitManifest(Manifest(), *first.WorkingList);
  EXPECT_FALSE(DecideDownload(Manifest(), dir.path(), service).Download);
}
