#include "ServerStore.h"

#include "ContentBlocks.h"
#include "PasswordHash.h"
#include "StoreDetail.h"
#include "StoreRules.h"

namespace tvserver {
namespace {

constexpr int kSchemaVersion = 1;
constexpr std::size_t kMaxIdleConnections = 16;

// Strings are BLOBs: they hold code page 1250 bytes that SQLite must not take for UTF-8.
constexpr const char* kSchema = R"sql(
CREATE TABLE settings(key TEXT PRIMARY KEY, value BLOB NOT NULL);
CREATE TABLE admins(user_name BLOB PRIMARY KEY, salt BLOB NOT NULL, hash BLOB NOT NULL,
                    iterations INTEGER NOT NULL);
CREATE TABLE applications(seq INTEGER PRIMARY KEY, uid BLOB NOT NULL UNIQUE,
  id_cd_aplikacije BLOB NOT NULL, naziv_ikonice BLOB NOT NULL, opis BLOB NOT NULL,
  aktivan BLOB NOT NULL);
CREATE TABLE contents(id INTEGER PRIMARY KEY, size INTEGER NOT NULL CHECK(size >= 0),
  complete INTEGER NOT NULL, sha256 BLOB);
CREATE INDEX contents_by_hash ON contents(sha256, size);
CREATE TABLE content_blocks(id INTEGER PRIMARY KEY, content_id INTEGER NOT NULL,
  block_no INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(content_id, block_no));
CREATE TABLE files_executables(seq INTEGER PRIMARY KEY, uid BLOB NOT NULL UNIQUE,
  file_name BLOB NOT NULL, file_version BLOB NOT NULL, upload_date REAL NOT NULL,
  is_main_exe BLOB NOT NULL, file_description BLOB NOT NULL, file_size INTEGER NOT NULL,
  content_id INTEGER NOT NULL REFERENCES contents(id), unlinked_at INTEGER);
CREATE INDEX files_by_content ON files_executables(content_id);
CREATE TABLE uploads(file_uid BLOB PRIMARY KEY
    REFERENCES files_executables(uid) ON DELETE CASCADE ON UPDATE CASCADE,
  chunk_size INTEGER NOT NULL);
CREATE TABLE upload_parts(file_uid BLOB NOT NULL
    REFERENCES uploads(file_uid) ON DELETE CASCADE ON UPDATE CASCADE,
  part_no INTEGER NOT NULL, PRIMARY KEY(file_uid, part_no)) WITHOUT ROWID;
CREATE TABLE applications_executables(seq INTEGER PRIMARY KEY, uid BLOB NOT NULL UNIQUE,
  app_uid BLOB NOT NULL REFERENCES applications(uid) ON DELETE CASCADE ON UPDATE CASCADE,
  file_uid BLOB NOT NULL REFERENCES files_executables(uid) ON UPDATE CASCADE,
  UNIQUE(app_uid, file_uid));
CREATE INDEX links_by_file ON applications_executables(file_uid);
CREATE TABLE config_files(seq INTEGER PRIMARY KEY, uid BLOB NOT NULL UNIQUE,
  app_uid BLOB NOT NULL REFERENCES applications(uid) ON DELETE CASCADE ON UPDATE CASCADE,
  file_name BLOB NOT NULL, file_description BLOB NOT NULL, content BLOB NOT NULL,
  update_date REAL NOT NULL);
CREATE INDEX config_by_app ON config_files(app_uid);
CREATE TABLE locales(seq INTEGER PRIMARY KEY, uid BLOB NOT NULL UNIQUE,
  app_uid BLOB NOT NULL REFERENCES applications(uid) ON DELETE CASCADE ON UPDATE CASCADE,
  locale_name BLOB NOT NULL);
CREATE INDEX locales_by_app ON locales(app_uid);
CREATE TABLE locale_files(seq INTEGER PRIMARY KEY, uid BLOB NOT NULL UNIQUE,
  locale_uid BLOB NOT NULL REFERENCES locales(uid) ON DELETE CASCADE ON UPDATE CASCADE,
  file_name BLOB NOT NULL, content BLOB NOT NULL);
CREATE INDEX locale_files_by_locale ON locale_files(locale_uid);
CREATE TABLE cd_lookups_tables(uid BLOB PRIMARY KEY, name BLOB NOT NULL UNIQUE);
CREATE TABLE cd_lookups(seq INTEGER PRIMARY KEY, uid BLOB NOT NULL UNIQUE,
  table_uid BLOB NOT NULL REFERENCES cd_lookups_tables(uid) ON DELETE CASCADE,
  uid_cd BLOB NOT NULL, opis1 BLOB NOT NULL, opis2 BLOB NOT NULL, aktivan BLOB NOT NULL);
)sql";

void configure(SqliteConnection& db) {
  db.exec(
      "PRAGMA foreign_keys = ON; PRAGMA busy_timeout = 30000; PRAGMA synchronous = NORMAL;"
      "PRAGMA cache_size = -1024;");
}

std::string setting(const SqliteConnection& db, const char* key, std::string fallback) {
  SqliteStatement q(db, "SELECT value FROM settings WHERE key = ?");
  q.bindText(1, key);
  return q.step() ? q.columnBytes(0) : fallback;
}

void putSetting(SqliteConnection& db, const char* key, std::string_view value) {
  SqliteStatement q(db, "INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)");
  q.bindText(1, key).bindBlob(2, value).run();
}

}  // namespace

