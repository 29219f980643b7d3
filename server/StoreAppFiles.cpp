// Configuration files and locales: small files that travel whole inside Get_Application.
#include "ServerStore.h"
#include "StoreDetail.h"
#include "StoreRules.h"

namespace tvserver {

namespace {

// The launcher writes these names into one folder, so two that differ only in case collide.
void requireUniqueName(const SqliteConnection& db, const char* table, const char* nameColumn,
                       const char* ownerColumn, std::string_view owner, std::string_view uid,
                       std::string_view name, std::string_view what) {
  SqliteStatement q(db, std::string("SELECT ") + nameColumn + " FROM " + table + " WHERE " +
                            ownerColumn + " = ? AND uid <> ?");
  q.bindBlob(1, owner).bindBlob(2, uid);
  const std::string folded = foldCase(name);
  while (q.step())
    if (foldCase(q.columnBytes(0)) == folded)
      throw StoreError(std::string(what) + " " + inQuotes(name) + " exists already");
}

void requireLocale(const SqliteConnection& db, std::string_view localeUid) {
  if (!detail::exists(db, "locales", localeUid))
    throw StoreError("Locale " + inQuotes(localeUid) + " does not exist");
}

std::string insertLocaleFileOn(SqliteConnection& db, const LocaleFileRow& row) {
  requirePlainName(row.file_name, "The locale file name");
  requireLocale(db, row.locale_uid);
  const std::string uid = row.uid.empty() ? newUid() : row.uid;
  if (detail::exists(db, "locale_files", uid))
    throw StoreError("Locale file " + inQuotes(uid) + " already exists");
  requireUniqueName(db, "locale_files", "file_name", "locale_uid", row.locale_uid, uid,
                    row.file_name, "The locale file");
  SqliteStatement q(db,
                    "INSERT INTO locale_files(uid, locale_uid, file_name, content) "
                    "VALUES(?, ?, ?, ?)");
  q.bindBlob(1, uid).bindBlob(2, row.locale_uid).bindBlob(3, row.file_name);
  q.bindBlob(4, row.content).run();
  return uid;
}

}  // namespace

namespace detail {

std::vector<ConfigFileRow> configFiles(const SqliteConnection& db, std::string_view appUid) {
  SqliteStatement q(db, std::string("SELECT ") + kConfigColumns +
                            " FROM config_files WHERE app_uid = ? ORDER BY seq");
  q.bindBlob(1, appUid);
  std::vector<ConfigFileRow> rows;
  while (q.step()) rows.push_back(readConfigFile(q));
  return rows;
}

}  // namespace detail

std::vector<ConfigFileRow> ServerStore::listConfigFiles(std::string_view appUid) {
  auto db = lease();
  return detail::configFiles(*db, appUid);
}

std::string ServerStore::insertConfigFile(const ConfigFileRow& row) {
  requirePlainName(row.file_name, "The configuration file name");
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  detail::requireApplication(*db, row.app_uid);
  const std::string uid = row.uid.empty() ? newUid() : row.uid;
  if (detail::exists(*db, "config_files", uid))
    throw StoreError("Configuration file " + inQuotes(uid) + " already exists");
  requireUniqueName(*db, "config_files", "file_name", "app_uid", row.app_uid, uid, row.file_name,
                    "The configuration file");
  SqliteStatement q(*db,
                    "INSERT INTO config_files(uid, app_uid, file_name, file_description, "
                    "content, update_date) VALUES(?, ?, ?, ?, ?, ?)");
  q.bindBlob(1, uid).bindBlob(2, row.app_uid).bindBlob(3, row.file_name);
  q.bindBlob(4, row.file_description).bindBlob(5, row.content).bind(6, nowAsTDateTime()).run();
  tx.commit();
  return uid;
}

void ServerStore::updateConfigFile(const ConfigFileRow& row) {
  requirePlainName(row.file_name, "The configuration file name");
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  if (!detail::exists(*db, "config_files", row.uid))
    throw StoreError("Configuration file " + inQuotes(row.uid) + " does not exist");
  detail::requireApplication(*db, row.app_uid);
  requireUniqueName(*db, "config_files", "file_name", "app_uid", row.app_uid, row.uid,
                    row.file_name, "The configuration file");
  SqliteStatement q(*db,
                    "UPDATE config_files SET app_uid = ?, file_name = ?, file_description = ?, "
                    "content = ?, update_date = ? WHERE uid = ?");
  q.bindBlob(1, row.app_uid).bindBlob(2, row.file_name).bindBlob(3, row.file_description);
  q.bindBlob(4, row.content).bind(5, nowAsTDateTime()).bindBlob(6, row.uid).run();
  tx.commit();
}

bool ServerStore::deleteConfigFile(std::string_view uid) {
  auto db = lease();
  SqliteStatement q(*db, "DELETE FROM config_files WHERE uid = ?");
  q.bindBlob(1, uid).run();
  return db->changes() > 0;
}

std::vector<LocaleRow> ServerStore::listLocales(std::string_view appUid) {
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Deferred);
  auto rows = detail::locales(*db, appUid);
  tx.commit();
  return rows;
}

