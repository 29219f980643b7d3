#include "UpdaterServiceImpl.h"

#include <iostream>

#include "StoreRules.h"
#include "UpdaterService_Invoker.h"

namespace tvserver {

namespace {

ApplicationRow toRow(const WS_Applications& r) {
  return {r.uid_applications, r.id_cd_aplikacije, r.naziv_ikonice, r.opis, r.aktivan};
}

std::unique_ptr<WS_Applications> toRecord(const ApplicationRow& row) {
  auto r = std::make_unique<WS_Applications>();
  r->uid_applications = row.uid;
  r->id_cd_aplikacije = row.id_cd_aplikacije;
  r->naziv_ikonice = row.naziv_ikonice;
  r->opis = row.opis;
  r->aktivan = row.aktivan;
  return r;
}

ExecutableRow toRow(const WS_Files_executables& r) {
  ExecutableRow row;
  row.uid = r.uid_files_executables;
  row.file_name = r.file_name;
  row.file_version = r.file_version;
  row.upload_date = r.upload_date;
  row.is_main_exe = r.is_main_exe;
  row.file_description = r.file_description;
  row.file_size = r.file_size;
  return row;
}

std::unique_ptr<WS_Files_executables> toRecord(const ExecutableRow& row) {
  auto r = std::make_unique<WS_Files_executables>();
  r->uid_files_executables = row.uid;
  r->file_name = row.file_name;
  r->file_version = row.file_version;
  r->upload_date = row.upload_date;
  r->is_main_exe = row.is_main_exe;
  r->file_description = row.file_description;
  r->file_size = row.file_size;
  return r;
}

ConfigFileRow toRow(const WS_Applications_config_files& r) {
  return {r.uid_applications_config_files, r.uid_applications, r.file_name, r.file_description,
          r.config_file().ToString(),      r.update_date};
}

std::unique_ptr<WS_Applications_config_files> toRecord(const ConfigFileRow& row) {
  auto r = std::make_unique<WS_Applications_config_files>();
  r->uid_applications_config_files = row.uid;
  r->uid_applications = row.app_uid;
  r->file_name = row.file_name;
  r->file_description = row.file_description;
  r->config_file().Write(row.content);
  r->config_file().SetPosition(0);
  r->update_date = row.update_date;
  return r;
}

LocaleFileRow toRow(const WS_Locale_files& r) {
  return {r.uid_locale_files, r.uid_application_locales, r.locale_file_name,
          r.locale_file().ToString()};
}

std::unique_ptr<WS_Locale_files> toRecord(const LocaleFileRow& row) {
  auto r = std::make_unique<WS_Locale_files>();
  r->uid_locale_files = row.uid;
  r->uid_application_locales = row.locale_uid;
  r->locale_file_name = row.file_name;
  r->locale_file().Write(row.content);
  r->locale_file().SetPosition(0);
  return r;
}

LocaleRow toRow(const WS_Application_locales& r) {
  LocaleRow row{r.uid_application_locales, r.uid_applications, r.locale_name, {}};
  const auto& files = r.locale_files();
  for (int32_t i = 0; i < files.Count(); ++i)
    if (const WS_Locale_files* f = files.Items(i)) row.files.push_back(toRow(*f));
  return row;
}

std::unique_ptr<WS_Application_locales> toRecord(const LocaleRow& row) {
  auto r = std::make_unique<WS_Application_locales>();
  r->uid_application_locales = row.uid;
  r->uid_applications = row.app_uid;
  r->locale_name = row.locale_name;
  for (const auto& f : row.files) r->locale_files().Add(toRecord(f));
  return r;
}

template <class Array, class Rows>
std::unique_ptr<Array> toArray(const Rows& rows) {
  auto a = std::make_unique<Array>();
  for (const auto& row : rows) a->Add(toRecord(row));
  return a;
}

}  // namespace

UpdaterServiceImpl::UpdaterServiceImpl(ServerStore& store, AdminSessions& sessions,
                                       std::ostream* log)
    : store_(store), sessions_(sessions), log_(log ? log : &std::cerr) {}

void UpdaterServiceImpl::databaseFailed(const std::exception& e) {
  {
    std::lock_guard lock(logMutex_);
    *log_ << "tolvara-server: " << e.what() << std::endl;
  }
  throw EROServerException(kServerErrorClass,
                           "The update server cannot use its store at the moment; the "
                           "administrator finds the reason in the server's log");
}

void UpdaterServiceImpl::requireAdmin() {
  const TROCallContext* call = TROCallContext::Current();
  if (call && sessions_.touch(call->clientID.bytes)) return;
  throw EROServerException(kServerErrorClass,
                           "This operation needs an administrator: log in with AdminLogin first (a "
                           "session ends after " +
                               std::to_string(sessions_.idleLimit().count() / 60) +
                               " minutes without use)");
}

bool UpdaterServiceImpl::Echo() {
  return true;
}

std::unique_ptr<WS_Array_Of_Applications> UpdaterServiceImpl::Get_Applications_List(
    const std::string& Active) {
  return guarded(
      [&] { return toArray<WS_Array_Of_Applications>(store_.listApplications(Active)); });
}

bool UpdaterServiceImpl::Insert_Applications(const WS_Applications& Application) {
  requireAdmin();
  return guarded([&] {
    store_.insertApplication(toRow(Application));
    return true;
  });
}

bool UpdaterServiceImpl::Update_Applications(const WS_Applications& Application) {
  requireAdmin();
  return guarded([&] {
    store_.updateApplication(toRow(Application));
    return true;
  });
}

bool UpdaterServiceImpl::Delete_Applications(const std::string& uid_applications) {
  requireAdmin();
  return guarded([&] { return store_.deleteApplication(uid_applications); });
}

bool UpdaterServiceImpl::Service_IsActive() {
  return guarded([&] { return store_.serviceActive(); });
}

bool UpdaterServiceImpl::Service_Activate() {
  requireAdmin();
  return guarded([&] {
    store_.setServiceActive(true);
    return true;
  });
}

bool UpdaterServiceImpl::Service_Deactivate() {
  requireAdmin();
  return guarded([&] {
    store_.setServiceActive(false);
    return true;
  });
}

std::string UpdaterServiceImpl::Service_GetName() {
  return guarded([&] { return store_.serviceName(); });
}

bool UpdaterServiceImpl::Service_SetName(const std::string& NewServiceName) {
  requireAdmin();
  return guarded([&] {
    store_.setServiceName(NewServiceName);
    return true;
  });
}

std::unique_ptr<WS_Array_Of_Files_executables> UpdaterServiceImpl::Get_Files_executables_List() {
  return guarded([&] { return toArray<WS_Array_Of_Files_executables>(store_.listExecutables()); });
}

std::string UpdaterServiceImpl::Insert_Files_executables(
    const WS_Files_executables& File_executable) {
  requireAdmin();
  return guarded([&] { return store_.insertExecutable(toRow(File_executable)); });
}

bool UpdaterServiceImpl::Update_Files_executables(const WS_Files_executables& File_executable) {
  requireAdmin();
  return guarded([&] {
    store_.updateExecutable(toRow(File_executable));
    return true;
  });
}

bool UpdaterServiceImpl::Delete_Files_executables(const std::string& uid_files_executables) {
  requireAdmin();
  return guarded([&] { return store_.deleteExecutable(uid_files_executables); });
}

std::unique_ptr<WS_Array_Of_Applications_config_files>
UpdaterServiceImpl::Get_Applications_config_files_List(const std::string& uid_applications) {
  return guarded([&] {
    return toArray<WS_Array_Of_Applications_config_files>(store_.listConfigFiles(uid_applications));
  });
}

bool UpdaterServiceImpl::Insert_Applications_config_files(
    const WS_Applications_config_files& Applications_config_files) {
  requireAdmin();
  return guarded([&] {
    store_.insertConfigFile(toRow(Applications_config_files));
    return true;
  });
}

bool UpdaterServiceImpl::Update_Applications_config_files(
    const WS_Applications_config_files& Applications_config_files) {
  requireAdmin();
  return guarded([&] {
    store_.updateConfigFile(toRow(Applications_config_files));
    return true;
  });
}

bool UpdaterServiceImpl::Delete_Applications_config_files(
    const std::string& uid_applications_config_files) {
  requireAdmin();
  return guarded([&] { return store_.deleteConfigFile(uid_applications_config_files); });
}

bool UpdaterServiceImpl::AdminLogin(const std::string& AdminUserName,
                                    const std::string& AdminPassword) {
  const TROCallContext* call = TROCallContext::Current();
  if (!call) return false;
  const bool valid = guarded([&] { return store_.verifyAdmin(AdminUserName, AdminPassword); });
  if (!valid) {
    sessions_.close(call->clientID.bytes);
    return false;
  }
  if (!sessions_.open(call->clientID.bytes))
    throw EROServerException(kServerErrorClass,
                             "AdminLogin needs a client that sends its own identifier");
  return true;
}

std::unique_ptr<CD_Array_Of_Lookups> UpdaterServiceImpl::Get_CD_Lookups_By_Name(
    const std::string& cd_name) {
  return guarded([&] {
    auto a = std::make_unique<CD_Array_Of_Lookups>();
    for (const auto& row : store_.lookupsByName(cd_name)) {
      auto& r = a->AddNew();
      r.uid_cd_lookups = row.uid;
      r.uid_cd_lookups_tables = row.table_uid;
      r.uid_cd = row.uid_cd;
      r.opis1 = row.opis1;
      r.opis2 = row.opis2;
      r.aktivan = row.aktivan;
    }
    return a;
  });
}

bool UpdaterServiceImpl::Upload_Files_Executables(const WS_Files_executables& File_Executable,
                                                  std::int32_t File_Part_No,
                                                  std::int32_t Chunk_Size,
                                                  const TROBinaryMemoryStream& File_Part) {
  requireAdmin();
  return guarded([&] {
    store_.uploadPart(File_Executable.uid_files_executables, File_Part_No, Chunk_Size,
                      File_Part.Bytes());
    return true;
  });
}

std::unique_ptr<TROBinaryMemoryStream> UpdaterServiceImpl::Download_Files_Executables(
    const WS_Files_executables& File_Executable, std::int32_t File_Part_No,
    std::int32_t Chunk_Size) {
  return guarded([&] {
    std::vector<std::uint8_t> bytes;
    store_.readPart(File_Executable.uid_files_executables, File_Part_No, Chunk_Size,
                    [&](std::size_t n) {
                      bytes.resize(n);
                      return bytes.data();
                    });
    return std::make_unique<TROBinaryMemoryStream>(std::move(bytes));
  });
}

std::unique_ptr<WS_Array_Of_Applications_executables>
UpdaterServiceImpl::Get_Applications_Executables(const std::string& uid_applications) {
  return guarded([&] {
    auto a = std::make_unique<WS_Array_Of_Applications_executables>();
    for (const auto& row : store_.listLinks(uid_applications)) {
      auto& r = a->AddNew();
      r.uid_applications_executables = row.uid;
      r.uid_applications = row.app_uid;
      r.uid_files_executables = row.file_uid;
      r.db_akcija = row.db_akcija;
    }
    return a;
  });
}

bool UpdaterServiceImpl::Update_Applications_Executables(
    const std::string& uid_applications,
    const WS_Array_Of_Applications_executables& ArrayOfApplicationsExecutables) {
  requireAdmin();
  return guarded([&] {
    std::vector<LinkRow> items;
    for (int32_t i = 0; i < ArrayOfApplicationsExecutables.Count(); ++i)
      if (const auto* r = ArrayOfApplicationsExecutables.Items(i))
        items.push_back({r->uid_applications_executables, r->uid_applications,
                         r->uid_files_executables, r->db_akcija});
    store_.replaceLinks(uid_applications, items);
    return true;
  });
}

bool UpdaterServiceImpl::Get_Application(
    const std::string& Uid_applications, std::unique_ptr<WS_Applications>& Applications,
    std::unique_ptr<WS_Array_Of_Files_executables>& Executables,
    std::unique_ptr<WS_Array_Of_Applications_config_files>& Configurations,
    std::unique_ptr<WS_Array_Of_Application_locales>& Locales) {
  Applications.reset();
  Executables.reset();
  Configurations.reset();
  Locales.reset();
  return guarded([&] {
    const auto bundle = store_.getApplication(Uid_applications);
    if (!bundle) return false;
    Applications = toRecord(bundle->application);
    Executables = toArray<WS_Array_Of_Files_executables>(bundle->executables);
    Configurations = toArray<WS_Array_Of_Applications_config_files>(bundle->configs);
    Locales = toArray<WS_Array_Of_Application_locales>(bundle->locales);
    return true;
  });
}

bool UpdaterServiceImpl::Insert_Application_locales(
    const WS_Application_locales& Application_locales) {
  requireAdmin();
  return guarded([&] {
    store_.insertLocale(toRow(Application_locales));
    return true;
  });
}

bool UpdaterServiceImpl::Update_Application_locales(
    const WS_Application_locales& Application_locales) {
  requireAdmin();
  return guarded([&] {
    store_.updateLocale(toRow(Application_locales));
    return true;
  });
}

bool UpdaterServiceImpl::Delete_Application_locales(const std::string& uid_application_locales) {
  requireAdmin();
  return guarded([&] { return store_.deleteLocale(uid_application_locales); });
}

bool UpdaterServiceImpl::Insert_Locales_files(const WS_Locale_files& Locales_files) {
  requireAdmin();
  return guarded([&] {
    store_.insertLocaleFile(toRow(Locales_files));
    return true;
  });
}

bool UpdaterServiceImpl::Update_Locales_files(const WS_Locale_files& Locale_files) {
  requireAdmin();
  return guarded([&] {
    store_.updateLocaleFile(toRow(Locale_files));
    return true;
  });
}

bool UpdaterServiceImpl::Delete_Locales_files(const std::string& uid_locales_files) {
  requireAdmin();
  return guarded([&] { return store_.deleteLocaleFile(uid_locales_files); });
}

std::unique_ptr<WS_Array_Of_Application_locales> UpdaterServiceImpl::Get_Application_Locales(
    const std::string& uid_applications) {
  return guarded([&] {
    return toArray<WS_Array_Of_Application_locales>(store_.listLocales(uid_applications));
  });
}

}  // namespace tvserver
