// The launch core on Windows: service names (cp1250) become UTF-16 names below an application
// folder that ends in '\', names Windows cannot use are refused before anything is written, and
// the configuration, locale and manifest files land where the launch flow expects them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "AppPaths.h"
#include "FileUtil.h"
#include "LaunchArgument.h"
#include "LaunchFiles.h"
#include "LocalManifest.h"
#include "ManifestFile.h"
#include "PathText.h"
#include "ScratchFolder.h"
#include "UpdaterServiceLibrary_Intf.h"

using namespace tv::launch;
using tv::platform::PathFromCp1250;
using tv::platform::PathToUtf8;

namespace {

const std::string kUid =
    "\xC8"
    "a\xE8"
    "ak";  // "Čačak" in cp1250
const std::string kUidUtf8 =
    "\xC4\x8C"
    "a\xC4\x8D"
    "ak";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(Win32LaunchPaths, TheApplicationFolderEndsInABackslash) {
  EXPECT_EQ(PathToUtf8(ApplicationFolder(true, "C:\\ignored", kUid)),
            "D:\\Kestrov\\" + kUidUtf8 + "\\");
  EXPECT_EQ(PathToUtf8(ApplicationFolder(false, "C:\\Users\\u\\AppData\\Roaming", "APP")),
            "C:\\Users\\u\\AppData\\Roaming\\Kestrov\\APP\\");
  EXPECT_EQ(PathToUtf8(ApplicationFolder(false, "C:\\Data\\", "APP")), "C:\\Data\\Kestrov\\APP\\");
  EXPECT_THROW(ApplicationFolder(false, "", "APP"), ELaunchError);
  for (const char* uid : {"CON", "nul.txt", "a*b", "a?", "x.", "a\"b", "a|b", "a<b"}) {
    EXPECT_THROW(ApplicationFolder(false, "C:\\Data", uid), EUnsafeName) << uid;
  }
}

TEST(Win32LaunchPaths, ServiceFileNamesStayInsideTheFolder) {
  EXPECT_EQ(SafeRelativePath("bin/lib\\x.dll").native(), L"bin\\lib\\x.dll");
  EXPECT_EQ(SafeRelativePath("locale\\" + kUid + ".mo"),
            std::filesystem::path(L"locale") / PathFromCp1250(kUid + ".mo"));
  for (const char* name : {"C:x.exe", "\\\\server\\share\\x", "..\\x.exe", "a\\CON", "aux.dll",
                           "bin\\com1.txt", "x.exe.", "a*.exe", "bin\\", "d\\x|y"}) {
    EXPECT_THROW(SafeRelativePath(name), EUnsafeName) << name;
  }
}

TEST(Win32LaunchFiles, ConfigurationLocaleAndManifestFilesWithServiceNames) {
  const TUpdaterServiceLibraryRegistration types;  // the manifest names its element class
  const tvtest::ScratchFolder scratch;
  const auto app = tv::platform::WithTrailingDelimiter(scratch.path() / PathFromCp1250(kUid));
  WS_Array_Of_Applications_config_files configs;
  auto& config = configs.AddNew();
  config.file_name = "conf\\" + kUid + ".ini";
  config.config_file().Write("[a]\r\nx=1\r\n");
  WS_Array_Of_Application_locales locales;
  auto& locale = locales.AddNew();
  locale.locale_name = "sr_RS@latin";
  auto& mo = locale.locale_files().AddNew();
  mo.locale_file_name =
      "\x9A"
      "ifra.mo";  // "šifra.mo"
  mo.locale_file().Write("first");

  const TSafeFolder folder = TSafeFolder::OpenOrCreate(app);
  WriteConfigFiles(folder, configs);
  WriteLocaleFiles(folder, &locales);
  const auto moPath = app / L"locale" / L"sr_RS@latin" / L"LC_MESSAGES" / L"\u0161ifra.mo";
  EXPECT_EQ(ReadFile(app / L"conf" / (PathFromCp1250(kUid).native() + L".ini")), "[a]\r\nx=1\r\n");
  EXPECT_EQ(ReadFile(moPath), "first");

  // Configuration files are rewritten at every launch, locale files never once present.
  config.config_file().Clear();
  config.config_file().Write("second");
  mo.locale_file().Clear();
  mo.locale_file().Write("second");
  WriteConfigFiles(folder, configs);
  WriteLocaleFiles(folder, &locales);
  EXPECT_EQ(ReadFile(app / L"conf" / (PathFromCp1250(kUid).native() + L".ini")), "second");
  EXPECT_EQ(ReadFile(moPath), "first");
  // Nothing is left behind under a temporary name.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(app / L"conf")) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);

  // The manifest: "<uid>.kvx" in the folder, its list written after the download and read back.
  WS_Array_Of_Files_executables list;
  auto& exe = list.AddNew();
  exe.uid_files_executables = "E1";
  exe.file_name = "bin\\" + kUid + ".exe";
  exe.file_version = "4.3.0.1";
  exe.is_main_exe = "D";
  exe.file_size = 3;
  const auto manifest = ManifestPath(app, kUid);
  EXPECT_EQ(manifest, app / (PathFromCp1250(kUid).native() + L".kvx"));
  auto decision = DecideDownload(manifest, app, list);
  EXPECT_TRUE(decision.Download);
  tv::platform::CreateFolders(app / L"bin");
  tv::platform::WriteWholeFile(app / L"bin" / (PathFromCp1250(kUid).native() + L".exe"), "exe");
  CommitManifest(manifest, *decision.WorkingList);
  decision = DecideDownload(manifest, app, list);
  EXPECT_FALSE(decision.Download);
  EXPECT_EQ(MainExecutableName(*decision.WorkingList), "bin\\" + kUid + ".exe");
}

TEST(Win32LaunchFiles, AFileWhereAFolderBelongsStopsTheWriteWithItsName) {
  const tvtest::ScratchFolder scratch;
  const auto app = tv::platform::WithTrailingDelimiter(scratch.path() / L"APP");
  tv::platform::CreateFolders(app);
  tv::platform::WriteWholeFile(app / L"locale", "a file, not a folder");
  try {
    WriteLocaleFiles(TSafeFolder::OpenOrCreate(app), nullptr);
    ADD_FAILURE() << "the locale folder was written over a file";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find("locale"), std::string::npos) << e.what();
  }
}

TEST(Win32LaunchArgument, TheIdentifierIsTheFirstArgumentInCp1250) {
  // The test runs without arguments of its own beyond gtest's filter, if any.
  EXPECT_EQ(IdentifierFromArgument(kUidUtf8), kUid);
  EXPECT_EQ(IdentifierFromArgument("\xE6\x97\xA5"), "\xE6\x97\xA5");  // no cp1250 form: unchanged
}