ServerStore::ServerStore(std::string path, bool create) : path_(std::move(path)) {
  auto db = std::make_unique<SqliteConnection>(path_, create);
  configure(*db);
  try {
    const auto scalar = [&](const char* sql) {
      SqliteStatement q(*db, sql);
      q.step();
      return q.columnInt(0);
    };
    const auto found = scalar("PRAGMA user_version");
    if (found == 0) {
      if (scalar("SELECT count(*) FROM sqlite_schema") != 0)
        throw SqliteError("\"" + path_ + "\" is a database of another program", SQLITE_ERROR);
      // Big pages keep a 1 MiB block in few overflow pages; this works only on an empty file.
      db->exec("PRAGMA page_size = 65536");
      db->exec("PRAGMA journal_mode = WAL");
      SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
      db->exec(kSchema);
      db->exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
      tx.commit();
    } else if (found != kSchemaVersion) {
      throw SqliteError("\"" + path_ + "\" has store version " + std::to_string(found) +
                            ", this server reads version " + std::to_string(kSchemaVersion),
                        SQLITE_ERROR);
    } else {
      db->exec("PRAGMA journal_mode = WAL");
    }
  } catch (const SqliteError& e) {
    if (e.code() == SQLITE_NOTADB)
      throw SqliteError("\"" + path_ + "\" is not an update store database", e.code());
    throw;
  }
  idle_.push_back(std::move(db));
}

ServerStore::~ServerStore() = default;

std::unique_ptr<SqliteConnection> ServerStore::openConnection() {
  auto db = std::make_unique<SqliteConnection>(path_, false);
  configure(*db);
  return db;
}

ServerStore::Lease::Lease(ServerStore& store, std::unique_ptr<SqliteConnection> db)
    : store_(&store), db_(std::move(db)) {}

ServerStore::Lease::~Lease() {
  if (db_) store_->giveBack(std::move(db_));
}

ServerStore::Lease ServerStore::lease() {
  {
    std::lock_guard lock(poolMutex_);
    if (!idle_.empty()) {
      auto db = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(db));
    }
  }
  return Lease(*this, openConnection());
}

void ServerStore::giveBack(std::unique_ptr<SqliteConnection> db) {
  // A connection left inside a transaction by a failed call would hold a stale snapshot.
  if (!sqlite3_get_autocommit(db->handle())) return;
  std::lock_guard lock(poolMutex_);
  if (idle_.size() < kMaxIdleConnections) idle_.push_back(std::move(db));
}

bool ServerStore::serviceActive() {
  auto db = lease();
  return setting(*db, "service_active", "1") != "0";
}

void ServerStore::setServiceActive(bool active) {
  auto db = lease();
  putSetting(*db, "service_active", active ? "1" : "0");
}

