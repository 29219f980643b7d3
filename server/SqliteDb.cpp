#include "SqliteDb.h"

namespace tvserver {

SqliteConnection::SqliteConnection(const std::string& path, bool create) : path_(path) {
  sqlite3* raw = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    const std::string reason = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    throw SqliteError("Cannot open database \"" + path + "\": " + reason, rc);
  }
  sqlite3_extended_result_codes(raw, 1);
}

void SqliteConnection::exec(std::string_view sql) {
  const std::string text(sql);
  char* err = nullptr;
  const int rc = sqlite3_exec(db_.get(), text.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    std::string message = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    throw SqliteError("Database \"" + path_ + "\": " + message, rc);
  }
}

std::int64_t SqliteConnection::lastInsertRowId() const {
  return sqlite3_last_insert_rowid(db_.get());
}

int SqliteConnection::changes() const {
  return sqlite3_changes(db_.get());
}

void SqliteConnection::fail(int code, std::string_view context) const {
  throw SqliteError(
      "Database \"" + path_ + "\": " + std::string(context) + ": " + sqlite3_errmsg(db_.get()),
      code);
}

SqliteStatement::SqliteStatement(const SqliteConnection& db, std::string_view sql)
    : db_(&db), sql_(sql) {
  sqlite3_stmt* raw = nullptr;
  const int rc =
      sqlite3_prepare_v2(db.handle(), sql_.data(), static_cast<int>(sql_.size()), &raw, nullptr);
  stmt_.reset(raw);
  if (rc != SQLITE_OK) db.fail(rc, "cannot prepare \"" + sql_ + "\"");
}

void SqliteStatement::check(int rc, std::string_view what) const {
  if (rc != SQLITE_OK) db_->fail(rc, std::string(what) + " in \"" + sql_ + "\"");
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
  check(sqlite3_bind_int64(stmt_.get(), index, value), "bind");
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, double value) {
  check(sqlite3_bind_double(stmt_.get(), index, value), "bind");
  return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, std::span<const std::uint8_t> bytes) {
  // A zero-length blob must still be a blob, not NULL: SQLite binds NULL for a null pointer.
  static const std::uint8_t empty = 0;
  const void* data = bytes.empty() ? &empty : bytes.data();
  check(sqlite3_bind_blob64(stmt_.get(), index, data, bytes.size(), SQLITE_TRANSIENT), "bind");
  return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, std::string_view bytes) {
  return bindBlob(index, std::span<const std::uint8_t>(
                             reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

SqliteStatement& SqliteStatement::bindText(int index, std::string_view text) {
  check(sqlite3_bind_text64(stmt_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8),
        "bind");
  return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index) {
  check(sqlite3_bind_null(stmt_.get(), index), "bind");
  return *this;
}

SqliteStatement& SqliteStatement::bindZeroBlob(int index, std::int64_t size) {
  check(sqlite3_bind_zeroblob64(stmt_.get(), index, static_cast<sqlite3_uint64>(size)), "bind");
  return *this;
}

bool SqliteStatement::step() {
  const int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_->fail(rc, "cannot run \"" + sql_ + "\"");
}

void SqliteStatement::run() {
  while (step()) {
  }
}

void SqliteStatement::reset() {
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
}

bool SqliteStatement::isNull(int column) const {
  return sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::columnInt(int column) const {
  return sqlite3_column_int64(stmt_.get(), column);
}

double SqliteStatement::columnDouble(int column) const {
  return sqlite3_column_double(stmt_.get(), column);
}

std::string SqliteStatement::columnBytes(int column) const {
  const void* data = sqlite3_column_blob(stmt_.get(), column);
  const int size = sqlite3_column_bytes(stmt_.get(), column);
  if (!data || size <= 0) return {};
  return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

SqliteTransaction::SqliteTransaction(SqliteConnection& db, Kind kind) : db_(db) {
  db_.exec(kind == Kind::Immediate ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED");
}

SqliteTransaction::~SqliteTransaction() {
  if (open_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::commit() {
  db_.exec("COMMIT");
  open_ = false;
}

SqliteBlob::SqliteBlob(const SqliteConnection& db, const char* table, const char* column,
                       std::int64_t rowid, bool writable)
    : db_(&db) {
  sqlite3_blob* raw = nullptr;
  const int rc =
      sqlite3_blob_open(db.handle(), "main", table, column, rowid, writable ? 1 : 0, &raw);
  blob_.reset(raw);
  if (rc != SQLITE_OK) db.fail(rc, std::string("cannot open a block of ") + table);
}

int SqliteBlob::size() const {
  return sqlite3_blob_bytes(blob_.get());
}

void SqliteBlob::read(void* dest, int length, int offset) const {
  const int rc = sqlite3_blob_read(blob_.get(), dest, length, offset);
  if (rc != SQLITE_OK) db_->fail(rc, "cannot read a stored block");
}

void SqliteBlob::write(const void* src, int length, int offset) {
  const int rc = sqlite3_blob_write(blob_.get(), src, length, offset);
  if (rc != SQLITE_OK) db_->fail(rc, "cannot write a stored block");
}

}  // namespace tvserver
