#include "UpdaterServiceLibrary_Types.h"

#include <array>

#include "ROClassRegistry.h"

namespace {
// One class description per type, made on first use (so registration order is ours to choose).
template <class T>
const TROClassInfo& ClassOf(std::string_view name, const TROClassInfo& parent) {
  static const TROClassInfo info{name, &parent, &ROCreateInstance<T>};
  return info;
}
}  // namespace

// Each record lists its fields once, in declaration order; the order on the wire is derived.

std::span<const TROFieldDef<WS_Applications>> WS_Applications::Fields() {
  using R = WS_Applications;
  static constexpr auto fields = ROSerializationOrder(std::array{
      ROField<&R::uid_applications>("uid_applications"),
      ROField<&R::id_cd_aplikacije>("id_cd_aplikacije"),
      ROField<&R::naziv_ikonice>("naziv_ikonice"),
      ROField<&R::opis>("opis"),
      ROField<&R::aktivan>("aktivan"),
  });
  return fields;
}

std::span<const TROFieldDef<WS_Files_executables>> WS_Files_executables::Fields() {
  using R = WS_Files_executables;
  static constexpr auto fields = ROSerializationOrder(std::array{
      ROField<&R::uid_files_executables>("uid_files_executables"),
      ROField<&R::file_name>("file_name"),
      ROField<&R::file_version>("file_version"),
      ROField<&R::upload_date>("upload_date"),
      ROField<&R::is_main_exe>("is_main_exe"),
      ROField<&R::file_description>("file_description"),
      ROField<&R::file_size>("file_size"),
  });
  return fields;
}

std::span<const TROFieldDef<WS_Applications_config_files>> WS_Applications_config_files::Fields() {
  using R = WS_Applications_config_files;
  static constexpr auto fields = ROSerializationOrder(std::array{
      ROField<&R::uid_applications_config_files>("uid_applications_config_files"),
      ROField<&R::uid_applications>("uid_applications"),
      ROField<&R::file_name>("file_name"),
      ROField<&R::file_description>("file_description"),
      ROField<&R::Fconfig_file>("config_file"),
      ROField<&R::update_date>("update_date"),
  });
  return fields;
}

std::span<const TROFieldDef<CD_Lookups>> CD_Lookups::Fields() {
  using R = CD_Lookups;
  static constexpr auto fields = ROSerializationOrder(std::array{
      ROField<&R::uid_cd_lookups>("uid_cd_lookups"),
      ROField<&R::uid_cd_lookups_tables>("uid_cd_lookups_tables"),
      ROField<&R::uid_cd>("uid_cd"),
      ROField<&R::opis1>("opis1"),
      ROField<&R::opis2>("opis2"),
      ROField<&R::aktivan>("aktivan"),
  });
  return fields;
}

std::span<const TROFieldDef<WS_Applications_executables>> WS_Applications_executables::Fields() {
  using R = WS_Applications_executables;
  static constexpr auto fields = ROSerializationOrder(std::array{
      ROField<&R::uid_applications_executables>("uid_applications_executables"),
      ROField<&R::uid_applications>("uid_applications"),
      ROField<&R::uid_files_executables>("uid_files_executables"),
      ROField<&R::db_akcija>("db_akcija"),
  });
  return fields;
}

std::span<const TROFieldDef<WS_Application_locales>> WS_Application_locales::Fields() {
  using R = WS_Application_locales;
  static constexpr auto fields = ROSerializationOrder(std::array{
      ROField<&R::uid_application_locales>("uid_application_locales"),
      ROField<&R::uid_applications>("uid_applications"),
      ROField<&R::locale_name>("locale_name"),
      ROField<&R::Flocale_files>("locale_files"),
  });
  return fields;
}

std::span<const TROFieldDef<WS_Locale_files>> WS_Locale_files::Fields() {
  using R = WS_Locale_files;
  static constexpr auto fields = ROSerializationOrder(std::array{
      ROField<&R::uid_locale_files>("uid_locale_files"),
      ROField<&R::uid_application_locales>("uid_application_locales"),
      ROField<&R::Flocale_file>("locale_file"),
      ROField<&R::locale_file_name>("locale_file_name"),
  });
  return fields;
}

// ---- classes ----

const TROClassInfo& WS_Applications::StaticClass() {
  return ClassOf<WS_Applications>("WS_Applications", TROComplexType::StaticClass());
}

