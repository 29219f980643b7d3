// The Win32 files of the platform layer under their own system (or wine): names in UTF-16 from
// cp1250 and UTF-8, the instance marker as a named file mapping, the shell's folders, files,
// the recycle-bin delete, shell links and the window restore.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "Activation.h"
#include "CodePage1250.h"
#include "ExePath.h"
#include "FileUtil.h"
#include "PathText.h"
#include "ScratchFolder.h"
#include "SharedMarker.h"
#include "ShellExecute.h"
#include "ShellLink.h"
#include "SpecialFolders.h"
#include "Trash.h"
#include "Win32.h"

using namespace tv::platform;

namespace {

// "Čačak Šid Žabalj Đurđevo" in UTF-8 and in cp1250.
const std::string kUtf8Name =
    "\xC4\x8C"
    "a\xC4\x8D"
    "ak \xC5\xA0id \xC5\xBD"
    "abalj \xC4\x90ur\xC4\x91"
    "evo";
const std::string kCp1250Name =
    "\xC8"
    "a\xE8"
    "ak \x8Aid \x8E"
    "abalj \xD0ur\xF0"
    "evo";

std::string UniqueMarkerName(const char* what) {
  return std::string("tvtest-") + what + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(::GetTickCount64());
}

}  // namespace

TEST(Win32Names, TheSystemsCp1250TableIsTheProgramsOwn) {
  for (int byte = 1; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    const std::wstring system = PathFromCp1250(one).native();
    const std::u16string own = Cp1250ToUtf16(one);
    ASSERT_EQ(system.size(), 1u) << byte;
    EXPECT_EQ(static_cast<char16_t>(system[0]), own[0]) << "byte " << byte;
  }
}

TEST(Win32Names, ServiceAndProgramTextNameTheSameFile) {
  const tvtest::ScratchFolder folder;
  const auto fromService = folder.path() / PathFromCp1250(kCp1250Name);
  const auto fromProgram = folder.path() / PathFromUtf8(kUtf8Name);
  EXPECT_EQ(fromService, fromProgram);
  WriteWholeFile(fromService, "x");
  // The system lists the file under the same UTF-16 name.
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((folder.path() / L"*evo").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  ::FindClose(search);
  EXPECT_EQ(PathToUtf8(std::filesystem::path(found.cFileName)), kUtf8Name);
  EXPECT_EQ(PathToUtf8(WithTrailingDelimiter(PathFromUtf8("C:\\a\\b"))), "C:\\a\\b\\");
  EXPECT_EQ(PathToUtf8(WithTrailingDelimiter(PathFromUtf8("D:\\"))), "D:\\");
  EXPECT_EQ(kPathDelimiter, '\\');
}

TEST(Win32Marker, ANamedMappingOfEightBytesThatLivesWhileHeld) {
  const std::string name = UniqueMarkerName("marker");
  SharedMarker::Bytes written{};
  for (std::size_t i = 0; i < written.size(); ++i) written[i] = std::byte(0xA0 + i);
  {
    SharedMarker first = SharedMarker::Open(name);
    EXPECT_TRUE(first.Created());
    EXPECT_EQ(first.Read(), SharedMarker::Bytes{});
    first.Write(written);
    SharedMarker second = SharedMarker::Open(name);
    EXPECT_FALSE(second.Created());
    EXPECT_EQ(second.Read(), written);
    // The system object is there under the name itself, 8 bytes backed by the paging file.
    UniqueHandle raw(::OpenFileMappingW(FILE_MAP_READ, FALSE, PathFromUtf8(name).c_str()));
    EXPECT_TRUE(raw);
  }
  // Nobody holds it any more: the next open makes it afresh.
  const SharedMarker again = SharedMarker::Open(name);
  EXPECT_TRUE(again.Created());
  EXPECT_EQ(again.Read(), SharedMarker::Bytes{});
}

TEST(Win32Marker, NamesWindowsCannotTakeAreDigested) {
  const std::string longName = "C:" + std::string(400, 'x') + "TvUpdater.exe";
  const std::string withBackslash = "Local\\odd\\name";
  for (const std::string& name : {longName, withBackslash}) {
    EXPECT_EQ(SharedMarker::ObjectName(name), "tvh-" + NameDigest(name));
    SharedMarker first = SharedMarker::Open(name);
    const SharedMarker second = SharedMarker::Open(name);
    EXPECT_TRUE(first.Created());
    EXPECT_FALSE(second.Created());
  }
  EXPECT_EQ(SharedMarker::ObjectName("C:ProgramsKestrovTvUpdater.exe"),
            "C:ProgramsKestrovTvUpdater.exe");
}

TEST(Win32Folders, TheShellsFolders) {
  wchar_t expected[MAX_PATH + 1] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, expected)));
  EXPECT_EQ(AppDataFolder(), PathToUtf8(std::filesystem::path(expected)));
  for (const std::string& folder : {AppDataFolder(), DesktopFolder(), HomeFolder()}) {
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\') << folder;
    EXPECT_TRUE(PathFromUtf8(folder).is_absolute()) << folder;
  }
  EXPECT_EQ(ThinClientRoot(), "D:\\");
  const auto exe = ExecutablePath();
  EXPECT_TRUE(exe.is_absolute());
  EXPECT_EQ(exe.extension(), ".exe");
  EXPECT_TRUE(FileExists(exe));
  EXPECT_EQ(ExecutableFolder(), exe.parent_path());
}

