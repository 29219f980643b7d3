// Part arithmetic of Download_Files_Executables and the block store behind it.
#include <gtest/gtest.h>

#include "ContentBlocks.h"
#include "ServerTestSupport.h"
#include "TestServer.h"

namespace tvserver {
namespace {

using testing::Client;
using testing::patternBytes;
using testing::sameBytes;

constexpr std::int32_t kMiB = 1 << 20;

std::unique_ptr<WS_Files_executables> onlyExecutable(Client& c, const std::string& uid) {
  std::unique_ptr<WS_Applications> app;
  std::unique_ptr<WS_Array_Of_Files_executables> exes;
  std::unique_ptr<WS_Array_Of_Applications_config_files> cfg;
  std::unique_ptr<WS_Array_Of_Application_locales> loc;
  EXPECT_TRUE(c->Get_Application(uid, app, exes, cfg, loc));
  if (!exes || exes->Count() != 1) return nullptr;
  return ROClone(*exes->Items(0));
}

std::string refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const EROServerException& e) {
    return e.what();
  }
  return "(no refusal)";
}

TEST(ServerDownload, PartsCoverTheFileExactly) {
  TestServer server;
  Client c(server.url());
  const struct {
    std::int64_t size;
    std::int32_t chunk;
    std::int64_t parts;
  } cases[] = {
      {1, kMiB, 1},
      {kMiB - 1, kMiB, 1},
      {kMiB, kMiB, 1},
      {kMiB + 1, kMiB, 2},  // the second part is one byte long
      {3 * kMiB + 5, kMiB, 4},
      {3 * kMiB + 5, 1000, 3146},    // parts that start and end inside blocks
      {3 * kMiB + 5, 3 * kMiB, 2},   // a part over several blocks
      {3 * kMiB + 5, 16 * kMiB, 1},  // the largest chunk a client may ask for
  };
  int app = 0;
  for (const auto& t : cases) {
    const std::string uid = "A" + std::to_string(++app);
    const std::string data = patternBytes(static_cast<std::size_t>(t.size), app);
    server.publishApp(uid, uid, {{"f.bin", data}});
    const auto file = onlyExecutable(c, uid);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->file_size, t.size);
    std::string joined;
    std::int64_t n = 1;
    for (; n <= t.parts; ++n) {
      // Fetch only some parts of the long tables; the ends always.
      const bool edge = n <= 2 || n >= t.parts - 1;
      if (!edge && n % 97 != 0) continue;
      const std::string part =
          c->Download_Files_Executables(*file, static_cast<std::int32_t>(n), t.chunk)->ToString();
      const std::int64_t offset = (n - 1) * t.chunk;
      EXPECT_TRUE(sameBytes(part, data.substr(offset, t.chunk)))
          << "size " << t.size << ", chunk " << t.chunk << ", part " << n;
      if (t.parts < 10) joined += part;
    }
    if (t.parts < 10) {
      EXPECT_TRUE(sameBytes(joined, data)) << "size " << t.size;
    }
    EXPECT_NE(refusal([&] {
                c->Download_Files_Executables(*file, static_cast<std::int32_t>(t.parts + 1),
                                              t.chunk);
              }).find("lies beyond"),
              std::string::npos);
  }
}

