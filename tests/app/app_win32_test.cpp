// The program's own Windows parts: the single-instance guard across real processes (named file
// mapping), the version resource and manifest compiled into the executable, the configuration
// file through the profile functions, and the application-data folder.
// The system's headers come through Win32.h, which keeps their HWND apart from the program's.
#include "Win32.h"
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include <fstream>
#include <string>

#include "CheckPrevious.h"
#include "Configuration.h"
#include "ExePath.h"
#include "ExeVersion.h"
#include "FileUtil.h"
#include "KestrovUtils.h"
#include "PathText.h"
#include "ScratchFolder.h"
#include "SpecialFolders.h"
#include "Win32ChildProcess.h"

using tvtest::Win32ChildProcess;

namespace {

const std::filesystem::path kProbe = tv::platform::PathFromUtf8(TV_PROBE_PATH);

// A copy of the probe in its own folder, so that its marker is its own too.
std::filesystem::path CopyOfProbe(const std::filesystem::path& folder) {
  const auto copy = folder / L"TvUpdater.exe";
  std::filesystem::copy_file(kProbe, copy);
  return copy;
}

}  // namespace

TEST(Win32Version, TheResourceCarriesTheProjectVersionAndTheManifest) {
  EXPECT_EQ(GetExeVersion(), TV_EXPECTED_VERSION);
  EXPECT_EQ(tv::platform::FileVersion(kProbe), "4.3.0.1");  // words in their order
  const tvtest::ScratchFolder folder;
  const auto plain = folder.path() / L"plain.exe";
  std::ofstream(plain, std::ios::binary) << "MZ no resources";
  EXPECT_EQ(tv::platform::FileVersion(plain), "");
  EXPECT_EQ(tv::platform::FileVersion(folder.path() / L"missing.exe"), "");

  // The manifest: run as the invoking user, with the common controls of version 6.
  const HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(resource, nullptr);
  const HGLOBAL loaded = ::LoadResource(nullptr, resource);
  const std::string manifest(static_cast<const char*>(::LockResource(loaded)),
                             ::SizeofResource(nullptr, resource));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
}

TEST(Win32Guard, TheMarkerIsTheExecutablesPathWithoutBackslashes) {
  EXPECT_EQ(InstanceMarkerName("C:\\Programs\\Kestrov\\TvUpdater.exe"),
            "C:ProgramsKestrovTvUpdater.exe");
  EXPECT_EQ(InstanceMarkerName("D:\\a b\\c.d\\X.exe"), "D:a bc.dX.exe");
  EXPECT_EQ(InstanceMarkerName("C:/kept/slashes"), "C:/kept/slashes");
}

TEST(Win32Guard, ASecondStartIsRefusedUntilTheFirstHasEnded) {
  const tvtest::ScratchFolder folder;
  const auto probe = CopyOfProbe(folder.path());
  {
    Win32ChildProcess first(probe, L"4660");
    ASSERT_EQ(first.ReadLine(), "ADMITTED");
    {
      Win32ChildProcess second(probe, L"22136");
      EXPECT_EQ(second.ReadLine(), "REFUSED");
      EXPECT_EQ(second.Wait(), 0);
    }
    first.WriteLine("count");
    EXPECT_EQ(first.ReadLine(), "COUNT 1 OWNER 4660");  // the refused start changed nothing

    // A copy in another folder has a marker of its own.
    const tvtest::ScratchFolder other;
    Win32ChildProcess elsewhere(CopyOfProbe(other.path()), L"1");
    EXPECT_EQ(elsewhere.ReadLine(), "ADMITTED");
    elsewhere.WriteLine("exit");
    EXPECT_EQ(elsewhere.Wait(), 0);

    first.WriteLine("exit");
    EXPECT_EQ(first.Wait(), 0);
  }
  Win32ChildProcess next(probe, L"7");
  EXPECT_EQ(next.ReadLine(), "ADMITTED");
  next.WriteLine("count");
  EXPECT_EQ(next.ReadLine(), "COUNT 1 OWNER 7");
  next.WriteLine("exit");
}

TEST(Win32Guard, MoreInstancesWhenAllowedAndTheCountFallsAtExit) {
  const tvtest::ScratchFolder folder;
  const auto probe = CopyOfProbe(folder.path());
  Win32ChildProcess first(probe, L"1 2");
  ASSERT_EQ(first.ReadLine(), "ADMITTED");
  {
    Win32ChildProcess second(probe, L"2 2");
    ASSERT_EQ(second.ReadLine(), "ADMITTED");
    Win32ChildProcess third(probe, L"3 2");
    EXPECT_EQ(third.ReadLine(), "REFUSED");
    first.WriteLine("count");
    EXPECT_EQ(first.ReadLine(), "COUNT 2 OWNER 2");
    second.WriteLine("exit");
    EXPECT_EQ(second.Wait(), 0);
  }
  first.WriteLine("count");
  EXPECT_EQ(first.ReadLine(), "COUNT 1 OWNER 2");  // OwnerWindow stays as the last one left it
  first.WriteLine("exit");
}

TEST(Win32Configuration, ReadThroughTheProfileFunctions) {
  const tvtest::ScratchFolder folder;
  const auto file = folder.path() / L"TvUpdater.config";
  std::ofstream(file, std::ios::binary) << "[Bilo koje ime]\r\n";
  const auto first =
      ReadConfigurationFile(file, [] { return std::string("C:\\Users\\u\\AppData"); });
  EXPECT_EQ(first.outcome, ConfigurationResult::Outcome::Read);
  EXPECT_EQ(first.ServiceURL, "http://127.0.0.1:8091/bin");
  EXPECT_EQ(first.ThinClient, "NO");
  EXPECT_EQ(first.AppPath, "C:\\Users\\u\\AppData");
  EXPECT_TRUE(first.appPathWritten);
  const auto second = ReadConfigurationFile(file, [] { return std::string("C:\\elsewhere"); });
  EXPECT_EQ(second.AppPath, "C:\\Users\\u\\AppData");
  EXPECT_FALSE(second.appPathWritten);

  StoreAppPath(file, "D:\\");
  EXPECT_EQ(ReadConfigurationFile(file).AppPath, "D:\\");
  EXPECT_EQ(ReadConfigurationFile(folder.path() / L"none.config").outcome,
            ConfigurationResult::Outcome::FileMissing);

  EXPECT_EQ(GetAppDataFolder(), tv::platform::AppDataFolder());
  EXPECT_EQ(tv::platform::PathToUtf8(ConfigurationFilePath()),
            tv::platform::PathToUtf8(tv::platform::ExecutableFolder() / L"TvUpdater.config"));
}