TEST(Win32Files, WriteReadReplaceAndTheirFailures) {
  const tvtest::ScratchFolder folder;
  const auto file = folder.path() / PathFromCp1250(kCp1250Name + ".ini");
  const std::string bytes("a\0b\r\n\xC8", 6);
  WriteWholeFile(file, bytes);
  EXPECT_EQ(ReadWholeFile(file), bytes);
  ReplaceFileContents(file, "new");
  EXPECT_EQ(ReadWholeFile(file), "new");
  ReplaceFileContents(folder.path() / L"fresh.txt", "made");
  EXPECT_EQ(ReadWholeFile(folder.path() / L"fresh.txt"), "made");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(DirectoryExists(folder.path()));
  EXPECT_FALSE(FileExists(folder.path()));

  try {
    ReadWholeFile(folder.path() / L"missing.txt");
    ADD_FAILURE() << "a missing file was read";
  } catch (const FileError& e) {
    EXPECT_TRUE(e.NotFound());
    EXPECT_NE(std::string(e.what()).find("missing.txt"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ReadWholeFile(folder.path()), FileError);
  EXPECT_THROW(WriteWholeFile(folder.path(), "x"), FileError);
  EXPECT_THROW(WriteWholeFile(folder.path() / L"no" / L"such.txt", "x"), FileError);

  EXPECT_TRUE(CreateFolder(folder.path() / L"one"));
  EXPECT_FALSE(CreateFolder(folder.path() / L"one"));
  EXPECT_TRUE(CreateFolders(folder.path() / L"a" / L"b" / L"c"));
}

TEST(Win32Files, NamesWindowsCannotUse) {
  const struct {
    const char* name;
    bool safe;
  } cases[] = {
      {"App.exe", true}, {"Čačak.txt", true},  {"CON", false},    {"con.txt", false},
      {"Com1", false},   {"LPT9.log", false},  {"COM10", true},   {"CONSOLE", true},
      {"NUL .x", false}, {"name.", false},     {"name ", false},  {"a:b", false},
      {"a*b", false},    {"a?b", false},       {"a\"b", false},   {"a<b>", false},
      {"a|b", false},    {"a\\b", false},      {"a/b", false},    {"", false},
      {"..", false},     {"tab\there", false}, {".hidden", true}, {"AUX1", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeFileName(c.name), c.safe) << c.name;
}

TEST(Win32Trash, TheShellDeletesAFolderWithEverythingInIt) {
  const tvtest::ScratchFolder folder;
  const auto app = folder.path() / L"Kestrov" / PathFromCp1250(kCp1250Name);
  ASSERT_TRUE(CreateFolders(app / L"locale" / L"sr" / L"LC_MESSAGES"));
  WriteWholeFile(app / L"App.exe", "exe");
  WriteWholeFile(app / L"locale" / L"sr" / L"LC_MESSAGES" / L"app.mo", "mo");
  EXPECT_TRUE(DeleteFolder(app));
  EXPECT_FALSE(DirectoryExists(app));
  EXPECT_TRUE(DirectoryExists(folder.path() / L"Kestrov"));
  EXPECT_FALSE(DeleteFolder(app));  // nothing left to delete
}

TEST(Win32Trash, PathsOfAnyLengthAndPathsNeverDeleted) {
  const tvtest::ScratchFolder folder;
  // A folder whose own path is longer than MAX_PATH: the shell cannot take it, the long-path
  // form of the file functions can.
  std::wstring deep = L"\\\\?\\" + folder.path().native();
  const std::wstring step(60, L'd');
  for (int i = 0; i < 6; ++i) {
    deep += L"\\" + step;
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr)) << i;
  }
  ASSERT_TRUE(::CreateDirectoryW((deep + L"\\inner").c_str(), nullptr));
  {
    UniqueHandle file(::CreateFileW((deep + L"\\inner\\f.txt").c_str(), GENERIC_WRITE, 0,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
  }
  const std::filesystem::path longFolder(deep.substr(4));  // as the program would name it
  ASSERT_GT(longFolder.native().size(), static_cast<std::size_t>(MAX_PATH));
  EXPECT_TRUE(DeleteFolder(longFolder));
  EXPECT_EQ(::GetFileAttributesW(deep.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(DeleteFolder(longFolder));  // gone
  // Its parents, short enough for the shell, go the ordinary way.
  EXPECT_TRUE(DeleteFolder(folder.path() / step));
  EXPECT_FALSE(DirectoryExists(folder.path() / step));

  ASSERT_TRUE(CreateFolder(folder.path() / L"kept"));
  EXPECT_FALSE(DeleteFolder(""));
  EXPECT_FALSE(DeleteFolder(folder.path().root_path()));
  EXPECT_FALSE(DeleteFolder(folder.path() / L"kept" / L".." / L"kept"));
  EXPECT_TRUE(DirectoryExists(folder.path() / L"kept"));
}

TEST(Win32ShellLink, TheShortcutStartsTheUpdaterWithTheIdentifier) {
  const tvtest::ScratchFolder folder;
  const auto link = folder.path() / PathFromCp1250(kCp1250Name + ".lnk");
  const ShellLinkSettings settings{ExecutablePath(), L"APP 1", ExecutableFolder()};
  ASSERT_TRUE(CreateShellLink(link, settings));
  auto read = ReadShellLink(link);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->target, settings.target);
  EXPECT_EQ(read->arguments, L"APP 1");  // exactly as stored, no quoting added
  EXPECT_EQ(read->workingFolder, WithTrailingDelimiter(ExecutableFolder()));

  // A second installation replaces the shortcut of the same name.
  ASSERT_TRUE(CreateShellLink(link, {ExecutablePath(), L"OTHER", ExecutableFolder()}));
  read = ReadShellLink(link);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->arguments, L"OTHER");

  EXPECT_FALSE(CreateShellLink(folder.path() / L"no such folder" / L"x.lnk", settings));
  EXPECT_FALSE(ReadShellLink(folder.path() / L"none.lnk"));
  // Inside an apartment the entry sequence opened, it works the same.
  const ComApartment apartment;
  EXPECT_TRUE(CreateShellLink(folder.path() / L"again.lnk", settings));
}

TEST(Win32Shell, OpeningWhatDoesNotExistFails) {
  const tvtest::ScratchFolder folder;
  EXPECT_FALSE(ShellOpen(PathToUtf8(folder.path() / L"missing.exe"), PathToUtf8(folder.path())));
  EXPECT_FALSE(ShellOpen("", PathToUtf8(folder.path())));
}

TEST(Win32Activation, TheOwnerWindowIsRestoredAndBroughtForward) {
  EXPECT_FALSE(RequestRaise("any", 0));
  const Win32HWND window = ::CreateWindowExW(0, L"STATIC", L"tvtest", WS_OVERLAPPEDWINDOW, 0, 0,
                                             200, 100, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) GTEST_SKIP() << "no window station to make a window in";
  ::ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(::IsIconic(window));
  const auto id = static_cast<HWND>(reinterpret_cast<std::uintptr_t>(window));
  RequestRaise("any", id);
  EXPECT_FALSE(::IsIconic(window));
  ::DestroyWindow(window);
  EXPECT_FALSE(RequestRaise("any", id));  // a window that is gone is not raised
}
