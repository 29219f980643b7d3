#include "Publisher.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "ContentBlocks.h"
#include "StoreDetail.h"
#include "StoreRules.h"
#include "TextCodec.h"

namespace tvserver {

PublishFile PublishFile::fromBytes(std::string name, std::string bytes) {
  return {std::move(name), std::move(bytes), {}};
}

PublishFile PublishFile::fromPath(std::string name, std::filesystem::path path) {
  return {std::move(name), {}, std::move(path)};
}

namespace {

class Sha256 {
 public:
  Sha256() : ctx_(EVP_MD_CTX_new()) {
    if (!ctx_ || EVP_DigestInit_ex(ctx_.get(), EVP_sha256(), nullptr) != 1)
      throw std::runtime_error("Cannot compute SHA-256 (OpenSSL failed)");
  }
  void add(const std::uint8_t* data, std::size_t n) { EVP_DigestUpdate(ctx_.get(), data, n); }
  std::string digest() {
    std::string out(32, '\0');
    unsigned int n = 0;
    EVP_DigestFinal_ex(ctx_.get(), reinterpret_cast<unsigned char*>(out.data()), &n);
    return out;
  }

 private:
  struct Free {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> ctx_;
};

// Reads a file's bytes block by block, from memory or from disk.
class BlockReader {
 public:
  explicit BlockReader(const PublishFile& file) : file_(file) {
    if (!file.path.empty()) {
      in_.open(file.path, std::ios::binary);
      if (!in_) throw StoreError("Cannot read \"" + file.path.string() + "\"");
    }
  }
  // Fills buf with up to its size; returns the count, 0 at the end.
  std::size_t next(std::vector<std::uint8_t>& buf) {
    if (file_.path.empty()) {
      const std::size_t n = std::min(buf.size(), file_.bytes.size() - pos_);
      std::copy_n(file_.bytes.data() + pos_, n, buf.data());
      pos_ += n;
      return n;
    }
    in_.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
    if (in_.bad()) throw StoreError("Cannot read \"" + file_.path.string() + "\"");
    return static_cast<std::size_t>(in_.gcount());
  }

