// Thin RAII layer over SQLite: a connection, a prepared statement and a transaction.
//
// Every failure of SQLite is raised as SqliteError carrying SQLite's own message and the
// statement or file concerned. A transaction that is neither committed nor rolled back when it
// goes out of scope is rolled back, so an exception half-way through a change leaves nothing.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tvserver {

class SqliteError : public std::runtime_error {
 public:
  SqliteError(const std::string& what, int code) : std::runtime_error(what), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

class SqliteConnection {
 public:
  // Opens (and with create, creates) the database file. Throws SqliteError naming the file.
  SqliteConnection(const std::string& path, bool create);

  sqlite3* handle() const { return db_.get(); }
  const std::string& path() const { return path_; }

  // Runs one or more statements without results.
  void exec(std::string_view sql);
  std::int64_t lastInsertRowId() const;
  int changes() const;

  // Raises SqliteError for the connection's last failure with code.
  [[noreturn]] void fail(int code, std::string_view context) const;

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  std::unique_ptr<sqlite3, Closer> db_;
  std::string path_;
};

class SqliteStatement {
 public:
  SqliteStatement(const SqliteConnection& db, std::string_view sql);

  // Bind by 1-based index. Text and blob values are copied by SQLite.
  SqliteStatement& bind(int index, std::int64_t value);
  SqliteStatement& bind(int index, double value);
  SqliteStatement& bindBlob(int index, std::span<const std::uint8_t> bytes);
  SqliteStatement& bindBlob(int index, std::string_view bytes);
  SqliteStatement& bindText(int index, std::string_view text);
  SqliteStatement& bindNull(int index);
  SqliteStatement& bindZeroBlob(int index, std::int64_t size);

  // Advances; true while a row is available.
  bool step();
  // Steps a statement that returns no rows (or whose rows are ignored) to its end.
  void run();
  void reset();

  bool isNull(int column) const;
  std::int64_t columnInt(int column) const;
  double columnDouble(int column) const;
  // The column's bytes (blob or text) as they are stored.
  std::string columnBytes(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
  };
  const SqliteConnection* db_;
  std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
  std::string sql_;
  void check(int rc, std::string_view what) const;
};

class SqliteTransaction {
 public:
  enum class Kind { Deferred, Immediate };
  SqliteTransaction(SqliteConnection& db, Kind kind);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;

  void commit();

 private:
  SqliteConnection& db_;
  bool open_ = true;
};

// An open incremental BLOB handle on one cell; reads go straight into the caller's buffer.
class SqliteBlob {
 public:
  SqliteBlob(const SqliteConnection& db, const char* table, const char* column, std::int64_t rowid,
             bool writable);
  int size() const;
  void read(void* dest, int length, int offset) const;
  void write(const void* src, int length, int offset);

 private:
  struct Closer {
    void operator()(sqlite3_blob* b) const { sqlite3_blob_close(b); }
  };
  const SqliteConnection* db_;
  std::unique_ptr<sqlite3_blob, Closer> blob_;
};

}  // namespace tvserver