const TROClassInfo& WS_Files_executables::StaticClass() {
  return ClassOf<WS_Files_executables>("WS_Files_executables", TROComplexType::StaticClass());
}

const TROClassInfo& WS_Applications_config_files::StaticClass() {
  return ClassOf<WS_Applications_config_files>("WS_Applications_config_files",
                                               TROComplexType::StaticClass());
}

const TROClassInfo& CD_Lookups::StaticClass() {
  return ClassOf<CD_Lookups>("CD_Lookups", TROComplexType::StaticClass());
}

const TROClassInfo& WS_Applications_executables::StaticClass() {
  return ClassOf<WS_Applications_executables>("WS_Applications_executables",
                                              TROComplexType::StaticClass());
}

const TROClassInfo& WS_Application_locales::StaticClass() {
  return ClassOf<WS_Application_locales>("WS_Application_locales", TROComplexType::StaticClass());
}

const TROClassInfo& WS_Locale_files::StaticClass() {
  return ClassOf<WS_Locale_files>("WS_Locale_files", TROComplexType::StaticClass());
}

const TROClassInfo& WS_Array_Of_Applications::StaticClass() {
  return ClassOf<WS_Array_Of_Applications>("WS_Array_Of_Applications", TROArray::StaticClass());
}

const TROClassInfo& WS_Array_Of_Files_executables::StaticClass() {
  return ClassOf<WS_Array_Of_Files_executables>("WS_Array_Of_Files_executables",
                                                TROArray::StaticClass());
}

const TROClassInfo& WS_Array_Of_Applications_config_files::StaticClass() {
  return ClassOf<WS_Array_Of_Applications_config_files>("WS_Array_Of_Applications_config_files",
                                                        TROArray::StaticClass());
}

const TROClassInfo& CD_Array_Of_Lookups::StaticClass() {
  return ClassOf<CD_Array_Of_Lookups>("CD_Array_Of_Lookups", TROArray::StaticClass());
}

const TROClassInfo& WS_Array_Of_Applications_executables::StaticClass() {
  return ClassOf<WS_Array_Of_Applications_executables>("WS_Array_Of_Applications_executables",
                                                       TROArray::StaticClass());
}

const TROClassInfo& WS_Array_Of_Application_locales::StaticClass() {
  return ClassOf<WS_Array_Of_Application_locales>("WS_Array_Of_Application_locales",
                                                  TROArray::StaticClass());
}

const TROClassInfo& WS_Array_Of_Locale_files::StaticClass() {
  return ClassOf<WS_Array_Of_Locale_files>("WS_Array_Of_Locale_files", TROArray::StaticClass());
}

// ---- registration ----

std::span<const TROClassInfo* const> UpdaterServiceTypes() {
  static const std::array<const TROClassInfo*, 14> classes{
      &WS_Applications::StaticClass(),
      &WS_Files_executables::StaticClass(),
      &WS_Applications_config_files::StaticClass(),
      &CD_Lookups::StaticClass(),
      &WS_Applications_executables::StaticClass(),
      &WS_Application_locales::StaticClass(),
      &WS_Locale_files::StaticClass(),
      &WS_Array_Of_Applications::StaticClass(),
      &WS_Array_Of_Files_executables::StaticClass(),
      &WS_Array_Of_Applications_config_files::StaticClass(),
      &CD_Array_Of_Lookups::StaticClass(),
      &WS_Array_Of_Applications_executables::StaticClass(),
      &WS_Array_Of_Application_locales::StaticClass(),
      &WS_Array_Of_Locale_files::StaticClass(),
  };
  return classes;
}

void RegisterUpdaterServiceTypes() {
  TROClassRegistry& registry = TROClassRegistry::Global();
  size_t done = 0;
  try {
    for (const TROClassInfo* cls : UpdaterServiceTypes()) {
      registry.Register(*cls);
      ++done;
    }
  } catch (...) {
    // A half registration would leave the registry unbalanced for the next attempt.
    for (const TROClassInfo* cls : UpdaterServiceTypes().first(done)) registry.Unregister(*cls);
    throw;
  }
}

void UnregisterUpdaterServiceTypes() noexcept {
  TROClassRegistry& registry = TROClassRegistry::Global();
  for (const TROClassInfo* cls : UpdaterServiceTypes()) registry.Unregister(*cls);
}
