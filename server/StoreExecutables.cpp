// Executable records, their upload in parts and their download in parts.
#include "ContentBlocks.h"
#include "ServerStore.h"
#include "StoreDetail.h"
#include "StoreRules.h"

namespace tvserver {

namespace {

constexpr const char* kFromFiles =
    " FROM files_executables f JOIN contents c ON c.id = f.content_id";

void checkExecutable(const ExecutableRow& row) {
  requirePlainName(row.file_name, "The executable's file name");
  if (row.file_size < 0)
    throw StoreError("The size of " + inQuotes(row.file_name) + " is negative");
}

void checkChunk(std::int32_t partNo, std::int32_t chunkSize) {
  if (chunkSize <= 0 || chunkSize > ServerStore::kMaxChunkSize)
    throw StoreError("Chunk_Size must lie between 1 and " +
                     std::to_string(ServerStore::kMaxChunkSize) + " bytes, not " +
                     std::to_string(chunkSize));
  if (partNo < 1)
    throw StoreError("File_Part_No counts from 1; " + std::to_string(partNo) + " is no part");
}

struct StoredFile {
  std::string name;
  std::int64_t size = 0;
  std::int64_t contentId = 0;
  bool complete = false;
};

StoredFile requireFile(const SqliteConnection& db, std::string_view uid) {
  SqliteStatement q(db, std::string("SELECT f.file_name, f.file_size, f.content_id, c.complete") +
                            kFromFiles + " WHERE f.uid = ?");
  q.bindBlob(1, uid);
  if (!q.step()) throw StoreError("Executable " + inQuotes(uid) + " does not exist");
  return {q.columnBytes(0), q.columnInt(1), q.columnInt(2), q.columnInt(3) != 0};
}

// Bytes [offset, offset + length) of part partNo, refused when the part lies beyond the file.
std::pair<std::int64_t, std::int64_t> partSpan(const StoredFile& f, std::int32_t partNo,
                                               std::int32_t chunkSize) {
  const std::int64_t parts = (f.size + chunkSize - 1) / chunkSize;
  if (partNo > parts)
    throw StoreError("File_Part_No " + std::to_string(partNo) + " lies beyond " + inQuotes(f.name) +
                     ", which has " + std::to_string(parts) + " part" + (parts == 1 ? "" : "s") +
                     " of " + std::to_string(chunkSize) + " bytes");
  const std::int64_t offset = std::int64_t{partNo - 1} * chunkSize;
  return {offset, std::min<std::int64_t>(chunkSize, f.size - offset)};
}

// A file offered by applications cannot take the name of another file of one of them.
void requireNoNameClash(const SqliteConnection& db, std::string_view uid,
                        const std::string& newName) {
  SqliteStatement q(
      db,
      "SELECT g.file_name FROM applications_executables l JOIN "
      "applications_executables o ON o.app_uid = l.app_uid AND o.file_uid <> "
      "l.file_uid JOIN files_executables g ON g.uid = o.file_uid WHERE l.file_uid = ?");
  q.bindBlob(1, uid);
  const std::string folded = foldCase(newName);
  while (q.step())
    if (foldCase(q.columnBytes(0)) == folded)
      throw StoreError("An application that offers this executable has another file called " +
                       inQuotes(newName));
}

}  // namespace

std::vector<ExecutableRow> ServerStore::listExecutables() {
  auto db = lease();
  SqliteStatement q(
      *db, std::string("SELECT ") + detail::kExecutableColumns + kFromFiles + " ORDER BY f.seq");
  std::vector<ExecutableRow> rows;
  while (q.step()) rows.push_back(detail::readExecutable(q));
  return rows;
}

std::string ServerStore::insertExecutable(const ExecutableRow& row) {
  checkExecutable(row);
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  const std::string uid = row.uid.empty() ? newUid() : row.uid;
  if (detail::exists(*db, "files_executables", uid))
    throw StoreError("Executable " + inQuotes(uid) + " already exists");
  const std::int64_t contentId = content::create(*db, row.file_size);
  SqliteStatement q(*db,
                    "INSERT INTO files_executables(uid, file_name, file_version, upload_date, "
                    "is_main_exe, file_description, file_size, content_id) "
                    "VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
  q.bindBlob(1, uid).bindBlob(2, row.file_name).bindBlob(3, row.file_version);
  q.bind(4, row.upload_date != 0 ? row.upload_date : nowAsTDateTime());
  q.bindBlob(5, row.is_main_exe).bindBlob(6, row.file_description).bind(7, row.file_size);
  q.bind(8, contentId).run();
  tx.commit();
  return uid;
}

void ServerStore::updateExecutable(const ExecutableRow& row) {
  checkExecutable(row);
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  const StoredFile f = requireFile(*db, row.uid);
  if (foldCase(row.file_name) != foldCase(f.name)) requireNoNameClash(*db, row.uid, row.file_name);
  std::int64_t contentId = f.contentId;
  if (row.file_size != f.size) {
    // Clients cut a file into parts by this size, so it must stay the size of the bytes.
    if (f.complete)
      throw StoreError("The size of " + inQuotes(f.name) +
                       " is that of its uploaded bytes and cannot change; insert a new "
                       "executable for a new version");
    SqliteStatement upload(*db, "DELETE FROM uploads WHERE file_uid = ?");
    upload.bindBlob(1, row.uid).run();
    contentId = content::create(*db, row.file_size);
  }
  SqliteStatement q(*db,
                    "UPDATE files_executables SET file_name = ?, file_version = ?, "
                    "upload_date = ?, is_main_exe = ?, file_description = ?, file_size = ?, "
                    "content_id = ? WHERE uid = ?");
  q.bindBlob(1, row.file_name).bindBlob(2, row.file_version);
  q.bind(3, row.upload_date != 0 ? row.upload_date : nowAsTDateTime());
  q.bindBlob(4, row.is_main_exe).bindBlob(5, row.file_description).bind(6, row.file_size);
  q.bind(7, contentId).bindBlob(8, row.uid).run();
  if (contentId != f.contentId) content::dropIfUnused(*db, f.contentId);
  tx.commit();
}

bool ServerStore::deleteExecutable(std::string_view uid) {
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  SqliteStatement find(*db, "SELECT content_id FROM files_executables WHERE uid = ?");
  find.bindBlob(1, uid);
  if (!find.step()) return false;
  const std::int64_t contentId = find.columnInt(0);
  SqliteStatement used(*db,
                       "SELECT a.naziv_ikonice FROM applications_executables l JOIN "
                       "applications a ON a.uid = l.app_uid WHERE l.file_uid = ? LIMIT 1");
  used.bindBlob(1, uid);
  if (used.step())
    throw StoreError("Executable " + inQuotes(uid) + " is still offered by application " +
                     inQuotes(used.columnBytes(0)) + "; remove it from the application first");
  SqliteStatement del(*db, "DELETE FROM files_executables WHERE uid = ?");
  del.bindBlob(1, uid).run();
  content::dropIfUnused(*db, contentId);
  tx.commit();
  return true;
}

bool ServerStore::uploadPart(std::string_view uid, std::int32_t partNo, std::int32_t chunkSize,
                             std::span<const std::uint8_t> bytes) {
  checkChunk(partNo, chunkSize);
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  const StoredFile f = requireFile(*db, uid);
  if (f.complete)
    throw StoreError("Executable " + inQuotes(f.name) +
                     " is uploaded already; its bytes never change, so insert a new executable "
                     "for a new version");
  const auto [offset, length] = partSpan(f, partNo, chunkSize);
  if (static_cast<std::int64_t>(bytes.size()) != length)
    throw StoreError("Part " + std::to_string(partNo) + " of " + inQuotes(f.name) + " must be " +
                     std::to_string(length) + " bytes long, not " + std::to_string(bytes.size()));
  {
    // Parts of another chunk size start the upload over; bytes written before stay in place
    // and are overwritten by the new parts, which must cover the whole file again.
    SqliteStatement q(*db, "SELECT chunk_size FROM uploads WHERE file_uid = ?");
    q.bindBlob(1, uid);
    const std::int64_t started = q.step() ? q.columnInt(0) : 0;
    if (started != chunkSize) {
      SqliteStatement drop(*db, "DELETE FROM uploads WHERE file_uid = ?");
      drop.bindBlob(1, uid).run();
      SqliteStatement add(*db, "INSERT INTO uploads(file_uid, chunk_size) VALUES(?, ?)");
      add.bindBlob(1, uid).bind(2, std::int64_t{chunkSize}).run();
    }
  }
  content::writeAt(*db, f.contentId, offset, bytes);
  SqliteStatement part(*db, "INSERT OR IGNORE INTO upload_parts(file_uid, part_no) VALUES(?, ?)");
  part.bindBlob(1, uid).bind(2, std::int64_t{partNo}).run();
  SqliteStatement count(*db, "SELECT count(*) FROM upload_parts WHERE file_uid = ?");
  count.bindBlob(1, uid);
  count.step();
  const std::int64_t parts = (f.size + chunkSize - 1) / chunkSize;
  const bool completed = count.columnInt(0) == parts;
  if (completed) {
    content::finish(*db, f.contentId, std::nullopt);
    SqliteStatement done(*db, "DELETE FROM uploads WHERE file_uid = ?");
    done.bindBlob(1, uid).run();
  }
  tx.commit();
  return completed;
}

void ServerStore::readPart(std::string_view uid, std::int32_t partNo, std::int32_t chunkSize,
                           const std::function<std::uint8_t*(std::size_t)>& allocate) {
  checkChunk(partNo, chunkSize);
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Deferred);
  const StoredFile f = requireFile(*db, uid);
  if (!f.complete)
    throw StoreError("Executable " + inQuotes(f.name) + " has not been uploaded completely");
  const auto [offset, length] = partSpan(f, partNo, chunkSize);
  std::uint8_t* dest = allocate(static_cast<std::size_t>(length));
  content::read(*db, f.contentId, offset, length, dest);
  tx.commit();
}

}  // namespace tvserver
