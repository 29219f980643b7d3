// Pieces shared by the store's source files: reading rows from statements and the bookkeeping
// of executables that lose or regain their last application. Not part of the store's API.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "SqliteDb.h"
#include "StoreRecords.h"

namespace tvserver::detail {

inline constexpr const char* kApplicationColumns =
    "uid, id_cd_aplikacije, naziv_ikonice, opis, aktivan";
inline constexpr const char* kExecutableColumns =
    "f.uid, f.file_name, f.file_version, f.upload_date, f.is_main_exe, f.file_description, "
    "f.file_size, c.complete";
inline constexpr const char* kConfigColumns =
    "uid, app_uid, file_name, file_description, content, update_date";

ApplicationRow readApplication(const SqliteStatement& q);
ExecutableRow readExecutable(const SqliteStatement& q);
ConfigFileRow readConfigFile(const SqliteStatement& q);

std::string opisBytes(const std::u16string& opis);
std::u16string opisFromBytes(const std::string& bytes);

bool exists(const SqliteConnection& db, const char* table, std::string_view uid);
void requireApplication(const SqliteConnection& db, std::string_view appUid);
std::vector<ConfigFileRow> configFiles(const SqliteConnection& db, std::string_view appUid);
std::vector<LocaleFileRow> localeFiles(const SqliteConnection& db, std::string_view localeUid);
std::vector<LocaleRow> locales(const SqliteConnection& db, std::string_view appUid);

// After links were removed: files among uids that now belong to no application start their
// grace period. linked: the files now in use clear it.
void markUnlinked(SqliteConnection& db, const std::vector<std::string>& uids);
void markLinked(SqliteConnection& db, std::string_view fileUid);

inline std::int64_t unixNow() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace tvserver::detail
