// Applications, the bundle a launcher asks for, and the links to executables.
#include <set>

#include "ServerStore.h"
#include "StoreDetail.h"
#include "StoreRules.h"

namespace tvserver {

using detail::kApplicationColumns;

std::vector<ApplicationRow> ServerStore::listApplications(std::string_view active) {
  std::string where;
  if (active.empty()) {
    where = "";
  } else if (active == "N") {
    where = " WHERE aktivan = x'4E'";  // "N"; the column holds bytes
  } else if (active == "D") {
    // The launcher treats every value but "N" as active, so the list does the same.
    where = " WHERE aktivan <> x'4E'";
  } else {
    throw StoreError("The filter " + inQuotes(active) +
                     " is unknown: ask for \"D\" (active), \"N\" (inactive) or \"\" (all)");
  }
  auto db = lease();
  SqliteStatement q(*db, std::string("SELECT ") + kApplicationColumns + " FROM applications" +
                             where + " ORDER BY seq");
  std::vector<ApplicationRow> rows;
  while (q.step()) rows.push_back(detail::readApplication(q));
  return rows;
}

namespace {

void checkApplication(const ApplicationRow& row) {
  if (row.uid.empty()) throw StoreError("An application needs an identifier (uid_applications)");
  // The identifier names the application's folder and its manifest on every workstation.
  requirePlainName(row.uid, "The application identifier");
}

void bindApplication(SqliteStatement& q, const ApplicationRow& row) {
  q.bindBlob(1, row.id_cd_aplikacije).bindBlob(2, row.naziv_ikonice);
  q.bindBlob(3, detail::opisBytes(row.opis)).bindBlob(4, row.aktivan).bindBlob(5, row.uid);
}

}  // namespace

void ServerStore::insertApplication(const ApplicationRow& row) {
  checkApplication(row);
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  if (detail::exists(*db, "applications", row.uid))
    throw StoreError("Application " + inQuotes(row.uid) + " already exists");
  SqliteStatement q(*db,
                    "INSERT INTO applications(id_cd_aplikacije, naziv_ikonice, opis, aktivan, "
                    "uid) VALUES(?, ?, ?, ?, ?)");
  bindApplication(q, row);
  q.run();
  tx.commit();
}

void ServerStore::updateApplication(const ApplicationRow& row) {
  auto db = lease();
  SqliteStatement q(*db,
                    "UPDATE applications SET id_cd_aplikacije = ?, naziv_ikonice = ?, opis = ?, "
                    "aktivan = ? WHERE uid = ?");
  bindApplication(q, row);
  q.run();
  if (db->changes() == 0) throw StoreError("Application " + inQuotes(row.uid) + " does not exist");
}

bool ServerStore::deleteApplication(std::string_view uid) {
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  std::vector<std::string> files;
  {
    SqliteStatement q(*db, "SELECT file_uid FROM applications_executables WHERE app_uid = ?");
    q.bindBlob(1, uid);
    while (q.step()) files.push_back(q.columnBytes(0));
  }
  SqliteStatement del(*db, "DELETE FROM applications WHERE uid = ?");
  del.bindBlob(1, uid).run();
  const bool deleted = db->changes() > 0;
  detail::markUnlinked(*db, files);
  tx.commit();
  return deleted;
}

std::optional<ApplicationBundle> ServerStore::getApplication(std::string_view uid) {
  auto db = lease();
  // One read transaction: the record, its files and their contents come from one snapshot even
  // while an administrator publishes a new version.
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Deferred);
  ApplicationBundle bundle;
  {
    SqliteStatement q(
        *db, std::string("SELECT ") + kApplicationColumns + " FROM applications WHERE uid = ?");
    q.bindBlob(1, uid);
    if (!q.step()) return std::nullopt;
    bundle.application = detail::readApplication(q);
  }
  {
    SqliteStatement q(*db, std::string("SELECT ") + detail::kExecutableColumns +
                               " FROM applications_executables l "
                               "JOIN files_executables f ON f.uid = l.file_uid "
                               "JOIN contents c ON c.id = f.content_id WHERE l.app_uid = ? "
                               "ORDER BY (f.is_main_exe = x'44') DESC, l.seq");
    q.bindBlob(1, uid);
    while (q.step()) bundle.executables.push_back(detail::readExecutable(q));
  }
  bundle.configs = detail::configFiles(*db, uid);
  bundle.locales = detail::locales(*db, uid);
  tx.commit();
  return bundle;
}

