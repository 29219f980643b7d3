// Starting other programs. SpawnDetached hands a program over to the system in its own session,
// so that it outlives us and we never have to wait for it; RunAndWait runs a helper to its end
// within a time limit. Neither throws: failures come back as errno values or empty results.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tv::platform {

// Starts argv[0] (a path, not searched) with argv in its own session, working directory workdir
// (ours when empty), standard streams on /dev/null, none of our other descriptors, default signal
// handling. Returns 0 when the program was started, else the errno of the step that failed
// (ENOENT, EACCES, ENOEXEC for the program, ENOTDIR and the like for the working directory).
int SpawnDetached(const std::vector<std::string>& argv, const std::string& workdir);

// Runs argv[0] (a path) with argv and waits for it; its exit status, or std::nullopt when it
// could not start, died by a signal or ran past the timeout (it is then killed).
std::optional<int> RunAndWait(const std::vector<std::string>& argv,
                              std::chrono::milliseconds timeout);

// The absolute path of an executable program found through $PATH (or the name itself when it
// contains '/'); empty when there is none.
std::string FindProgram(std::string_view name);

}  // namespace tv::platform
