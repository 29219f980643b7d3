// Writes the seed corpus of every fuzz target from the real encoders: a store holding the seed
// application answers every operation through the real dispatcher; the requests that the proxy
// sends, the answers the server writes (plain, compressed, and as exceptions), the values those
// answers carry, manifests written by SaveManifest and configuration files written by the INI
// writer become the seeds. Usage: tv_fuzz_seeds <corpus folder>; one subfolder per target.
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "AdminSessions.h"
#include "FaultPlan.h"
#include "FuzzTemp.h"
#include "Ini.h"
#include "ManifestFile.h"
#include "ManifestList.h"
#include "ROStreamSerializer.h"
#include "RequestDispatcher.h"
#include "SeedApplication.h"
#include "ServerStore.h"
#include "UpdaterServiceImpl.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr TROGuid kAdminClient = TROGuid::Parse("{0D1CE0FF-A11C-4E5D-8F1E-5EED00000001}");

class Corpus {
 public:
  explicit Corpus(std::filesystem::path root) : root_(std::move(root)) {}

  void Add(const std::string& target, const std::string& name, const Bytes& bytes) {
    const auto folder = root_ / target;
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("Cannot write " + (folder / name).string());
    ++count_[target];
  }
  void Add(const std::string& target, const std::string& name, const std::string& bytes) {
    Add(target, name, Bytes(bytes.begin(), bytes.end()));
  }
  const std::map<std::string, int>& Counts() const { return count_; }

 private:
  std::filesystem::path root_;
  std::map<std::string, int> count_;
};

template <class T>
Bytes Encoded(const T* value) {
  Bytes bytes;
  TROStreamSerializer writer(bytes);
  if constexpr (std::is_base_of_v<TROArray, T>) {
    writer.WriteArray<T>("Value", value);
  } else {
    writer.WriteStruct<T>("Value", value);
  }
  return bytes;
}

// Carries every request to the dispatcher in process and notes both directions.
class RecordingChannel final : public IROTransportChannel {
 public:
  explicit RecordingChannel(tvserver::RequestDispatcher*& dispatcher) : dispatcher_(dispatcher) {}
  Bytes lastRequest, lastAnswer;

  Bytes Dispatch(std::span<const std::uint8_t> request) override {
    lastRequest.assign(request.begin(), request.end());
    const tvserver::Reply reply = dispatcher_->handle(lastRequest);
    lastAnswer.assign(reply.body.get(), reply.body.get() + reply.size);
    return lastAnswer;
  }

 private:
  tvserver::RequestDispatcher*& dispatcher_;
};

struct Server {
  tvfuzz::TempFolder folder{"tv-fuzz-seeds"};
  std::ofstream log{"/dev/null"};
  tvserver::ServerStore store{(folder.path() / "store.db").string()};
  tvserver::AdminSessions sessions;
  tvserver::UpdaterServiceImpl service{store, sessions, &log};
  tvserver::FaultPlan faults;
  tvserver::RequestDispatcher plain{store, service, {false, std::size_t{64} << 20}, &faults};
  tvserver::RequestDispatcher compressing{store, service, {true, std::size_t{64} << 20}, &faults};
  tvserver::RequestDispatcher* current = &plain;
  std::shared_ptr<RecordingChannel> channel = std::make_shared<RecordingChannel>(current);
  std::shared_ptr<TROBinMessage> message = std::make_shared<TROBinMessage>(kAdminClient);
  std::shared_ptr<IUpdaterService> proxy = CoUpdaterService::Create(message, channel);

  Server() {
    tvserver::publish(store, tvfuzz::SeedApplication());
    store.addLookup("CD_APLIKACIJE", {"", "", "KR", "Kestrov Ra\xE8un", "Demo", "D"});
    store.setAdminPassword("admin", "tolvara");
  }
};

