// The records and arrays that UpdaterService exchanges: seven record types with their fields
// (names, kinds and declaration order are the server's and travel on the wire) and one array
// type for each. Records own their streams and nested arrays, which appear empty on first
// access; arrays own their records. Serialization order, Assign, the array operations and their
// errors come from TRORecord and TROArray (see RORecord.h and ROTypes.h).
// RegisterUpdaterServiceTypes() must run before a stream naming these classes is read.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "ROBinaryMemoryStream.h"
#include "RORecord.h"
#include "ROTypes.h"

// An application that the server offers.
class WS_Applications : public TRORecord<WS_Applications> {
 public:
  static const TROClassInfo& StaticClass();

  std::string uid_applications;
  std::string id_cd_aplikacije;
  std::string naziv_ikonice;
  std::u16string opis;
  std::string aktivan;

 private:
  friend TRORecord<WS_Applications>;
  static std::span<const TROFieldDef<WS_Applications>> Fields();
};

// One executable file of an application.
class WS_Files_executables : public TRORecord<WS_Files_executables> {
 public:
  static const TROClassInfo& StaticClass();

  std::string uid_files_executables;
  std::string file_name;
  std::string file_version;
  double upload_date = 0.0;  // days since 30 December 1899
  std::string is_main_exe;
  std::string file_description;
  int64_t file_size = 0;

 private:
  friend TRORecord<WS_Files_executables>;
  static std::span<const TROFieldDef<WS_Files_executables>> Fields();
};

// A configuration file that the launcher writes into the application folder.
class WS_Applications_config_files : public TRORecord<WS_Applications_config_files> {
 public:
  static const TROClassInfo& StaticClass();

  std::string uid_applications_config_files;
  std::string uid_applications;
  std::string file_name;
  std::string file_description;
  double update_date = 0.0;

  // The file's whole content; created empty on first access.
  TROBinaryMemoryStream& config_file() { return Fconfig_file.Get(); }
  const TROBinaryMemoryStream& config_file() const { return Fconfig_file.Get(); }
  // Replaces the stream (the old one is destroyed); none leaves the field empty until the next
  // access creates a fresh stream.
  void set_config_file(std::unique_ptr<TROBinaryMemoryStream> value) {
    Fconfig_file.Set(std::move(value));
  }
  bool has_config_file() const { return Fconfig_file.Assigned(); }
  std::unique_ptr<TROBinaryMemoryStream> release_config_file() { return Fconfig_file.Release(); }

 private:
  friend TRORecord<WS_Applications_config_files>;
  static std::span<const TROFieldDef<WS_Applications_config_files>> Fields();
  TROOwned<TROBinaryMemoryStream> Fconfig_file;
};

// An entry of a named code list.
class CD_Lookups : public TRORecord<CD_Lookups> {
 public:
  static const TROClassInfo& StaticClass();

  std::string uid_cd_lookups;
  std::string uid_cd_lookups_tables;
  std::string uid_cd;
  std::string opis1;
  std::string opis2;
  std::string aktivan;

 private:
  friend TRORecord<CD_Lookups>;
  static std::span<const TROFieldDef<CD_Lookups>> Fields();
};

// The link between an application and an executable.
class WS_Applications_executables : public TRORecord<WS_Applications_executables> {
 public:
  static const TROClassInfo& StaticClass();

  std::string uid_applications_executables;
  std::string uid_applications;
  std::string uid_files_executables;
  std::string db_akcija;

 private:
  friend TRORecord<WS_Applications_executables>;
  static std::span<const TROFieldDef<WS_Applications_executables>> Fields();
};

// One file of a language.
class WS_Locale_files : public TRORecord<WS_Locale_files> {
 public:
  static const TROClassInfo& StaticClass();

  std::string uid_locale_files;
  std::string uid_application_locales;
  std::string locale_file_name;

