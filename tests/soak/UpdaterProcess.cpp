#include "UpdaterProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace tv::soak {

UpdaterProcess::UpdaterProcess(const std::filesystem::path& program, const std::string& argument,
                               const std::map<std::string, std::string>& env,
                               const std::filesystem::path& log) {
  std::vector<std::string> envText;
  for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string programText = program.string();
  std::string argumentText = argument;
  char* argv[] = {programText.data(), argumentText.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  const int rc = posix_spawn(&pid_, programText.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("Cannot start " + programText + ": " + std::strerror(rc));
}

UpdaterProcess::~UpdaterProcess() {
  Kill();
}

bool UpdaterProcess::Reap(bool block) {
  if (status_) return true;
  int raw = 0;
  pid_t rc;
  do {
    rc = ::waitpid(pid_, &raw, block ? 0 : WNOHANG);
  } while (rc < 0 && errno == EINTR);
  if (rc != pid_) return false;
  status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return true;
}

bool UpdaterProcess::Running() {
  return !Reap(false);
}

std::optional<int> UpdaterProcess::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  while (!Reap(false)) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status_;
}

int UpdaterProcess::Kill() {
  if (!Reap(false)) {
    ::kill(pid_, SIGKILL);
    Reap(true);
  }
  return *status_;
}

std::vector<pid_t> ProcessesInside(const std::filesystem::path& root) {
  const std::string prefix = root.string() + "/";
  std::vector<pid_t> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    for (const char* link : {"exe", "cwd"}) {
      std::error_code ignored;
      const auto target = std::filesystem::read_symlink(entry.path() / link, ignored);
      if (!ignored && (target.string() + "/").rfind(prefix, 0) == 0) {
        found.push_back(static_cast<pid_t>(std::stol(name)));
        break;
      }
    }
  }
  return found;
}

}  // namespace tv::soak
