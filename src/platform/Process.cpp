#include "Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>

#include "UniqueFd.h"

extern char** environ;

namespace tv::platform {
namespace {

// Everything the child needs, prepared before fork: after fork in a threaded program only
// async-signal-safe calls are allowed, so the child must not allocate.
struct ChildPlan {
  std::vector<std::string> args;
  std::vector<char*> argv;
  std::string workdir;
  int maxFd = 1024;

  explicit ChildPlan(const std::vector<std::string>& a, std::string dir)
      : args(a), workdir(std::move(dir)) {
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    const long open = ::sysconf(_SC_OPEN_MAX);
    if (open > 0 && open < INT_MAX) maxFd = static_cast<int>(open);
  }
};

void ReportAndExit(int pipeFd, int error) {
  [[maybe_unused]] const ssize_t n = ::write(pipeFd, &error, sizeof error);
  ::_exit(127);
}

// In the child: streams to /dev/null, descriptors from 3 up closed except keep, signals reset,
// working directory set, then exec. Only async-signal-safe calls.
[[noreturn]] void ExecChild(const ChildPlan& plan, int keep) {
  if (keep < 3) keep = ::fcntl(keep, F_DUPFD_CLOEXEC, 3);  // keep it clear of the streams
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int s = 1; s < NSIG; ++s) {
    if (s != SIGKILL && s != SIGSTOP) ::sigaction(s, &dfl, nullptr);
  }
  const int null = ::open("/dev/null", O_RDWR);
  if (null < 0) ReportAndExit(keep, errno);
  for (int target = 0; target < 3; ++target) {
    if (::dup2(null, target) < 0) ReportAndExit(keep, errno);
  }
  if (null > 2) ::close(null);
  // close_range may be missing on old kernels: then one by one.
  const bool closedLow = keep <= 3 || ::syscall(SYS_close_range, 3U, keep - 1U, 0U) == 0;
  const bool closedHigh = ::syscall(SYS_close_range, keep + 1U, ~0U, 0U) == 0;
  if (!closedLow || !closedHigh) {
    for (int fd = 3; fd < plan.maxFd; ++fd) {
      if (fd != keep) ::close(fd);
    }
  }
  if (!plan.workdir.empty() && ::chdir(plan.workdir.c_str()) != 0) ReportAndExit(keep, errno);
  ::execve(plan.argv[0], plan.argv.data(), environ);
  ReportAndExit(keep, errno);
  ::_exit(127);
}

pid_t WaitPid(pid_t pid, int* status, int options) {
  pid_t rc;
  do {
    rc = ::waitpid(pid, status, options);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

}  // namespace

int SpawnDetached(const std::vector<std::string>& argv, const std::string& workdir) {
  if (argv.empty() || argv[0].empty()) return ENOENT;
  const ChildPlan plan(argv, workdir);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);

  // Double fork: the middle process starts the session and leaves at once, so the program is
  // adopted by init and never becomes our zombie.
  const pid_t middle = ::fork();
  if (middle < 0) return errno;
  if (middle == 0) {
    ::setsid();
    const pid_t program = ::fork();
    if (program < 0) ReportAndExit(writeEnd.get(), errno);
    if (program > 0) ::_exit(0);
    ExecChild(plan, writeEnd.get());
  }
  writeEnd.reset();
  int status = 0;
  WaitPid(middle, &status, 0);
  // The pipe closes on a successful exec (close-on-exec) or carries the child's errno.
  int error = 0;
  ssize_t n;
  do {
    n = ::read(readEnd.get(), &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof error)) return error == 0 ? EIO : error;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return ECHILD;
  return 0;
}

std::optional<int> RunAndWait(const std::vector<std::string>& argv,
                              std::chrono::milliseconds timeout) {
  if (argv.empty() || argv[0].empty()) return std::nullopt;
  const ChildPlan plan(argv, {});
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);
  const pid_t pid = ::fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) ExecChild(plan, writeEnd.get());
  writeEnd.reset();
  int error = 0;
  ssize_t n;
  do {
    n = ::read(readEnd.get(), &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  const bool started = n != static_cast<ssize_t>(sizeof error);

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  for (;;) {
    const pid_t rc = WaitPid(pid, &status, WNOHANG);
    if (rc == pid) break;
    if (rc < 0) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      WaitPid(pid, &status, 0);
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!started || !WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

std::string FindProgram(std::string_view name) {
  if (name.empty()) return {};
  auto executable = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
  };
  if (name.find('/') != std::string_view::npos) {
    return executable(std::string(name)) ? std::string(name) : std::string();
  }
  const char* path = std::getenv("PATH");
  const std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t begin = 0;
  while (begin <= dirs.size()) {
    auto end = dirs.find(':', begin);
    if (end == std::string_view::npos) end = dirs.size();
    std::string dir(dirs.substr(begin, end - begin));
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + std::string(name);
    if (executable(candidate)) {
      // A relative $PATH entry must not be resolved later against another working directory.
      std::error_code ec;
      const auto absolute = std::filesystem::absolute(candidate, ec);
      return ec ? candidate : absolute.lexically_normal().string();
    }
    begin = end + 1;
  }
  return {};
}

}  // namespace tv::platform