std::string ServerStore::serviceName() {
  auto db = lease();
  return setting(*db, "service_name", kDefaultServiceName);
}

void ServerStore::setServiceName(std::string_view name) {
  if (name.empty()) throw StoreError("The service name cannot be empty");
  auto db = lease();
  putSetting(*db, "service_name", name);
}

void ServerStore::setAdminPassword(std::string_view user, std::string_view password) {
  if (user.empty()) throw StoreError("The administrator's user name cannot be empty");
  if (password.empty()) throw StoreError("The administrator's password cannot be empty");
  const PasswordHash h = PasswordHash::make(password);
  auto db = lease();
  SqliteStatement q(*db,
                    "INSERT OR REPLACE INTO admins(user_name, salt, hash, iterations) "
                    "VALUES(?, ?, ?, ?)");
  q.bindBlob(1, user).bindBlob(2, h.salt).bindBlob(3, h.hash);
  q.bind(4, std::int64_t{h.iterations}).run();
}

bool ServerStore::verifyAdmin(std::string_view user, std::string_view password) {
  PasswordHash stored;
  bool known = false;
  {
    auto db = lease();
    SqliteStatement q(*db, "SELECT salt, hash, iterations FROM admins WHERE user_name = ?");
    q.bindBlob(1, user);
    if (q.step()) {
      stored.salt = q.columnBytes(0);
      stored.hash = q.columnBytes(1);
      stored.iterations = static_cast<int>(q.columnInt(2));
      known = true;
    }
  }
  if (!known) {
    // Spend the same effort as a real check so that timing does not reveal user names.
    static const PasswordHash decoy = PasswordHash::make("decoy password");
    decoy.matches(password);
    return false;
  }
  return !password.empty() && stored.matches(password);
}

std::vector<LookupRow> ServerStore::lookupsByName(std::string_view name) {
  auto db = lease();
  SqliteStatement q(*db,
                    "SELECT l.uid, l.table_uid, l.uid_cd, l.opis1, l.opis2, l.aktivan "
                    "FROM cd_lookups l JOIN cd_lookups_tables t ON t.uid = l.table_uid "
                    "WHERE t.name = ? ORDER BY l.seq");
  q.bindBlob(1, name);
  std::vector<LookupRow> rows;
  while (q.step())
    rows.push_back({q.columnBytes(0), q.columnBytes(1), q.columnBytes(2), q.columnBytes(3),
                    q.columnBytes(4), q.columnBytes(5)});
  return rows;
}

std::string ServerStore::addLookup(std::string_view name, const LookupRow& row) {
  if (name.empty()) throw StoreError("A code list needs a name");
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  std::string tableUid;
  {
    SqliteStatement find(*db, "SELECT uid FROM cd_lookups_tables WHERE name = ?");
    find.bindBlob(1, name);
    if (find.step()) {
      tableUid = find.columnBytes(0);
    } else {
      tableUid = newUid();
      SqliteStatement add(*db, "INSERT INTO cd_lookups_tables(uid, name) VALUES(?, ?)");
      add.bindBlob(1, tableUid).bindBlob(2, name).run();
    }
  }
  const std::string uid = row.uid.empty() ? newUid() : row.uid;
  if (detail::exists(*db, "cd_lookups", uid))
    throw StoreError("Code list entry " + inQuotes(uid) + " already exists");
  SqliteStatement add(*db,
                      "INSERT INTO cd_lookups(uid, table_uid, uid_cd, opis1, opis2, aktivan) "
                      "VALUES(?, ?, ?, ?, ?, ?)");
  add.bindBlob(1, uid).bindBlob(2, tableUid).bindBlob(3, row.uid_cd).bindBlob(4, row.opis1);
  add.bindBlob(5, row.opis2).bindBlob(6, row.aktivan).run();
  tx.commit();
  return uid;
}