TEST(ServerDownload, BadRequestsForPartsAreRefused) {
  TestServer server;
  server.publishApp("A", "A", {{"f.bin", patternBytes(5000)}, {"empty.txt", ""}}, {}, {}, "f.bin");
  Client c(server.url());
  std::unique_ptr<WS_Applications> app;
  std::unique_ptr<WS_Array_Of_Files_executables> exes;
  std::unique_ptr<WS_Array_Of_Applications_config_files> cfg;
  std::unique_ptr<WS_Array_Of_Application_locales> loc;
  ASSERT_TRUE(c->Get_Application("A", app, exes, cfg, loc));
  ASSERT_EQ(exes->Count(), 2);
  const WS_Files_executables& file = *exes->Items(0);
  const WS_Files_executables& empty = *exes->Items(1);
  ASSERT_EQ(empty.file_size, 0);
  WS_Files_executables unknown;
  unknown.Assign(file);
  unknown.uid_files_executables = "{NOT-A-FILE}";
  const struct {
    const char* what;
    const WS_Files_executables& file;
    std::int32_t part;
    std::int32_t chunk;
    const char* expected;
  } cases[] = {
      {"part 0", file, 0, kMiB, "counts from 1"},
      {"negative part", file, -1, kMiB, "counts from 1"},
      {"beyond the last part", file, 2, kMiB, "lies beyond"},
      {"zero chunk", file, 1, 0, "Chunk_Size"},
      {"negative chunk", file, 1, -5, "Chunk_Size"},
      {"chunk above 16 MiB", file, 1, 16 * kMiB + 1, "Chunk_Size"},
      {"a file of 0 bytes has no parts", empty, 1, kMiB, "lies beyond"},
      {"unknown file", unknown, 1, kMiB, "does not exist"},
  };
  for (const auto& t : cases) {
    const std::string text =
        refusal([&] { c->Download_Files_Executables(t.file, t.part, t.chunk); });
    EXPECT_NE(text.find(t.expected), std::string::npos) << t.what << ": " << text;
  }
}

// A file above 2 GiB without writing 2 GiB: its size is real, but only the blocks that the test
// reads are stored. A block that is missing is an error, never zeros.
TEST(ServerDownload, OffsetsBeyondTwoGiB) {
  TestServer server;
  const std::int64_t size = 3 * (std::int64_t{1} << 30) + 100;
  ExecutableRow row;
  row.file_name = "huge.bin";
  row.file_size = size;
  row.is_main_exe = "D";
  const std::string uid = server.store().insertExecutable(row);
  const std::string at2GiB = patternBytes(kMiB, 7);
  const std::string tail = patternBytes(100, 8);
  {
    SqliteConnection db(server.store().path(), false);
    SqliteStatement q(db, "SELECT content_id FROM files_executables WHERE uid = ?");
    q.bindBlob(1, uid);
    ASSERT_TRUE(q.step());
    const std::int64_t contentId = q.columnInt(0);
    const auto bytes = [](const std::string& s) {
      return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s.data()),
                                           s.size());
    };
    content::putBlock(db, contentId, 2048, bytes(at2GiB));
    content::putBlock(db, contentId, 3072, bytes(tail));
    db.exec("UPDATE contents SET complete = 1 WHERE id = " + std::to_string(contentId));
    db.exec(
        "INSERT INTO applications(uid, id_cd_aplikacije, naziv_ikonice, opis, aktivan) "
        "VALUES(x'4847', x'', x'4847', x'', x'44')");
  }
  server.store().replaceLinks("HG", {{"", "HG", uid, "I"}});
  Client c(server.url());
  const auto file = onlyExecutable(c, "HG");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->file_size, size);
  EXPECT_TRUE(sameBytes(c->Download_Files_Executables(*file, 2049, kMiB)->ToString(), at2GiB));
  EXPECT_TRUE(sameBytes(c->Download_Files_Executables(*file, 3073, kMiB)->ToString(), tail));
  // Chunks of 1000 bytes: part 2147484 starts at 2 147 483 000, inside block 2047 (not stored),
  // part 2147485 at 2 147 484 000, within block 2048.
  EXPECT_NE(refusal([&] { c->Download_Files_Executables(*file, 2147484, 1000); }).find("missing"),
            std::string::npos);
  const std::int64_t offset = std::int64_t{2147484} * 1000 - 2048 * std::int64_t{kMiB};
  EXPECT_TRUE(sameBytes(c->Download_Files_Executables(*file, 2147485, 1000)->ToString(),
                        at2GiB.substr(static_cast<std::size_t>(offset), 1000)));
  EXPECT_NE(refusal([&] { c->Download_Files_Executables(*file, 3074, kMiB); }).find("lies beyond"),
            std::string::npos);
}

}  // namespace
}  // namespace tvserver