 private:
  const PublishFile& file_;
  std::ifstream in_;
  std::size_t pos_ = 0;
};

struct Fingerprint {
  std::int64_t size = 0;
  std::string sha256;
};

Fingerprint fingerprint(const PublishFile& file) {
  BlockReader reader(file);
  std::vector<std::uint8_t> buf(content::kBlockSize);
  Sha256 sha;
  Fingerprint f;
  while (const std::size_t n = reader.next(buf)) {
    sha.add(buf.data(), n);
    f.size += static_cast<std::int64_t>(n);
  }
  f.sha256 = sha.digest();
  return f;
}

std::int64_t storeContent(SqliteConnection& db, const PublishFile& file, const Fingerprint& fp,
                          const PublishProgress& progress) {
  const std::int64_t id = content::create(db, fp.size);
  BlockReader reader(file);
  std::vector<std::uint8_t> buf(content::kBlockSize);
  Sha256 sha;
  std::int64_t done = 0;
  for (std::int64_t block = 0; block < content::blockCount(fp.size); ++block) {
    const std::size_t want = static_cast<std::size_t>(content::blockLength(fp.size, block));
    buf.resize(want);
    if (reader.next(buf) != want) break;
    sha.add(buf.data(), want);
    content::putBlock(db, id, block, buf);
    done += static_cast<std::int64_t>(want);
    if (progress) progress(file.name, done, fp.size);
  }
  std::vector<std::uint8_t> probe(1);
  if (done != fp.size || reader.next(probe) != 0 || sha.digest() != fp.sha256)
    throw StoreError("The file " + inQuotes(file.name) +
                     " changed while it was published; publish again once it is stable");
  content::finish(db, id, fp.sha256);
  return id;
}

void requireUniqueNames(const std::vector<PublishFile>& files, std::string_view what) {
  std::set<std::string> seen;
  for (const auto& f : files) {
    requirePlainName(f.name, what);
    if (!seen.insert(foldCase(f.name)).second)
      throw StoreError(std::string(what) + " " + inQuotes(f.name) + " appears twice");
  }
}

void validate(const PublishSpec& plan) {
  if (plan.application.uid.empty()) throw StoreError("The application needs an identifier");
  requirePlainName(plan.application.uid, "The application identifier");
  requireUniqueNames(plan.executables, "The executable");
  requireUniqueNames(plan.configs, "The configuration file");
  std::set<std::string> locales;
  for (const auto& l : plan.locales) {
    requirePlainName(l.name, "The locale name");
    if (!locales.insert(foldCase(l.name)).second)
      throw StoreError("The locale " + inQuotes(l.name) + " appears twice");
    requireUniqueNames(l.files, "The locale file");
  }
  if (!plan.mainExecutable.empty() &&
      std::none_of(plan.executables.begin(), plan.executables.end(),
                   [&](const PublishFile& f) { return f.name == plan.mainExecutable; }))
    throw StoreError("The main executable " + inQuotes(plan.mainExecutable) +
                     " is not among the application's files");
}

std::string versionText(double when) {
  // Linux executables carry no version resource, so the version is the moment of publishing.
  const auto secs = static_cast<std::time_t>((when - 25569.0) * 86400.0 + 0.5);
  std::tm t{};
  gmtime_r(&secs, &t);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d.%02d.%02d.%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

std::string readWhole(const PublishFile& file) {
  if (file.path.empty()) return file.bytes;
  std::ifstream in(file.path, std::ios::binary);
  if (!in) throw StoreError("Cannot read \"" + file.path.string() + "\"");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct LinkedFile {
  std::string uid;
  std::int64_t size = 0;
  std::string sha256;
  std::string isMain;
};

}  // namespace

PublishResult publish(ServerStore& store, const PublishSpec& plan, const PublishProgress& progress,
                      std::chrono::seconds grace) {
  validate(plan);
  // Hash outside the write lock: clients keep being served while large files are read.
  std::vector<Fingerprint> prints;
  for (const auto& f : plan.executables) prints.push_back(fingerprint(f));

  PublishResult result;
  {
    auto db = store.lease();
    SqliteTransaction tx(*db, SqliteTransaction::Kind::Immediate);
    const ApplicationRow& app = plan.application;
    std::map<std::string, LinkedFile> linked;  // by folded file name
    std::vector<std::string> before;
    if (detail::exists(*db, "applications", app.uid)) {
      SqliteStatement q(*db,
                        "UPDATE applications SET naziv_ikonice = ?, opis = ?, aktivan = ?, "
                        "id_cd_aplikacije = CASE WHEN ? = x'' THEN id_cd_aplikacije ELSE ? END "
                        "WHERE uid = ?");
      q.bindBlob(1, app.naziv_ikonice).bindBlob(2, detail::opisBytes(app.opis));
      q.bindBlob(3, app.aktivan).bindBlob(4, app.id_cd_aplikacije);
      q.bindBlob(5, app.id_cd_aplikacije).bindBlob(6, app.uid).run();
      SqliteStatement files(*db,
                            "SELECT f.uid, f.file_name, f.file_size, c.sha256, f.is_main_exe "
                            "FROM applications_executables l JOIN files_executables f ON "
                            "f.uid = l.file_uid JOIN contents c ON c.id = f.content_id "
                            "WHERE l.app_uid = ?");
      files.bindBlob(1, app.uid);
      while (files.step()) {
        before.push_back(files.columnBytes(0));
        linked[foldCase(files.columnBytes(1))] = {files.columnBytes(0), files.columnInt(2),
                                                  files.columnBytes(3), files.columnBytes(4)};
      }
    } else {
      SqliteStatement q(*db,
                        "INSERT INTO applications(uid, id_cd_aplikacije, naziv_ikonice, opis, "
                        "aktivan) VALUES(?, ?, ?, ?, ?)");
      q.bindBlob(1, app.uid).bindBlob(2, app.id_cd_aplikacije).bindBlob(3, app.naziv_ikonice);
      q.bindBlob(4, detail::opisBytes(app.opis)).bindBlob(5, app.aktivan).run();
    }

    const double now = nowAsTDateTime();
    std::vector<std::string> fileUids;
    for (std::size_t i = 0; i < plan.executables.size(); ++i) {
      const PublishFile& file = plan.executables[i];
      const Fingerprint& fp = prints[i];
      const std::string isMain = file.name == plan.mainExecutable ? "D" : "N";
      const auto old = linked.find(foldCase(file.name));
      if (old != linked.end() && old->second.size == fp.size && old->second.sha256 == fp.sha256 &&
          old->second.isMain == isMain) {
        fileUids.push_back(old->second.uid);
        ++result.reusedFiles;
        continue;
      }
      auto contentId = content::findComplete(*db, fp.size, fp.sha256);
      if (!contentId) {
        contentId = storeContent(*db, file, fp, progress);
        ++result.storedFiles;
      }
      const std::string uid = newUid();
      SqliteStatement q(*db,
                        "INSERT INTO files_executables(uid, file_name, file_version, "
                        "upload_date, is_main_exe, file_description, file_size, content_id) "
                        "VALUES(?, ?, ?, ?, ?, x'', ?, ?)");
      q.bindBlob(1, uid).bindBlob(2, file.name).bindBlob(3, versionText(now)).bind(4, now);
      q.bindBlob(5, isMain).bind(6, fp.size).bind(7, *contentId).run();
      fileUids.push_back(uid);
    }

    SqliteStatement dropLinks(*db, "DELETE FROM applications_executables WHERE app_uid = ?");
    dropLinks.bindBlob(1, app.uid).run();
    SqliteStatement link(*db,
                         "INSERT INTO applications_executables(uid, app_uid, file_uid) "
                         "VALUES(?, ?, ?)");
    for (const auto& uid : fileUids) {
      link.reset();
      link.bindBlob(1, newUid()).bindBlob(2, app.uid).bindBlob(3, uid).run();
      detail::markLinked(*db, uid);
    }
    detail::markUnlinked(*db, before);

    SqliteStatement dropConfigs(*db, "DELETE FROM config_files WHERE app_uid = ?");
    dropConfigs.bindBlob(1, app.uid).run();
    SqliteStatement config(*db,
                           "INSERT INTO config_files(uid, app_uid, file_name, file_description, "
                           "content, update_date) VALUES(?, ?, ?, x'', ?, ?)");
    for (const auto& f : plan.configs) {
      config.reset();
      config.bindBlob(1, newUid()).bindBlob(2, app.uid).bindBlob(3, f.name);
      config.bindBlob(4, readWhole(f)).bind(5, now).run();
    }

    SqliteStatement dropLocales(*db, "DELETE FROM locales WHERE app_uid = ?");
    dropLocales.bindBlob(1, app.uid).run();
    SqliteStatement locale(*db, "INSERT INTO locales(uid, app_uid, locale_name) VALUES(?, ?, ?)");
    SqliteStatement localeFile(*db,
                               "INSERT INTO locale_files(uid, locale_uid, file_name, content) "
                               "VALUES(?, ?, ?, ?)");
    for (const auto& l : plan.locales) {
      const std::string localeUid = newUid();
      locale.reset();
      locale.bindBlob(1, localeUid).bindBlob(2, app.uid).bindBlob(3, l.name).run();
      for (const auto& f : l.files) {
        localeFile.reset();
        localeFile.bindBlob(1, newUid()).bindBlob(2, localeUid).bindBlob(3, f.name);
        localeFile.bindBlob(4, readWhole(f)).run();
      }
    }
    tx.commit();
    // Move the new blocks from the log into the database file while nobody needs them yet.
    sqlite3_wal_checkpoint_v2(db->handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  }
  result.collectedFiles = store.collectOrphans(grace);
  return result;
}

namespace {

std::string toCp1250(const std::string& utf8, std::string_view what) {
  try {
    return utf8ToCp1250(utf8);
  } catch (const TextCodecError& e) {
    throw StoreError(std::string(what) + " \"" + utf8 + "\" cannot be stored: " + e.what());
  }
}

// The regular files directly inside dir, in name order; a subfolder is refused.
std::vector<PublishFile> filesOf(const std::filesystem::path& dir, std::string_view what) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec))
    throw StoreError("\"" + dir.string() + "\" is not a folder");
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_directory())
      throw StoreError("\"" + entry.path().string() + "\" is a folder; " + std::string(what) +
                       " lie directly in \"" + dir.string() + "\"");
    if (!entry.is_regular_file())
      throw StoreError("\"" + entry.path().string() + "\" is not a regular file");
    paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<PublishFile> files;
  for (const auto& p : paths)
    files.push_back(PublishFile::fromPath(toCp1250(p.filename().string(), "The file name"), p));
  return files;
}

}  // namespace

PublishSpec specFromFolders(const PublishFolders& folders) {
  PublishSpec plan;
  plan.application.uid = toCp1250(folders.uid, "The application identifier");
  plan.application.naziv_ikonice = toCp1250(folders.name, "The application name");
  try {
    plan.application.opis = utf8ToUtf16(folders.description);
  } catch (const TextCodecError& e) {
    throw StoreError(std::string("The description is not valid UTF-8: ") + e.what());
  }
  plan.application.aktivan = folders.inactive ? "N" : "D";
  plan.executables = filesOf(folders.dir, "executables");
  if (plan.executables.empty())
    throw StoreError("\"" + folders.dir.string() + "\" holds no files to publish");
  if (!folders.main.empty()) {
    plan.mainExecutable = toCp1250(folders.main, "The main executable");
  } else if (plan.executables.size() == 1) {
    plan.mainExecutable = plan.executables.front().name;
  } else {
    throw StoreError("\"" + folders.dir.string() +
                     "\" holds several files: name the one to start with --main");
  }
  if (folders.configDir) plan.configs = filesOf(*folders.configDir, "configuration files");
  for (const auto& [name, dir] : folders.locales)
    plan.locales.push_back({toCp1250(name, "The locale name"), filesOf(dir, "locale files")});
  return plan;
}

}  // namespace tvserver