int ServerStore::collectOrphans(std::chrono::seconds grace) {
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  SqliteStatement q(*db,
                    "SELECT uid, content_id FROM files_executables f WHERE unlinked_at IS NOT "
                    "NULL AND unlinked_at <= ? AND NOT EXISTS (SELECT 1 FROM "
                    "applications_executables WHERE file_uid = f.uid)");
  q.bind(1, detail::unixNow() - static_cast<std::int64_t>(grace.count()));
  std::vector<std::pair<std::string, std::int64_t>> doomed;
  while (q.step()) doomed.emplace_back(q.columnBytes(0), q.columnInt(1));
  for (const auto& [uid, contentId] : doomed) {
    SqliteStatement del(*db, "DELETE FROM files_executables WHERE uid = ?");
    del.bindBlob(1, uid).run();
    content::dropIfUnused(*db, contentId);
  }
  tx.commit();
  return static_cast<int>(doomed.size());
}

namespace detail {

std::string opisBytes(const std::u16string& opis) {
  std::string out;
  out.reserve(opis.size() * 2);
  for (const char16_t c : opis) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::u16string opisFromBytes(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                        (static_cast<std::uint8_t>(bytes[i + 1]) << 8)));
  return out;
}

ApplicationRow readApplication(const SqliteStatement& q) {
  return {q.columnBytes(0), q.columnBytes(1), q.columnBytes(2), opisFromBytes(q.columnBytes(3)),
          q.columnBytes(4)};
}

ExecutableRow readExecutable(const SqliteStatement& q) {
  ExecutableRow r;
  r.uid = q.columnBytes(0);
  r.file_name = q.columnBytes(1);
  r.file_version = q.columnBytes(2);
  r.upload_date = q.columnDouble(3);
  r.is_main_exe = q.columnBytes(4);
  r.file_description = q.columnBytes(5);
  r.file_size = q.columnInt(6);
  r.complete = q.columnInt(7) != 0;
  return r;
}

ConfigFileRow readConfigFile(const SqliteStatement& q) {
  return {q.columnBytes(0), q.columnBytes(1), q.columnBytes(2),
          q.columnBytes(3), q.columnBytes(4), q.columnDouble(5)};
}

bool exists(const SqliteConnection& db, const char* table, std::string_view uid) {
  SqliteStatement q(db, std::string("SELECT 1 FROM ") + table + " WHERE uid = ?");
  q.bindBlob(1, uid);
  return q.step();
}

void requireApplication(const SqliteConnection& db, std::string_view appUid) {
  if (!exists(db, "applications", appUid))
    throw StoreError("Application " + inQuotes(appUid) + " does not exist");
}

std::vector<LocaleFileRow> localeFiles(const SqliteConnection& db, std::string_view localeUid) {
  SqliteStatement q(db,
                    "SELECT uid, locale_uid, file_name, content FROM locale_files "
                    "WHERE locale_uid = ? ORDER BY seq");
  q.bindBlob(1, localeUid);
  std::vector<LocaleFileRow> rows;
  while (q.step())
    rows.push_back({q.columnBytes(0), q.columnBytes(1), q.columnBytes(2), q.columnBytes(3)});
  return rows;
}

std::vector<LocaleRow> locales(const SqliteConnection& db, std::string_view appUid) {
  SqliteStatement q(db,
                    "SELECT uid, app_uid, locale_name FROM locales WHERE app_uid = ? "
                    "ORDER BY seq");
  q.bindBlob(1, appUid);
  std::vector<LocaleRow> rows;
  while (q.step()) rows.push_back({q.columnBytes(0), q.columnBytes(1), q.columnBytes(2), {}});
  for (auto& row : rows) row.files = localeFiles(db, row.uid);
  return rows;
}

void markUnlinked(SqliteConnection& db, const std::vector<std::string>& uids) {
  SqliteStatement q(db,
                    "UPDATE files_executables SET unlinked_at = ? WHERE uid = ? AND NOT EXISTS "
                    "(SELECT 1 FROM applications_executables WHERE file_uid = ?)");
  for (const auto& uid : uids) {
    q.reset();
    q.bind(1, unixNow()).bindBlob(2, uid).bindBlob(3, uid).run();
  }
}

void markLinked(SqliteConnection& db, std::string_view fileUid) {
  SqliteStatement q(db, "UPDATE files_executables SET unlinked_at = NULL WHERE uid = ?");
  q.bindBlob(1, fileUid).run();
}

}  // namespace detail
}  // namespace tvserver
