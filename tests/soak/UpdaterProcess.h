// The real TvUpdater as a child process: started with an environment of the soak's choosing,
// waited for with a deadline, killed when it must not live on. Also finds processes that a run
// left behind. Failures to start throw std::runtime_error with the system's reason.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tv::soak {

class UpdaterProcess {
 public:
  // Starts program with one argument, the environment env (nothing else is inherited) and its
  // output appended to log.
  UpdaterProcess(const std::filesystem::path& program, const std::string& argument,
                 const std::map<std::string, std::string>& env, const std::filesystem::path& log);
  // A process still running is killed and reaped.
  ~UpdaterProcess();
  UpdaterProcess(const UpdaterProcess&) = delete;
  UpdaterProcess& operator=(const UpdaterProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  // The exit status (the code, or 128 + the signal) once it ended, none if it still runs at the
  // deadline.
  std::optional<int> WaitUntil(std::chrono::steady_clock::time_point deadline);
  // SIGKILL and reap; returns the status. Nothing happens to a process that ended already.
  int Kill();
  std::optional<int> Status() const { return status_; }

 private:
  bool Reap(bool block);

  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Processes whose executable or working folder lies inside root.
std::vector<pid_t> ProcessesInside(const std::filesystem::path& root);

}  // namespace tv::soak