std::string ServerStore::insertLocale(const LocaleRow& row) {
  requirePlainName(row.locale_name, "The locale name");
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  detail::requireApplication(*db, row.app_uid);
  const std::string uid = row.uid.empty() ? newUid() : row.uid;
  if (detail::exists(*db, "locales", uid))
    throw StoreError("Locale " + inQuotes(uid) + " already exists");
  requireUniqueName(*db, "locales", "locale_name", "app_uid", row.app_uid, uid, row.locale_name,
                    "The locale");
  SqliteStatement q(*db, "INSERT INTO locales(uid, app_uid, locale_name) VALUES(?, ?, ?)");
  q.bindBlob(1, uid).bindBlob(2, row.app_uid).bindBlob(3, row.locale_name).run();
  for (LocaleFileRow file : row.files) {
    file.locale_uid = uid;
    insertLocaleFileOn(*db, file);
  }
  tx.commit();
  return uid;
}

void ServerStore::updateLocale(const LocaleRow& row) {
  requirePlainName(row.locale_name, "The locale name");
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  requireLocale(*db, row.uid);
  detail::requireApplication(*db, row.app_uid);
  requireUniqueName(*db, "locales", "locale_name", "app_uid", row.app_uid, row.uid, row.locale_name,
                    "The locale");
  SqliteStatement q(*db, "UPDATE locales SET app_uid = ?, locale_name = ? WHERE uid = ?");
  q.bindBlob(1, row.app_uid).bindBlob(2, row.locale_name).bindBlob(3, row.uid).run();
  tx.commit();
}

bool ServerStore::deleteLocale(std::string_view uid) {
  auto db = lease();
  SqliteStatement q(*db, "DELETE FROM locales WHERE uid = ?");
  q.bindBlob(1, uid).run();
  return db->changes() > 0;
}

std::string ServerStore::insertLocaleFile(const LocaleFileRow& row) {
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  std::string uid = insertLocaleFileOn(*db, row);
  tx.commit();
  return uid;
}

void ServerStore::updateLocaleFile(const LocaleFileRow& row) {
  requirePlainName(row.file_name, "The locale file name");
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  if (!detail::exists(*db, "locale_files", row.uid))
    throw StoreError("Locale file " + inQuotes(row.uid) + " does not exist");
  requireLocale(*db, row.locale_uid);
  requireUniqueName(*db, "locale_files", "file_name", "locale_uid", row.locale_uid, row.uid,
                    row.file_name, "The locale file");
  SqliteStatement q(*db,
                    "UPDATE locale_files SET locale_uid = ?, file_name = ?, content = ? "
                    "WHERE uid = ?");
  q.bindBlob(1, row.locale_uid).bindBlob(2, row.file_name).bindBlob(3, row.content);
  q.bindBlob(4, row.uid).run();
  tx.commit();
}

bool ServerStore::deleteLocaleFile(std::string_view uid) {
  auto db = lease();
  SqliteStatement q(*db, "DELETE FROM locale_files WHERE uid = ?");
  q.bindBlob(1, uid).run();
  return db->changes() > 0;
}

}  // namespace tvserver