// The five answers a launcher reads, plain, compressed and as an exception.
void MessageSeeds(Server& server, Corpus& corpus) {
  IUpdaterService& s = *server.proxy;
  std::unique_ptr<WS_Applications> application;
  std::unique_ptr<WS_Array_Of_Files_executables> executables;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configurations;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  s.Get_Application(tvfuzz::kSeedUid, application, executables, configurations, locales);
  const auto data = ROClone(*executables->Items(1));  // the file of several parts

  const std::vector<std::pair<std::string, std::function<void()>>> calls = {
      {"Echo", [&] { s.Echo(); }},
      {"Service_IsActive", [&] { s.Service_IsActive(); }},
      {"Get_Applications_List", [&] { s.Get_Applications_List("D"); }},
      {"Get_Application",
       [&] {
         std::unique_ptr<WS_Applications> a;
         std::unique_ptr<WS_Array_Of_Files_executables> e;
         std::unique_ptr<WS_Array_Of_Applications_config_files> c;
         std::unique_ptr<WS_Array_Of_Application_locales> l;
         s.Get_Application(tvfuzz::kSeedUid, a, e, c, l);
       }},
      {"Download_Files_Executables",
       [&] { s.Download_Files_Executables(*data, 3, tvfuzz::kSeedChunkSize); }},
  };
  for (const auto& [operation, call] : calls) {
    const std::string target = "message_" + operation;
    for (const bool compress : {false, true}) {
      server.current = compress ? &server.compressing : &server.plain;
      call();
      corpus.Add(target, compress ? "answer-compressed" : "answer", server.channel->lastAnswer);
    }
    server.current = &server.plain;
    server.faults.add({operation, tvserver::Fault::Kind::Exception, std::nullopt, 0, 1,
                       std::chrono::milliseconds(0), "Servis je privremeno nedostupan."});
    try {
      call();
    } catch (const EROServerException&) {
    }
    corpus.Add(target, "exception", server.channel->lastAnswer);
  }
  // An application that is not there: absent values in a normal answer.
  s.Get_Application("NEMA", application, executables, configurations, locales);
  corpus.Add("message_Get_Application", "answer-unknown-application", server.channel->lastAnswer);
  // The last part of a file, shorter than the chunk.
  s.Download_Files_Executables(*data, 2, tvfuzz::kSeedChunkSize);
  corpus.Add("message_Download_Files_Executables", "answer-middle-part",
             server.channel->lastAnswer);
}

// Values of every record and array type, as the answers carried them.
void SerializerSeeds(Server& server, Corpus& corpus) {
  IUpdaterService& s = *server.proxy;
  std::unique_ptr<WS_Applications> application;
  std::unique_ptr<WS_Array_Of_Files_executables> executables;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configurations;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  s.Get_Application(tvfuzz::kSeedUid, application, executables, configurations, locales);
  const auto applications = s.Get_Applications_List("");
  const auto lookups = s.Get_CD_Lookups_By_Name("CD_APLIKACIJE");
  const auto links = s.Get_Applications_Executables(tvfuzz::kSeedUid);

  const auto add = [&](const auto* value, const std::string& name) {
    using T = std::remove_cvref_t<decltype(*value)>;
    corpus.Add("serializer_" + std::string(T::StaticClass().name), name, Encoded<T>(value));
  };
  const auto addArray = [&](const auto& array) {
    using A = std::remove_cvref_t<decltype(*array)>;
    add(array.get(), "list");
    add(static_cast<const A*>(nullptr), "absent");
    const A empty;
    add(&empty, "empty");
    for (int32_t i = 0; i < array->Count(); ++i)
      add(array->Items(i), "item-" + std::to_string(i + 1));
  };
  addArray(applications);
  addArray(executables);
  addArray(configurations);
  addArray(lookups);
  addArray(links);
  addArray(locales);
  const auto& localeFiles = locales->Items(0)->locale_files();
  add(&localeFiles, "list");
  add(static_cast<const WS_Array_Of_Locale_files*>(nullptr), "absent");
  for (int32_t i = 0; i < localeFiles.Count(); ++i)
    add(localeFiles.Items(i), "item-" + std::to_string(i + 1));
  add(application.get(), "application");
}

// Manifests as SaveManifest writes them: the list the target's service sends, the same with
// only descriptions changed, near misses, the empty and the absent list.
void ManifestSeeds(Corpus& corpus) {
  const tvfuzz::TempFolder folder("tv-fuzz-seeds-manifest");
  const auto path = folder.path() / "DEMO.kvx";
  const auto write = [&](const WS_Array_Of_Files_executables& list, const std::string& name) {
    SaveManifest(path, list);
    std::ifstream in(path, std::ios::binary);
    corpus.Add("manifest_decision", name, Bytes(std::istreambuf_iterator<char>(in), {}));
  };
  WS_Array_Of_Files_executables list;
  tvfuzz::FillManifestServiceList(list);
  write(list, "equal");
  list.Items(0)->file_description = "novi opis";
  write(list, "equal-other-description");
  list.Items(1)->file_size += 1;
  write(list, "other-size");
  WS_Array_Of_Files_executables shorter;
  tvfuzz::FillManifestServiceList(shorter);
  shorter.Delete(2);
  write(shorter, "one-entry-less");
  write(WS_Array_Of_Files_executables(), "empty");
  corpus.Add("manifest_decision", "absent", Bytes{0});
}

