// Running the commands of tolvara-server (parsing is in ServerCommandLine.cpp).
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>

#include "DemoData.h"
#include "ServerCommandLine.h"
#include "StoreRules.h"
#include "TextCodec.h"
#include "UpdateHttpServer.h"

namespace tvserver {

namespace {

constexpr std::int64_t kProgressFrom = 4 << 20;  // smaller files publish without a progress line

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::unique_ptr<ServerStore> openStore(const std::string& path) {
  try {
    return std::make_unique<ServerStore>(path, true);
  } catch (const std::exception& e) {
    throw Failure(std::string("Cannot open the update store: ") + e.what());
  }
}

// Blocks SIGINT and SIGTERM for this thread and every thread started after it, so that the
// serving threads never take them and the waiting thread can collect them with sigwait.
sigset_t blockStopSignals() {
  // A shell starts background jobs with SIGINT ignored; an ignored signal never reaches sigwait.
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return set;
}

void serveUntilStopped(ServerStore& store, const ListenAddress& listen, bool compress,
                       std::size_t maxRequestBytes, const sigset_t& stopSignals,
                       const std::function<void(const std::string&)>& announce, std::ostream& err) {
  store.collectOrphans(std::chrono::hours(1));
  AdminSessions sessions;
  UpdaterServiceImpl service(store, sessions, &err);
  RequestDispatcher dispatcher(store, service, {compress, maxRequestBytes});
  UpdateHttpServer http(dispatcher, {listen.host, listen.port, 16});
  try {
    http.start();
  } catch (const ServerStartError& e) {
    throw Failure(e.what());
  }
  announce(http.url());
  int signal = 0;
  sigwait(&stopSignals, &signal);
  http.stop();
}

int runServe(const ServeCommand& c, std::ostream& out, std::ostream& err) {
  const sigset_t signals = blockStopSignals();
  auto store = openStore(c.db);
  serveUntilStopped(
      *store, c.listen, c.compress, c.maxRequestBytes, signals,
      [&](const std::string& url) {
        out << "tolvara-server: serving \"" << c.db << "\" at " << url
            << (c.compress ? " (compressed answers)" : "") << "; Ctrl+C stops" << std::endl;
      },
      err);
  out << "tolvara-server: stopped" << std::endl;
  return 0;
}

int runDemo(const DemoCommand& c, std::ostream& out, std::ostream& err) {
  const sigset_t signals = blockStopSignals();
  std::string pattern = (std::filesystem::temp_directory_path() / "tolvara-demo-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw Failure("Cannot create a temporary folder for the demo");
  const std::filesystem::path folder = pattern;
  struct RemoveFolder {
    std::filesystem::path path;
    ~RemoveFolder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } cleanup{folder};
  auto store = openStore((folder / "demo.db").string());
  seedDemo(*store);
  const PublishSpec demo = demoApplication();
  serveUntilStopped(
      *store, c.listen, c.compress, std::size_t{64} << 20, signals,
      [&](const std::string& url) {
        out << "tolvara-server demo: serving at " << url << "\n"
            << "  application \"" << kDemoUid
            << "\": " << cp1250ToUtf8(demo.application.naziv_ikonice) << "\n";
        for (const auto& f : demo.executables)
          out << "    executable " << f.name << " (" << f.bytes.size() << " bytes"
              << (f.name == demo.mainExecutable ? ", started by the launcher" : "") << ")\n";
        for (const auto& f : demo.configs) out << "    configuration file " << f.name << "\n";
        for (const auto& l : demo.locales)
          for (const auto& f : l.files) out << "    locale " << l.name << ": " << f.name << "\n";
        out << "  Configure TvUpdater.config with ServiceURL=" << url
            << ", start TvUpdater DEMO; Ctrl+C stops." << std::endl;
      },
      err);
  out << "tolvara-server demo: stopped" << std::endl;
  return 0;
}

int runPublish(const PublishCommand& c, std::ostream& out, std::ostream& err) {
  PublishSpec plan;
  try {
    plan = specFromFolders(c.folders);
  } catch (const StoreError& e) {
    throw Failure(e.what());
  }
  auto store = openStore(c.db);
  bool progressShown = false;
  const auto progress = [&](const std::string& name, std::int64_t done, std::int64_t total) {
    if (total < kProgressFrom) return;
    err << "\r  " << cp1250ToUtf8(name) << ": " << (done * 100 / total) << "% (" << (done >> 20)
        << " of " << (total >> 20) << " MiB)" << std::flush;
    progressShown = true;
    if (done == total) {
      err << "\n";
      progressShown = false;
    }
  };
  PublishResult result;
  try {
    result = publish(*store, plan, progress);
  } catch (const StoreError& e) {
    if (progressShown) err << "\n";
    throw Failure(e.what());
  }
  std::size_t localeFiles = 0;
  for (const auto& l : plan.locales) localeFiles += l.files.size();
  out << "Published \"" << c.folders.uid << "\" (" << c.folders.name
      << "): " << plan.executables.size() << " executable(s), " << result.storedFiles << " stored, "
      << result.reusedFiles << " unchanged; " << plan.configs.size() << " configuration file(s); "
      << plan.locales.size() << " locale(s) with " << localeFiles << " file(s)." << std::endl;
  if (result.collectedFiles > 0)
    out << "Removed " << result.collectedFiles << " older executable(s) no longer offered."
        << std::endl;
  return 0;
}

std::string readPassword(const std::string& user, std::istream& in, std::ostream& err) {
  const bool terminal = &in == &std::cin && isatty(STDIN_FILENO);
  termios saved{};
  if (terminal) {
    err << "Password for " << user << ": " << std::flush;
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string password;
  std::getline(in, password);
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    err << "\n";
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.empty()) throw Failure("No password given on standard input");
  return password;
}

int runAdmin(const AdminCommand& c, std::istream& in, std::ostream& out, std::ostream& err) {
  auto store = openStore(c.db);
  switch (c.action) {
    case AdminCommand::Action::SetPassword: {
      const std::string password = readPassword(c.user, in, err);
      try {
        // Clients send names and passwords in code page 1250, so that is what is hashed.
        store->setAdminPassword(utf8ToCp1250(c.user), utf8ToCp1250(password));
      } catch (const TextCodecError& e) {
        throw Failure(std::string("The user name or password cannot be sent by clients: ") +
                      e.what());
      } catch (const StoreError& e) {
        throw Failure(e.what());
      }
      out << "Password of administrator \"" << c.user << "\" set." << std::endl;
      return 0;
    }
    case AdminCommand::Action::Activate:
      store->setServiceActive(true);
      out << "The service is active: clients may start applications." << std::endl;
      return 0;
    case AdminCommand::Action::Deactivate:
      store->setServiceActive(false);
      out << "The service is inactive: clients report that the system is being updated."
          << std::endl;
      return 0;
  }
  return 1;
}

}  // namespace

int runCommand(const Command& command, std::istream& in, std::ostream& out, std::ostream& err) {
  try {
    return std::visit(
        [&](const auto& c) -> int {
          using T = std::decay_t<decltype(c)>;
          if constexpr (std::is_same_v<T, HelpCommand>) {
            out << c.text;
            return 0;
          } else if constexpr (std::is_same_v<T, ServeCommand>) {
            return runServe(c, out, err);
          } else if constexpr (std::is_same_v<T, DemoCommand>) {
            return runDemo(c, out, err);
          } else if constexpr (std::is_same_v<T, PublishCommand>) {
            return runPublish(c, out, err);
          } else {
            return runAdmin(c, in, out, err);
          }
        },
        command);
  } catch (const Failure& e) {
    err << "tolvara-server: " << e.what() << std::endl;
  } catch (const std::exception& e) {
    err << "tolvara-server: " << e.what() << std::endl;
  }
  return 1;
}

int runCommandLine(int argc, char** argv) {
  Command command;
  try {
    command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const CommandLineError& e) {
    std::cerr << "tolvara-server: " << e.what() << std::endl;
    return 2;
  }
  return runCommand(command, std::cin, std::cout, std::cerr);
}

}  // namespace tvserver
