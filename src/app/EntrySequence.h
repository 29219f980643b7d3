// The program's entry sequence after the Qt application object exists: the single-instance
// guard, the application object, the data module and the three windows (hidden, in this order:
// DownloadModule, Form_Main, Form_DlgMessage, Form_DlgSplashScreen), the mode by the number of
// arguments, the message loop and the exit sequence (windows destroyed, then the guard's exit
// step).
//
// Returns the process exit code: 0 for every run that got as far as the guard's answer (a
// refused start included), 1 when the guard could not create its marker (the error box has
// been shown then).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct TEntryOptions {
  // The arguments after the program's own path: none selects the installer, one or more the
  // launcher for the first.
  std::vector<std::string> arguments;
  // Where the configuration file lies; empty: "TvUpdater.config" beside the executable.
  std::filesystem::path configurationFile;
  // Whether the single-instance guard runs (tests of the sequence within one test binary run
  // side by side and leave it out).
  bool singleInstance = true;
};

int RunEntrySequence(const TEntryOptions& options);