// Configuration files as the program and its installer write them, with the key to write.
void IniSeeds(Corpus& corpus) {
  const tvfuzz::TempFolder folder("tv-fuzz-seeds-ini");
  const auto path = folder.path() / "TvUpdater.config";
  const auto seed = [&](const std::string& name, const std::string& section, const std::string& key,
                        const std::string& value) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    corpus.Add("ini_write_key", name, section + '\0' + key + '\0' + value + '\0' + text);
  };
  tv::platform::IniFile file(path);
  seed("empty-file", "Tolvara", "ServiceURL", "http://127.0.0.1:8091/bin");
  file.WriteString("Tolvara", "ServiceURL", "http://127.0.0.1:8091/bin");
  file.WriteString("Tolvara", "ThinClient", "NO");
  seed("app-path", "Tolvara", "App_Path", "C:\\Kestrov\\Aplikacije ");
  file.WriteString("Tolvara", "App_Path", "/home/korisnik/Kestrov");
  seed("existing-key", "tolvara", "thinclient", "YES");
  file.WriteString("Ostalo", "Napomena", "\"navodnici\"");
  seed("second-section", "Ostalo", "Jezik", "sr_RS");
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      << "; Tolvara Updater\n[Tolvara]\nServiceURL = 'http://server/bin'\n\n; kraj\n";
  seed("comments-and-quotes", "Tolvara", "App_Path", "D:\\");
}

