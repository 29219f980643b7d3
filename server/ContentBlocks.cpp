#include "ContentBlocks.h"

#include <algorithm>
#include <vector>

#include "StoreRules.h"

namespace tvserver::content {

std::int64_t blockLength(std::int64_t size, std::int64_t blockNo) {
  return std::clamp<std::int64_t>(size - blockNo * kBlockSize, 0, kBlockSize);
}

std::int64_t blockCount(std::int64_t size) {
  return (size + kBlockSize - 1) / kBlockSize;
}

std::int64_t create(SqliteConnection& db, std::int64_t size) {
  if (size < 0) throw StoreError("A file size cannot be negative");
  SqliteStatement insert(db, "INSERT INTO contents(size, complete) VALUES(?, ?)");
  insert.bind(1, size).bind(2, std::int64_t{size == 0 ? 1 : 0}).run();
  return db.lastInsertRowId();
}

std::optional<Info> info(const SqliteConnection& db, std::int64_t contentId) {
  SqliteStatement q(db, "SELECT size, complete FROM contents WHERE id = ?");
  q.bind(1, contentId);
  if (!q.step()) return std::nullopt;
  return Info{q.columnInt(0), q.columnInt(1) != 0};
}

namespace {

Info requireInfo(const SqliteConnection& db, std::int64_t contentId) {
  auto i = info(db, contentId);
  if (!i) throw StoreError("Stored content " + std::to_string(contentId) + " is missing");
  return *i;
}

std::optional<std::int64_t> blockRow(SqliteStatement& find, std::int64_t contentId,
                                     std::int64_t blockNo) {
  find.reset();
  find.bind(1, contentId).bind(2, blockNo);
  if (!find.step()) return std::nullopt;
  return find.columnInt(0);
}

}  // namespace

void putBlock(SqliteConnection& db, std::int64_t contentId, std::int64_t blockNo,
              std::span<const std::uint8_t> bytes) {
  const Info i = requireInfo(db, contentId);
  if (i.complete) throw StoreError("A stored content cannot be changed");
  if (blockNo < 0 || blockNo >= blockCount(i.size) ||
      static_cast<std::int64_t>(bytes.size()) != blockLength(i.size, blockNo))
    throw StoreError("Block " + std::to_string(blockNo) + " does not fit the content");
  SqliteStatement put(db,
                      "INSERT OR REPLACE INTO content_blocks(content_id, block_no, data) "
                      "VALUES(?, ?, ?)");
  put.bind(1, contentId).bind(2, blockNo).bindBlob(3, bytes).run();
}

void writeAt(SqliteConnection& db, std::int64_t contentId, std::int64_t offset,
             std::span<const std::uint8_t> bytes) {
  const Info i = requireInfo(db, contentId);
  if (i.complete) throw StoreError("A stored content cannot be changed");
  const auto length = static_cast<std::int64_t>(bytes.size());
  if (offset < 0 || offset > i.size || length > i.size - offset)
    throw StoreError("The bytes do not fit within the file's size");
  SqliteStatement find(db, "SELECT id FROM content_blocks WHERE content_id = ? AND block_no = ?");
  SqliteStatement create(db,
                         "INSERT INTO content_blocks(content_id, block_no, data) "
                         "VALUES(?, ?, zeroblob(?))");
  std::int64_t done = 0;
  while (done < length) {
    const std::int64_t at = offset + done;
    const std::int64_t blockNo = at / kBlockSize;
    const std::int64_t within = at % kBlockSize;
    const std::int64_t n = std::min(length - done, blockLength(i.size, blockNo) - within);
    auto row = blockRow(find, contentId, blockNo);
    if (!row) {
      create.reset();
      create.bind(1, contentId).bind(2, blockNo).bind(3, blockLength(i.size, blockNo)).run();
      row = db.lastInsertRowId();
    }
    SqliteBlob blob(db, "content_blocks", "data", *row, true);
    blob.write(bytes.data() + done, static_cast<int>(n), static_cast<int>(within));
    done += n;
  }
}

void finish(SqliteConnection& db, std::int64_t contentId,
            const std::optional<std::string>& sha256) {
  const Info i = requireInfo(db, contentId);
  SqliteStatement count(db,
                        "SELECT count(*), coalesce(sum(length(data)), 0) FROM content_blocks "
                        "WHERE content_id = ?");
  count.bind(1, contentId);
  count.step();
  if (count.columnInt(0) != blockCount(i.size) || count.columnInt(1) != i.size)
    throw StoreError("The file's content is incomplete");
  SqliteStatement done(db, "UPDATE contents SET complete = 1, sha256 = ? WHERE id = ?");
  if (sha256)
    done.bindBlob(1, *sha256);
  else
    done.bindNull(1);
  done.bind(2, contentId).run();
}

std::optional<std::int64_t> findComplete(const SqliteConnection& db, std::int64_t size,
                                         const std::string& sha256) {
  SqliteStatement q(db,
                    "SELECT id FROM contents WHERE complete = 1 AND size = ? AND sha256 = ? "
                    "ORDER BY id LIMIT 1");
  q.bind(1, size).bindBlob(2, sha256);
  if (!q.step()) return std::nullopt;
  return q.columnInt(0);
}

void read(const SqliteConnection& db, std::int64_t contentId, std::int64_t offset,
          std::int64_t length, std::uint8_t* dest) {
  const Info i = requireInfo(db, contentId);
  if (!i.complete) throw StoreError("The file has not been uploaded completely");
  if (offset < 0 || length < 0 || offset > i.size || length > i.size - offset)
    throw StoreError("The requested bytes lie outside the file");
  SqliteStatement find(db, "SELECT id FROM content_blocks WHERE content_id = ? AND block_no = ?");
  std::optional<SqliteBlob> blob;
  std::int64_t done = 0;
  while (done < length) {
    const std::int64_t at = offset + done;
    const std::int64_t blockNo = at / kBlockSize;
    const std::int64_t within = at % kBlockSize;
    const std::int64_t expected = blockLength(i.size, blockNo);
    const std::int64_t n = std::min(length - done, expected - within);
    const auto row = blockRow(find, contentId, blockNo);
    if (!row) throw StoreError("Block " + std::to_string(blockNo) + " of a stored file is missing");
    blob.emplace(db, "content_blocks", "data", *row, false);
    if (blob->size() != expected)
      throw StoreError("Block " + std::to_string(blockNo) + " of a stored file is damaged");
    blob->read(dest + done, static_cast<int>(n), static_cast<int>(within));
    done += n;
  }
}

void dropIfUnused(SqliteConnection& db, std::int64_t contentId) {
  SqliteStatement used(db, "SELECT 1 FROM files_executables WHERE content_id = ? LIMIT 1");
  used.bind(1, contentId);
  if (used.step()) return;
  SqliteStatement blocks(db, "DELETE FROM content_blocks WHERE content_id = ?");
  blocks.bind(1, contentId).run();
  SqliteStatement row(db, "DELETE FROM contents WHERE id = ?");
  row.bind(1, contentId).run();
}

}  // namespace tvserver::content