std::vector<LinkRow> ServerStore::listLinks(std::string_view appUid) {
  auto db = lease();
  SqliteStatement q(*db,
                    "SELECT uid, app_uid, file_uid FROM applications_executables "
                    "WHERE app_uid = ? ORDER BY seq");
  q.bindBlob(1, appUid);
  std::vector<LinkRow> rows;
  while (q.step()) rows.push_back({q.columnBytes(0), q.columnBytes(1), q.columnBytes(2), ""});
  return rows;
}

void ServerStore::replaceLinks(std::string_view appUid, const std::vector<LinkRow>& items) {
  auto db = lease();
  SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
  detail::requireApplication(*db, appUid);
  std::vector<const LinkRow*> keep;
  std::set<std::string> seenFiles, seenNames;
  for (const auto& item : items) {
    if (!item.app_uid.empty() && item.app_uid != appUid)
      throw StoreError("A link names application " + inQuotes(item.app_uid) + " instead of " +
                       inQuotes(appUid));
    if (item.db_akcija == "D") continue;
    if (!item.db_akcija.empty() && item.db_akcija != "I")
      throw StoreError("The link action " + inQuotes(item.db_akcija) +
                       " is unknown: use \"I\" to keep or add a file, \"D\" to remove it");
    SqliteStatement f(*db,
                      "SELECT f.file_name, c.complete FROM files_executables f JOIN contents c "
                      "ON c.id = f.content_id WHERE f.uid = ?");
    f.bindBlob(1, item.file_uid);
    if (!f.step()) throw StoreError("Executable " + inQuotes(item.file_uid) + " does not exist");
    if (f.columnInt(1) == 0)
      throw StoreError("Executable " + inQuotes(item.file_uid) +
                       " has not been uploaded completely and cannot be offered yet");
    if (!seenFiles.insert(item.file_uid).second) continue;
    if (!seenNames.insert(foldCase(f.columnBytes(0))).second)
      throw StoreError("Two executables of the application are called " +
                       inQuotes(f.columnBytes(0)));
    keep.push_back(&item);
  }
  std::vector<std::string> before;
  {
    SqliteStatement q(*db, "SELECT file_uid FROM applications_executables WHERE app_uid = ?");
    q.bindBlob(1, appUid);
    while (q.step()) before.push_back(q.columnBytes(0));
  }
  // Keep the identifiers and order of links that stay, so a re-sent set changes nothing.
  {
    SqliteStatement drop(*db,
                         "DELETE FROM applications_executables WHERE app_uid = ? AND file_uid = ?");
    for (const auto& uid : before) {
      if (seenFiles.count(uid)) continue;
      drop.reset();
      drop.bindBlob(1, appUid).bindBlob(2, uid).run();
    }
  }
  SqliteStatement has(*db,
                      "SELECT 1 FROM applications_executables WHERE app_uid = ? AND file_uid = ?");
  SqliteStatement add(*db,
                      "INSERT INTO applications_executables(uid, app_uid, file_uid) "
                      "VALUES(?, ?, ?)");
  for (const LinkRow* item : keep) {
    has.reset();
    has.bindBlob(1, appUid).bindBlob(2, item->file_uid);
    if (has.step()) continue;
    const std::string linkUid = item->uid.empty() ? newUid() : item->uid;
    if (detail::exists(*db, "applications_executables", linkUid))
      throw StoreError("Link " + inQuotes(linkUid) + " already exists");
    add.reset();
    add.bindBlob(1, linkUid).bindBlob(2, appUid).bindBlob(3, item->file_uid).run();
    detail::markLinked(*db, item->file_uid);
  }
  detail::markUnlinked(*db, before);
  tx.commit();
}

}  // namespace tvserver
