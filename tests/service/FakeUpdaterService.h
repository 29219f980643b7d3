// A hand-written IUpdaterService for the wire tests: every method notes its name and what it
// received, and answers with sample values that the test can compare with what the client got.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ROStreamSerializer.h"
#include "UpdaterServiceLibrary_Intf.h"
#include "UpdaterService_Invoker.h"

namespace fake {

using Bytes = std::vector<std::uint8_t>;

// A value as the serializer writes it: the one comparison that covers every field.
inline Bytes Encoded(const TROComplexType* value, const TROClassInfo& cls) {
  Bytes out;
  TROStreamSerializer w(out);
  if (cls.InheritsFrom(TROArray::StaticClass()))
    w.WriteArray("v", static_cast<const TROArray*>(value), cls);
  else
    w.WriteStruct("v", value, cls);
  return out;
}
template <class T>
Bytes Encoded(const T& value) {
  return Encoded(&value, T::StaticClass());
}
template <class T>
Bytes Encoded(const std::unique_ptr<T>& value) {
  return Encoded(value.get(), T::StaticClass());
}

inline std::unique_ptr<WS_Applications> App(const std::string& uid) {
  auto a = std::make_unique<WS_Applications>();
  a->uid_applications = uid;
  a->id_cd_aplikacije = "K" + uid;
  a->naziv_ikonice = "Knjigovodstvo \x9A\xE8";  // "šč" in code page 1250
  a->opis = u"Opis \u0161\u010D";
  a->aktivan = "D";
  return a;
}

inline std::unique_ptr<WS_Files_executables> File(const std::string& uid, std::int64_t size) {
  auto f = std::make_unique<WS_Files_executables>();
  f->uid_files_executables = uid;
  f->file_name = uid + ".exe";
  f->file_version = "1.0.0.1";
  f->upload_date = 41263.5;
  f->is_main_exe = "D";
  f->file_description = "glavni program";
  f->file_size = size;
  return f;
}

inline std::unique_ptr<WS_Applications_config_files> Config(const std::string& uid) {
  auto c = std::make_unique<WS_Applications_config_files>();
  c->uid_applications_config_files = uid;
  c->uid_applications = "A1";
  c->file_name = "app.ini";
  c->file_description = "";
  c->update_date = 41000.25;
  c->config_file().Write("[Main]\r\nServer=db\r\n");
  return c;
}

inline std::unique_ptr<WS_Application_locales> Locale(const std::string& name) {
  auto l = std::make_unique<WS_Application_locales>();
  l->uid_application_locales = "L-" + name;
  l->uid_applications = "A1";
  l->locale_name = name;
  auto& file = l->locale_files().AddNew();
  file.uid_locale_files = "LF-" + name;
  file.uid_application_locales = l->uid_application_locales;
  file.locale_file_name = "app.mo";
  file.locale_file().Write(std::string("\xDE\x12\x04\x95\0\0", 6));
  l->locale_files().Add(nullptr);  // an empty slot travels as such
  return l;
}

class FakeUpdaterService : public IUpdaterService {
 public:
  // What the last call received: its name, its simple in values as text, its in objects.
  std::vector<std::string> calls;
  std::vector<std::string> values;
  std::vector<Bytes> objects;
  std::vector<TROGuid> callers;  // the client identifier seen during each call

  // What calls answer.
  bool boolResult = true;
  std::string stringResult = "Tolvara \x8A";
  std::function<void()> beforeAnswer;  // e.g. throw to make the call fail
  bool sendApplication = true, sendExecutables = true, sendConfigurations = true,
       sendLocales = true;

