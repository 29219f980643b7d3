// Small helpers that several windows share: the user's application-data folder, the program's
// version text and the thin-client test. None of them throws.
#pragma once

#include <string>

// The user's application-data folder (UTF-8, as the file system names it), without a trailing
// '/'; empty when it cannot be determined.
std::string GetAppDataFolder();

// The program's version, or "NEPOZNATA VERZIJA" when the build carries none.
std::string GetExeVersion();

// The thin-client setting: on exactly when the value, with its ASCII letters upper-cased,
// equals "YES".
bool IsThinClient(const std::string& value);
