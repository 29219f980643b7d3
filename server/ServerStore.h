// The update store: applications, their executables, configuration files, locales, code
// lists, service state and administrator accounts in one SQLite file (WAL mode, so readers
// never wait for a writer and always see one committed state).
//
// Safe to use from many threads: each call leases its own connection from a small pool and runs
// in its own transaction. Refusals that the caller can act on (unknown or duplicate identifier,
// a name that is not a plain file name, a file that is still in use) are StoreError with a
// message for the administrator; database failures are SqliteError.
//
// Executable contents never change once complete: a new version is a new file record. Files
// that lose their last application stay downloadable for a grace period, so a client that read
// the old list can finish its download, and are removed by collectOrphans afterwards.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "SqliteDb.h"
#include "StoreRecords.h"

namespace tvserver {

class ServerStore {
 public:
  static constexpr std::int32_t kMaxChunkSize = 16 << 20;
  static constexpr const char* kDefaultServiceName = "Tolvara Update Server";

  // Opens the database, creating the file and its tables when create is set. Throws
  // SqliteError naming the file when it cannot be opened or is not an update store.
  explicit ServerStore(std::string path, bool create = true);
  ~ServerStore();
  ServerStore(const ServerStore&) = delete;
  ServerStore& operator=(const ServerStore&) = delete;

  const std::string& path() const { return path_; }

  // A connection of the pool for the duration of one unit of work.
  class Lease {
   public:
    Lease(ServerStore& store, std::unique_ptr<SqliteConnection> db);
    ~Lease();
    Lease(Lease&&) = default;
    Lease& operator=(Lease&&) = delete;
    SqliteConnection& operator*() const { return *db_; }
    SqliteConnection* operator->() const { return db_.get(); }

   private:
    ServerStore* store_;
    std::unique_ptr<SqliteConnection> db_;
  };
  Lease lease();

  // Service state.
  bool serviceActive();
  void setServiceActive(bool active);
  std::string serviceName();
  void setServiceName(std::string_view name);

  // Administrator accounts. verifyAdmin takes as long for an unknown user as for a wrong
  // password, so the answer does not tell which user names exist.
  void setAdminPassword(std::string_view user, std::string_view password);
  bool verifyAdmin(std::string_view user, std::string_view password);

  // Applications. active: "" lists all, "N" the inactive ones, "D" every other one.
  std::vector<ApplicationRow> listApplications(std::string_view active);
  void insertApplication(const ApplicationRow& row);
  void updateApplication(const ApplicationRow& row);
  bool deleteApplication(std::string_view uid);
  std::optional<ApplicationBundle> getApplication(std::string_view uid);

  // Executables. insertExecutable returns the identifier (the given one or a new one); a file
  // of size 0 is complete at once, any other awaits its parts.
  std::vector<ExecutableRow> listExecutables();
  std::string insertExecutable(const ExecutableRow& row);
  void updateExecutable(const ExecutableRow& row);
  bool deleteExecutable(std::string_view uid);
  // Stores part partNo (from 1) of chunkSize bytes; the file becomes complete with its last
  // missing part. Returns true when this part completed the file.
  bool uploadPart(std::string_view uid, std::int32_t partNo, std::int32_t chunkSize,
                  std::span<const std::uint8_t> bytes);

  // Bytes [(partNo-1)*chunkSize, min(partNo*chunkSize, size)) of a complete file. allocate
  // receives the part's length and returns where to put it; the bytes are read straight there.
  void readPart(std::string_view uid, std::int32_t partNo, std::int32_t chunkSize,
                const std::function<std::uint8_t*(std::size_t)>& allocate);

  // Links between applications and executables.
  std::vector<LinkRow> listLinks(std::string_view appUid);
  // Replaces the application's set: items with db_akcija "I" or "" are the new set, "D"
  // items are left out (removed); any other action is refused.
  void replaceLinks(std::string_view appUid, const std::vector<LinkRow>& items);

  // Configuration files.
  std::vector<ConfigFileRow> listConfigFiles(std::string_view appUid);
  std::string insertConfigFile(const ConfigFileRow& row);
  void updateConfigFile(const ConfigFileRow& row);
  bool deleteConfigFile(std::string_view uid);

  // Locales and their files. insertLocale inserts the locale's files too; updateLocale changes
  // the locale's own fields only (its files have their own operations).
  std::vector<LocaleRow> listLocales(std::string_view appUid);
  std::string insertLocale(const LocaleRow& row);
  void updateLocale(const LocaleRow& row);
  bool deleteLocale(std::string_view uid);
  std::string insertLocaleFile(const LocaleFileRow& row);
  void updateLocaleFile(const LocaleFileRow& row);
  bool deleteLocaleFile(std::string_view uid);

  // Code lists.
  std::vector<LookupRow> lookupsByName(std::string_view name);
  // Adds an entry to the list called name (created when missing); returns the entry's uid.
  std::string addLookup(std::string_view name, const LookupRow& row);

  // Removes executables that have had no application for longer than grace, with their
  // contents when nothing else uses them. Returns how many file records went.
  int collectOrphans(std::chrono::seconds grace);

 private:
  friend class Lease;
  std::unique_ptr<SqliteConnection> openConnection();
  void giveBack(std::unique_ptr<SqliteConnection> db);

  std::string path_;
  std::mutex poolMutex_;
  std::vector<std::unique_ptr<SqliteConnection>> idle_;
};

}  // namespace tvserver
