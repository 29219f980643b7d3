// How executables come and go in the store: uploads in parts, immutable contents, re-publishing
// that keeps unchanged files, and the grace period of files that lost their application.
#include <gtest/gtest.h>

#include <fstream>

#include "ServerTestSupport.h"
#include "StoreRules.h"
#include "TestServer.h"

namespace tvserver {
namespace {

using testing::patternBytes;
using testing::sameBytes;

std::string readAll(ServerStore& store, const std::string& uid, std::int64_t size) {
  std::string out;
  const std::int32_t chunk = 1 << 20;
  for (std::int32_t n = 1; std::int64_t{n - 1} * chunk < size; ++n)
    store.readPart(uid, n, chunk, [&](std::size_t length) {
      const std::size_t at = out.size();
      out.resize(at + length);
      return reinterpret_cast<std::uint8_t*>(out.data() + at);
    });
  return out;
}

std::span<const std::uint8_t> bytesOf(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

class ServerStoreLifecycle : public ::testing::Test {
 protected:
  std::string newFile(std::int64_t size) {
    ExecutableRow row;
    row.file_name = "f.bin";
    row.file_size = size;
    return server.store().insertExecutable(row);
  }
  TestServer server;
};

TEST_F(ServerStoreLifecycle, UploadInPartsCompletesWithTheLastMissingPart) {
  const std::string data = patternBytes(2500);
  const std::string uid = newFile(2500);
  ServerStore& store = server.store();
  EXPECT_FALSE(store.listExecutables().front().complete);
  EXPECT_THROW(readAll(store, uid, 2500), StoreError);  // not downloadable before it is complete

  const struct {
    std::int32_t part;
    std::int32_t chunk;
    std::string bytes;
    const char* refusal;  // nullptr: accepted
  } steps[] = {
      {1, 1000, data.substr(0, 999), "1000 bytes long"},     // a part one byte short
      {3, 1000, data.substr(2000) + "x", "500 bytes long"},  // the last part one byte long
      {4, 1000, "", "lies beyond"},
      {0, 1000, "", "counts from 1"},
      {1, (16 << 20) + 1, "", "Chunk_Size"},
      {3, 1000, data.substr(2000, 500), nullptr},
      {1, 1000, data.substr(0, 1000), nullptr},
      {1, 1000, data.substr(0, 1000), nullptr},  // sent twice: harmless
  };
  for (const auto& s : steps) {
    if (s.refusal) {
      try {
        store.uploadPart(uid, s.part, s.chunk, bytesOf(s.bytes));
        ADD_FAILURE() << "part " << s.part << " was accepted";
      } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find(s.refusal), std::string::npos) << e.what();
      }
    } else {
      EXPECT_FALSE(store.uploadPart(uid, s.part, s.chunk, bytesOf(s.bytes)));
    }
  }
  EXPECT_TRUE(store.uploadPart(uid, 2, 1000, bytesOf(data.substr(1000, 1000))));
  EXPECT_TRUE(sameBytes(readAll(store, uid, 2500), data));
  // Once complete, the bytes never change: a new version is a new file.
  EXPECT_THROW(store.uploadPart(uid, 1, 1000, bytesOf(data.substr(0, 1000))), StoreError);
  ExecutableRow row = store.listExecutables().front();
  row.file_size = 10;
  EXPECT_THROW(store.updateExecutable(row), StoreError);
  row.file_size = 2500;
  row.file_version = "2.0";
  store.updateExecutable(row);
  EXPECT_EQ(store.listExecutables().front().file_version, "2.0");
}

TEST_F(ServerStoreLifecycle, AnotherChunkSizeStartsTheUploadOver) {
  const std::string data = patternBytes(3000, 3);
  const std::string uid = newFile(3000);
  ServerStore& store = server.store();
  EXPECT_FALSE(store.uploadPart(uid, 1, 1000, bytesOf(data.substr(0, 1000))));
  EXPECT_FALSE(store.uploadPart(uid, 2, 1000, bytesOf(data.substr(1000, 1000))));
  // Parts of 1500 bytes: the two parts above no longer count.
  EXPECT_FALSE(store.uploadPart(uid, 2, 1500, bytesOf(data.substr(1500, 1500))));
  EXPECT_TRUE(store.uploadPart(uid, 1, 1500, bytesOf(data.substr(0, 1500))));
  EXPECT_TRUE(sameBytes(readAll(store, uid, 3000), data));
}

TEST_F(ServerStoreLifecycle, ChangingTheSizeBeforeCompletionDiscardsTheParts) {
  const std::string uid = newFile(2000);
  ServerStore& store = server.store();
  EXPECT_FALSE(store.uploadPart(uid, 1, 1000, bytesOf(patternBytes(1000))));
  ExecutableRow row = store.listExecutables().front();
  row.file_size = 1000;
  store.updateExecutable(row);
  const std::string data = patternBytes(1000, 9);
  EXPECT_TRUE(store.uploadPart(uid, 1, 1000, bytesOf(data)));
  EXPECT_TRUE(sameBytes(readAll(store, uid, 1000), data));
}

TEST_F(ServerStoreLifecycle, RepublishingKeepsUnchangedFilesAndDelaysRemovingOldOnes) {
  ServerStore& store = server.store();
  const std::string same = patternBytes(5000, 1);
  auto first = server.publishApp("A", "A", {{"main.exe", "v1"}, {"lib.dll", same}});
  EXPECT_EQ(first.storedFiles, 2);
  const auto before = store.getApplication("A")->executables;
  auto again = server.publishApp("A", "A", {{"main.exe", "v1"}, {"lib.dll", same}});
  EXPECT_EQ(again.storedFiles, 0);
  EXPECT_EQ(again.reusedFiles, 2);
  const auto unchanged = store.getApplication("A")->executables;
  ASSERT_EQ(unchanged.size(), 2u);
  EXPECT_EQ(unchanged[0].uid, before[0].uid);
  EXPECT_EQ(unchanged[1].uid, before[1].uid);

  auto second = server.publishApp("A", "A", {{"main.exe", "v2"}, {"lib.dll", same}});
  EXPECT_EQ(second.storedFiles, 1);
  EXPECT_EQ(second.reusedFiles, 1);
  const auto after = store.getApplication("A")->executables;
  EXPECT_NE(after[0].uid, before[0].uid);
  EXPECT_EQ(after[1].uid, before[1].uid);
  // A client that read the old list still gets the old bytes during the grace period...
  EXPECT_EQ(readAll(store, before[0].uid, 2), "v1");
  EXPECT_EQ(store.collectOrphans(std::chrono::hours(1)), 0);
  EXPECT_EQ(readAll(store, before[0].uid, 2), "v1");
  // ...and after it the old file is gone, while what is still offered stays.
  EXPECT_EQ(store.collectOrphans(std::chrono::seconds(-1)), 1);
  EXPECT_THROW(readAll(store, before[0].uid, 2), StoreError);
  EXPECT_EQ(readAll(store, after[0].uid, 2), "v2");
  EXPECT_TRUE(sameBytes(readAll(store, after[1].uid, 5000), same));

  // Identical bytes in another application share the stored content; removing one keeps the
  // other's bytes.
  server.publishApp("B", "B", {{"copy.dll", same}});
  EXPECT_TRUE(store.deleteApplication("A"));
  EXPECT_EQ(store.collectOrphans(std::chrono::seconds(-1)), 2);
  const auto b = store.getApplication("B")->executables;
  EXPECT_TRUE(sameBytes(readAll(store, b[0].uid, 5000), same));
}

TEST_F(ServerStoreLifecycle, ReplacingLinks) {
  ServerStore& store = server.store();
  server.publishApp("A", "A", {{"a.exe", "a"}});
  const std::string x = newFile(0);  // 0 bytes: complete at once
  ExecutableRow second;
  second.file_name = "A.EXE";  // same name as a.exe on a case-blind file system
  second.file_size = 0;
  const std::string clash = store.insertExecutable(second);
  const std::string a = store.listLinks("A").front().file_uid;
  const struct {
    std::vector<LinkRow> items;
    std::vector<std::string> expected;  // file uids; empty with refusal
    const char* refusal;
  } cases[] = {
      {{{"", "A", a, "I"}, {"", "A", x, ""}}, {a, x}, nullptr},
      {{{"", "A", a, "D"}, {"", "A", x, "I"}}, {x}, nullptr},
      {{{"", "A", x, "I"}, {"", "A", x, "I"}}, {x}, nullptr},  // a repeated file counts once
      {{{"", "A", a, "X"}}, {}, "unknown"},
      {{{"", "B", a, "I"}}, {}, "instead of"},
      {{{"", "A", "nope", "I"}}, {}, "does not exist"},
      {{{"", "A", a, "I"}, {"", "A", clash, "I"}}, {}, "called"},
      {{}, {}, nullptr},
  };
  for (const auto& c : cases) {
    const auto old = store.listLinks("A");
    try {
      store.replaceLinks("A", c.items);
      EXPECT_EQ(c.refusal, nullptr);
      std::vector<std::string> now;
      for (const auto& l : store.listLinks("A")) now.push_back(l.file_uid);
      EXPECT_EQ(now, c.expected);
    } catch (const StoreError& e) {
      ASSERT_NE(c.refusal, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
      EXPECT_EQ(store.listLinks("A").size(), old.size());  // nothing changed
    }
  }
  EXPECT_THROW(store.replaceLinks("NOAPP", {}), StoreError);
}

TEST(ServerStoreFile, RefusesFilesThatAreNotUpdateStores) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("tolvara-store-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto path = folder / "other.db";
  { std::ofstream(path) << "this is not a database at all, just some text"; }
  EXPECT_THROW(ServerStore(path.string()), SqliteError);
  std::filesystem::remove(path);
  {
    SqliteConnection db(path.string(), true);
    db.exec("CREATE TABLE t(x)");
  }
  try {
    ServerStore store(path.string());
    ADD_FAILURE() << "a foreign database was taken";
  } catch (const SqliteError& e) {
    EXPECT_NE(std::string(e.what()).find("another program"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ServerStore((folder / "missing" / "x.db").string()), SqliteError);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tvserver
