// The rows that the update store keeps, as plain values independent of the wire records.
//
// Text fields hold code page 1250 bytes exactly as the service exchanges them; descriptions
// (`opis`) are UTF-16. Contents (config and locale files) travel whole; executable bytes do not
// live here, they are read part by part from the block store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tvserver {

struct ApplicationRow {
  std::string uid;  // uid_applications
  std::string id_cd_aplikacije;
  std::string naziv_ikonice;
  std::u16string opis;
  std::string aktivan;
};

struct ExecutableRow {
  std::string uid;  // uid_files_executables
  std::string file_name;
  std::string file_version;
  double upload_date = 0;
  std::string is_main_exe;
  std::string file_description;
  std::int64_t file_size = 0;
  bool complete = false;  // every byte has arrived; only then can it be linked and downloaded
};

struct ConfigFileRow {
  std::string uid;  // uid_applications_config_files
  std::string app_uid;
  std::string file_name;
  std::string file_description;
  std::string content;
  double update_date = 0;
};

struct LocaleFileRow {
  std::string uid;  // uid_locale_files
  std::string locale_uid;
  std::string file_name;  // locale_file_name
  std::string content;
};

struct LocaleRow {
  std::string uid;  // uid_application_locales
  std::string app_uid;
  std::string locale_name;
  std::vector<LocaleFileRow> files;
};

struct LookupRow {
  std::string uid;        // uid_cd_lookups
  std::string table_uid;  // uid_cd_lookups_tables
  std::string uid_cd;
  std::string opis1;
  std::string opis2;
  std::string aktivan;
};

struct LinkRow {
  std::string uid;  // uid_applications_executables
  std::string app_uid;
  std::string file_uid;
  std::string db_akcija;
};

// Everything a launcher needs to start one application.
struct ApplicationBundle {
  ApplicationRow application;
  std::vector<ExecutableRow> executables;  // main executable first, then in link order
  std::vector<ConfigFileRow> configs;
  std::vector<LocaleRow> locales;
};

}  // namespace tvserver