  // The file's whole content; created empty on first access.
  TROBinaryMemoryStream& locale_file() { return Flocale_file.Get(); }
  const TROBinaryMemoryStream& locale_file() const { return Flocale_file.Get(); }
  void set_locale_file(std::unique_ptr<TROBinaryMemoryStream> value) {
    Flocale_file.Set(std::move(value));
  }
  bool has_locale_file() const { return Flocale_file.Assigned(); }
  std::unique_ptr<TROBinaryMemoryStream> release_locale_file() { return Flocale_file.Release(); }

 private:
  friend TRORecord<WS_Locale_files>;
  static std::span<const TROFieldDef<WS_Locale_files>> Fields();
  TROOwned<TROBinaryMemoryStream> Flocale_file;
};

class WS_Array_Of_Locale_files : public TROArrayOf<WS_Array_Of_Locale_files, WS_Locale_files> {
 public:
  static const TROClassInfo& StaticClass();
};

// A language of an application, with its files.
class WS_Application_locales : public TRORecord<WS_Application_locales> {
 public:
  static const TROClassInfo& StaticClass();

  std::string uid_application_locales;
  std::string uid_applications;
  std::string locale_name;

  // The locale's files; created empty on first access.
  WS_Array_Of_Locale_files& locale_files() { return Flocale_files.Get(); }
  const WS_Array_Of_Locale_files& locale_files() const { return Flocale_files.Get(); }
  void set_locale_files(std::unique_ptr<WS_Array_Of_Locale_files> value) {
    Flocale_files.Set(std::move(value));
  }
  bool has_locale_files() const { return Flocale_files.Assigned(); }
  std::unique_ptr<WS_Array_Of_Locale_files> release_locale_files() {
    return Flocale_files.Release();
  }

 private:
  friend TRORecord<WS_Application_locales>;
  static std::span<const TROFieldDef<WS_Application_locales>> Fields();
  TROOwned<WS_Array_Of_Locale_files> Flocale_files;
};

class WS_Array_Of_Applications : public TROArrayOf<WS_Array_Of_Applications, WS_Applications> {
 public:
  static const TROClassInfo& StaticClass();
};

class WS_Array_Of_Files_executables
    : public TROArrayOf<WS_Array_Of_Files_executables, WS_Files_executables> {
 public:
  static const TROClassInfo& StaticClass();
};

class WS_Array_Of_Applications_config_files
    : public TROArrayOf<WS_Array_Of_Applications_config_files, WS_Applications_config_files> {
 public:
  static const TROClassInfo& StaticClass();
};

class CD_Array_Of_Lookups : public TROArrayOf<CD_Array_Of_Lookups, CD_Lookups> {
 public:
  static const TROClassInfo& StaticClass();
};

class WS_Array_Of_Applications_executables
    : public TROArrayOf<WS_Array_Of_Applications_executables, WS_Applications_executables> {
 public:
  static const TROClassInfo& StaticClass();
};

class WS_Array_Of_Application_locales
    : public TROArrayOf<WS_Array_Of_Application_locales, WS_Application_locales> {
 public:
  static const TROClassInfo& StaticClass();
};

// The fourteen classes in registration order: the seven records, then the seven arrays.
std::span<const TROClassInfo* const> UpdaterServiceTypes();

// Registers the fourteen classes with the global registry in that order, and removes them in
// the same order. Registrations nest (each register needs its unregister).
void RegisterUpdaterServiceTypes();
void UnregisterUpdaterServiceTypes() noexcept;

// Keeps the classes registered for its lifetime: one at program start, or one per test.
class TUpdaterServiceTypesRegistration {
 public:
  TUpdaterServiceTypesRegistration() { RegisterUpdaterServiceTypes(); }
  ~TUpdaterServiceTypesRegistration() { UnregisterUpdaterServiceTypes(); }
  TUpdaterServiceTypesRegistration(const TUpdaterServiceTypesRegistration&) = delete;
  TUpdaterServiceTypesRegistration& operator=(const TUpdaterServiceTypesRegistration&) = delete;
};