// Every request the proxy makes, one per operation, from the administrator's client.
void ServerSeeds(Server& server, Corpus& corpus) {
  server.sessions.open(kAdminClient.bytes);
  IUpdaterService& s = *server.proxy;
  std::unique_ptr<WS_Applications> application;
  std::unique_ptr<WS_Array_Of_Files_executables> executables;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configurations;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  s.Get_Application(tvfuzz::kSeedUid, application, executables, configurations, locales);
  const auto data = ROClone(*executables->Items(1));

  WS_Applications newApplication;
  newApplication.uid_applications = "NOVA";
  newApplication.naziv_ikonice = "Nova aplikacija \x8A";
  newApplication.opis = u"Opis \u0160";
  newApplication.aktivan = "D";
  WS_Files_executables newFile;
  newFile.file_name = "Novi.exe";
  newFile.file_version = "1.0.0.2";
  newFile.file_size = 1500;
  newFile.is_main_exe = "D";
  WS_Applications_config_files config;
  config.uid_applications = "NOVA";
  config.file_name = "Nova.ini";
  config.config_file().Write("[Nova]\r\n");
  WS_Application_locales locale;
  locale.uid_applications = "NOVA";
  locale.locale_name = "sr_RS";
  WS_Locale_files& localeFile = locale.locale_files().AddNew();
  localeFile.locale_file_name = "Nova.mo";
  localeFile.locale_file().Write("mo");
  WS_Array_Of_Applications_executables links;
  WS_Applications_executables& link = links.AddNew();
  link.uid_applications = "NOVA";
  link.db_akcija = "I";
  const TROBinaryMemoryStream firstPart(std::string(1024, 'a'));
  const TROBinaryMemoryStream lastPart(std::string(476, 'b'));

  std::string newFileUid, newLocaleUid;
  const std::vector<std::pair<std::string, std::function<void()>>> calls = {
      {"Echo", [&] { s.Echo(); }},
      {"Get_Applications_List", [&] { s.Get_Applications_List("D"); }},
      {"Insert_Applications", [&] { s.Insert_Applications(newApplication); }},
      {"Update_Applications", [&] { s.Update_Applications(newApplication); }},
      {"Service_IsActive", [&] { s.Service_IsActive(); }},
      {"Service_Activate", [&] { s.Service_Activate(); }},
      {"Service_GetName", [&] { s.Service_GetName(); }},
      {"Service_SetName", [&] { s.Service_SetName("Tolvara server \x8A"); }},
      {"Get_Files_executables_List", [&] { s.Get_Files_executables_List(); }},
      {"Insert_Files_executables",
       [&] { newFile.uid_files_executables = newFileUid = s.Insert_Files_executables(newFile); }},
      {"Update_Files_executables", [&] { s.Update_Files_executables(newFile); }},
      {"Upload_Files_Executables",
       [&] {
         s.Upload_Files_Executables(newFile, 1, 1024, firstPart);
         s.Upload_Files_Executables(newFile, 2, 1024, lastPart);
       }},
      {"Get_Applications_config_files_List",
       [&] { s.Get_Applications_config_files_List(tvfuzz::kSeedUid); }},
      {"Insert_Applications_config_files", [&] { s.Insert_Applications_config_files(config); }},
      {"Update_Applications_config_files",
       [&] {
         const auto list = s.Get_Applications_config_files_List("NOVA");
         if (list && list->Count() > 0)
           config.uid_applications_config_files = list->Items(0)->uid_applications_config_files;
         s.Update_Applications_config_files(config);
       }},
      {"AdminLogin", [&] { s.AdminLogin("admin", "tolvara"); }},
      {"Get_CD_Lookups_By_Name", [&] { s.Get_CD_Lookups_By_Name("CD_APLIKACIJE"); }},
      {"Download_Files_Executables",
       [&] { s.Download_Files_Executables(*data, 2, tvfuzz::kSeedChunkSize); }},
      {"Get_Applications_Executables", [&] { s.Get_Applications_Executables(tvfuzz::kSeedUid); }},
      {"Update_Applications_Executables",
       [&] {
         link.uid_files_executables = newFileUid;
         s.Update_Applications_Executables("NOVA", links);
       }},
      {"Get_Application",
       [&] {
         std::unique_ptr<WS_Applications> a;
         std::unique_ptr<WS_Array_Of_Files_executables> e;
         std::unique_ptr<WS_Array_Of_Applications_config_files> c;
         std::unique_ptr<WS_Array_Of_Application_locales> l;
         s.Get_Application(tvfuzz::kSeedUid, a, e, c, l);
       }},
      {"Insert_Application_locales", [&] { s.Insert_Application_locales(locale); }},
      {"Update_Application_locales",
       [&] {
         const auto list = s.Get_Application_Locales("NOVA");
         if (list && list->Count() > 0) {
           locale.uid_application_locales = list->Items(0)->uid_application_locales;
           localeFile.uid_application_locales = locale.uid_application_locales;
           localeFile.locale_file_name = "Nova2.mo";
         }
         s.Update_Application_locales(locale);
       }},
      {"Get_Application_Locales", [&] { s.Get_Application_Locales(tvfuzz::kSeedUid); }},
      {"Insert_Locales_files", [&] { s.Insert_Locales_files(localeFile); }},
      {"Update_Locales_files",
       [&] {
         const auto list = s.Get_Application_Locales("NOVA");
         const auto& files = list->Items(0)->locale_files();
         for (int32_t i = 0; i < files.Count(); ++i)
           if (files.Items(i)->locale_file_name == localeFile.locale_file_name)
             localeFile.uid_locale_files = files.Items(i)->uid_locale_files;
         localeFile.locale_file().Write(" nova verzija");
         s.Update_Locales_files(localeFile);
       }},
      {"Delete_Locales_files", [&] { s.Delete_Locales_files("L-NEMA"); }},
      {"Delete_Application_locales", [&] { s.Delete_Application_locales("AL-NEMA"); }},
      {"Delete_Applications_config_files", [&] { s.Delete_Applications_config_files("C-NEMA"); }},
      {"Delete_Files_executables", [&] { s.Delete_Files_executables("F-NEMA"); }},
      {"Delete_Applications", [&] { s.Delete_Applications("NEMA"); }},
      {"Service_Deactivate", [&] { s.Service_Deactivate(); }},
  };
  for (const auto& [operation, call] : calls) {
    try {
      call();
    } catch (const EROException& e) {
      // A refusal still leaves a well-formed request to start from.
      std::cerr << operation << ": " << e.what() << "\n";
    }
    corpus.Add("server_request", operation, server.channel->lastRequest);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "Usage: tv_fuzz_seeds <corpus folder>\n";
    return 2;
  }
  try {
    const TUpdaterServiceLibraryRegistration registration;
    Corpus corpus(argv[1]);
    Server server;
    MessageSeeds(server, corpus);
    SerializerSeeds(server, corpus);
    ManifestSeeds(corpus);
    IniSeeds(corpus);
    ServerSeeds(server, corpus);
    for (const auto& [target, count] : corpus.Counts())
      std::cout << target << ": " << count << " seeds\n";
  } catch (const std::exception& e) {
    std::cerr << "tv_fuzz_seeds: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