  std::unique_ptr<WS_Array_Of_Applications> Applications() const {
    auto a = std::make_unique<WS_Array_Of_Applications>();
    a->Add(App("A1"));
    a->Add(App("A2"));
    return a;
  }
  std::unique_ptr<WS_Array_Of_Files_executables> Files() const {
    auto a = std::make_unique<WS_Array_Of_Files_executables>();
    a->Add(File("F1", 1048577));
    a->Add(File("F2", 0));
    return a;
  }
  std::unique_ptr<WS_Array_Of_Applications_config_files> Configs() const {
    auto a = std::make_unique<WS_Array_Of_Applications_config_files>();
    a->Add(Config("C1"));
    return a;
  }
  std::unique_ptr<CD_Array_Of_Lookups> Lookups() const {
    auto a = std::make_unique<CD_Array_Of_Lookups>();
    auto& l = a->AddNew();
    l.uid_cd_lookups = "1";
    l.uid_cd_lookups_tables = "T";
    l.uid_cd = "X";
    l.opis1 = "prvi";
    l.opis2 = "drugi";
    l.aktivan = "D";
    return a;
  }
  std::unique_ptr<WS_Array_Of_Applications_executables> AppExes() const {
    auto a = std::make_unique<WS_Array_Of_Applications_executables>();
    auto& e = a->AddNew();
    e.uid_applications_executables = "AE1";
    e.uid_applications = "A1";
    e.uid_files_executables = "F1";
    e.db_akcija = "I";
    return a;
  }
  std::unique_ptr<WS_Array_Of_Application_locales> Locales() const {
    auto a = std::make_unique<WS_Array_Of_Application_locales>();
    a->Add(Locale("sr_RS"));
    a->Add(Locale("en_US"));
    return a;
  }
  // The bytes of part n of a file: distinct for every part.
  static std::unique_ptr<TROBinaryMemoryStream> Part(std::int32_t n, std::int32_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<std::uint8_t>(i * 31 + static_cast<std::size_t>(n));
    return std::make_unique<TROBinaryMemoryStream>(std::move(bytes));
  }

  bool Echo() override { return Note("Echo"); }
  std::unique_ptr<WS_Array_Of_Applications> Get_Applications_List(
      const std::string& Active) override {
    Note("Get_Applications_List", {Active});
    return Applications();
  }
  bool Insert_Applications(const WS_Applications& Application) override {
    return Note("Insert_Applications", {}, {Encoded(Application)});
  }
  bool Update_Applications(const WS_Applications& Application) override {
    return Note("Update_Applications", {}, {Encoded(Application)});
  }
  bool Delete_Applications(const std::string& uid_applications) override {
    return Note("Delete_Applications", {uid_applications});
  }
  bool Service_IsActive() override { return Note("Service_IsActive"); }
  bool Service_Activate() override { return Note("Service_Activate"); }
  bool Service_Deactivate() override { return Note("Service_Deactivate"); }
  std::string Service_GetName() override {
    Note("Service_GetName");
    return stringResult;
  }
  bool Service_SetName(const std::string& NewServiceName) override {
    return Note("Service_SetName", {NewServiceName});
  }
  std::unique_ptr<WS_Array_Of_Files_executables> Get_Files_executables_List() override {
    Note("Get_Files_executables_List");
    return Files();
  }
  std::string Insert_Files_executables(const WS_Files_executables& File_executable) override {
    Note("Insert_Files_executables", {}, {Encoded(File_executable)});
    return "new-" + File_executable.uid_files_executables;
  }
  bool Update_Files_executables(const WS_Files_executables& File_executable) override {
    return Note("Update_Files_executables", {}, {Encoded(File_executable)});
  }
  bool Delete_Files_executables(const std::string& uid_files_executables) override {
    return Note("Delete_Files_executables", {uid_files_executables});
  }
  std::unique_ptr<WS_Array_Of_Applications_config_files> Get_Applications_config_files_List(
      const std::string& uid_applications) override {
    Note("Get_Applications_config_files_List", {uid_applications});
    return Configs();
  }
  bool Insert_Applications_config_files(
      const WS_Applications_config_files& Applications_config_files) override {
    return Note("Insert_Applications_config_files", {}, {Encoded(Applications_config_files)});
  }
  bool Update_Applications_config_files(
      const WS_Applications_config_files& Applications_config_files) override {
    return Note("Update_Applications_config_files", {}, {Encoded(Applications_config_files)});
  }
  bool Delete_Applications_config_files(const std::string& uid_applications_config_files) override {
    return Note("Delete_Applications_config_files", {uid_applications_config_files});
  }
  bool AdminLogin(const std::string& AdminUserName, const std::string& AdminPassword) override {
    return Note("AdminLogin", {AdminUserName, AdminPassword});
  }
  std::unique_ptr<CD_Array_Of_Lookups> Get_CD_Lookups_By_Name(const std::string& cd_name) override {
    Note("Get_CD_Lookups_By_Name", {cd_name});
    return Lookups();
  }
  bool Upload_Files_Executables(const WS_Files_executables& File_Executable,
                                std::int32_t File_Part_No, std::int32_t Chunk_Size,
                                const TROBinaryMemoryStream& File_Part) override {
    return Note(
        "Upload_Files_Executables", {std::to_string(File_Part_No), std::to_string(Chunk_Size)},
        {Encoded(File_Executable), Bytes(File_Part.Bytes().begin(), File_Part.Bytes().end())});
  }
  std::unique_ptr<TROBinaryMemoryStream> Download_Files_Executables(
      const WS_Files_executables& File_Executable, std::int32_t File_Part_No,
      std::int32_t Chunk_Size) override {
    Note("Download_Files_Executables", {std::to_string(File_Part_No), std::to_string(Chunk_Size)},
         {Encoded(File_Executable)});
    return Part(File_Part_No, Chunk_Size);
  }
  std::unique_ptr<WS_Array_Of_Applications_executables> Get_Applications_Executables(
      const std::string& uid_applications) override {
    Note("Get_Applications_Executables", {uid_applications});
    return AppExes();
  }
  bool Update_Applications_Executables(
      const std::string& uid_applications,
      const WS_Array_Of_Applications_executables& ArrayOfApplicationsExecutables) override {
    return Note("Update_Applications_Executables", {uid_applications},
                {Encoded(ArrayOfApplicationsExecutables)});
  }
  bool Get_Application(const std::string& Uid_applications,
                       std::unique_ptr<WS_Applications>& Applications,
                       std::unique_ptr<WS_Array_Of_Files_executables>& Executables,
                       std::unique_ptr<WS_Array_Of_Applications_config_files>& Configurations,
                       std::unique_ptr<WS_Array_Of_Application_locales>& Locales) override {
    const bool result = Note("Get_Application", {Uid_applications});
    if (sendApplication) Applications = App(Uid_applications);
    if (sendExecutables) Executables = Files();
    if (sendConfigurations) Configurations = Configs();
    if (sendLocales) Locales = this->Locales();
    return result;
  }
  bool Insert_Application_locales(const WS_Application_locales& Application_locales) override {
    return Note("Insert_Application_locales", {}, {Encoded(Application_locales)});
  }
  bool Update_Application_locales(const WS_Application_locales& Application_locales) override {
    return Note("Update_Application_locales", {}, {Encoded(Application_locales)});
  }
  bool Delete_Application_locales(const std::string& uid_application_locales) override {
    return Note("Delete_Application_locales", {uid_application_locales});
  }
  bool Insert_Locales_files(const WS_Locale_files& Locales_files) override {
    return Note("Insert_Locales_files", {}, {Encoded(Locales_files)});
  }
  bool Update_Locales_files(const WS_Locale_files& Locale_files) override {
    return Note("Update_Locales_files", {}, {Encoded(Locale_files)});
  }
  bool Delete_Locales_files(const std::string& uid_locales_files) override {
    return Note("Delete_Locales_files", {uid_locales_files});
  }
  std::unique_ptr<WS_Array_Of_Application_locales> Get_Application_Locales(
      const std::string& uid_applications) override {
    Note("Get_Application_Locales", {uid_applications});
    return Locales();
  }

 private:
  bool Note(const std::string& name, std::vector<std::string> simple = {},
            std::vector<Bytes> received = {}) {
    calls.push_back(name);
    values = std::move(simple);
    objects = std::move(received);
    const TROCallContext* context = TROCallContext::Current();
    callers.push_back(context != nullptr ? context->clientID : TROGuid{});
    if (beforeAnswer) beforeAnswer();
    return boolResult;
  }
};

}  // namespace fake
