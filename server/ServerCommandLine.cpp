#include "ServerCommandLine.h"

#include <charconv>
#include <iostream>
#include <optional>
#include <set>

namespace tvserver {
namespace {

constexpr const char* kGeneralHelp = R"(Usage: tolvara-server COMMAND [OPTIONS]

The Tolvara update service: serves applications and their executables to Tolvara Updater.

Commands:
  serve     serve an update store over HTTP
  demo      serve a temporary store with one demo application
  publish   publish (or re-publish) an application from folders
  admin     set an administrator password, activate or deactivate the service

Run "tolvara-server COMMAND --help" for the options of a command.
)";

constexpr const char* kServeHelp =
    R"(Usage: tolvara-server serve --db FILE [--listen ADDR:PORT] [--compress]
                            [--max-request BYTES]

Serves the update store FILE (created when missing) at http://ADDR:PORT/bin until SIGINT or
SIGTERM.

  --db FILE            the SQLite update store
  --listen ADDR:PORT   address and port to listen on (default 127.0.0.1:8091; port 0 picks one)
  --compress           compress answers (zlib)
  --max-request BYTES  largest request body accepted (default 67108864)
)";

constexpr const char* kDemoHelp = R"(Usage: tolvara-server demo [--listen ADDR:PORT] [--compress]

Creates a temporary store with the demo application "DEMO" (a start script, a data file of a
few MiB, a configuration file and one locale) and serves it until SIGINT or SIGTERM. The store
is deleted on exit.

  --listen ADDR:PORT   address and port to listen on (default 127.0.0.1:8091)
  --compress           compress answers (zlib)
)";

constexpr const char* kPublishHelp =
    R"(Usage: tolvara-server publish --db FILE --uid UID --name NAME [--description TEXT]
                              [--inactive] --dir DIR [--main FILE] [--config DIR]
                              [--locale NAME=DIR ...]

Publishes the application UID in one step: clients see the old version or the new one, never
a mix. Unchanged files keep their identity, so clients fetch only what changed.

  --db FILE            the SQLite update store (created when missing)
  --uid UID            the application's identifier (names its folder on workstations)
  --name NAME          the name shown to users and given to the desktop shortcut
  --description TEXT   a description shown in the installer's list
  --inactive           publish the application as not startable ("N")
  --dir DIR            folder with the executables (files only, no subfolders)
  --main FILE          the file in DIR to start (needed when DIR holds several files)
  --config DIR         folder with configuration files, rewritten at every start
  --locale NAME=DIR    a locale NAME with the files of DIR (may be repeated)

Names must fit code page 1250, the code page of the workstations.
)";

constexpr const char* kAdminHelp = R"(Usage: tolvara-server admin --db FILE ACTION

Actions:
  set-password USER   set USER's administrator password, read from the first line of stdin
  activate            let clients start applications again
  deactivate          tell clients that the system is being updated
)";

// Splits "--name=value" and collects the arguments of one command.
class ArgReader {
 public:
  ArgReader(const std::vector<std::string>& args, std::size_t from) {
    for (std::size_t i = from; i < args.size(); ++i) {
      const std::string& a = args[i];
      const auto eq = a.find('=');
      if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
        items_.push_back(a.substr(0, eq));
        items_.push_back(a.substr(eq + 1));
        attached_.insert(items_.size() - 2);
      } else {
        items_.push_back(a);
      }
    }
  }
  bool done() const { return pos_ >= items_.size(); }
  const std::string& next() { return items_[pos_++]; }
  std::string value(const std::string& option) {
    if (done() || (items_[pos_].rfind("--", 0) == 0 && !attached_.count(pos_ - 1)))
      throw CommandLineError(option + " needs a value");
    return items_[pos_++];
  }
  bool hasValue() const { return attached_.count(pos_ - 1) > 0; }

 private:
  std::vector<std::string> items_;
  std::set<std::size_t> attached_;  // options whose value came after "="
  std::size_t pos_ = 0;
};

bool wantsHelp(const std::vector<std::string>& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

[[noreturn]] void unknownOption(const std::string& command, const std::string& option) {
  throw CommandLineError("Unknown option \"" + option + "\" for \"" + command +
                         "\"; see \"tolvara-server " + command + " --help\"");
}

void requireOption(const std::string& value, const std::string& option,
                   const std::string& command) {
  if (value.empty()) throw CommandLineError("\"" + command + "\" needs " + option);
}

void noValue(ArgReader& r, const std::string& option) {
  if (r.hasValue()) throw CommandLineError(option + " takes no value");
}

std::size_t parseSize(const std::string& text, const std::string& option) {
  std::size_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value == 0)
    throw CommandLineError(option + " needs a positive number of bytes, not \"" + text + "\"");
  return value;
}

ServeCommand parseServe(ArgReader r) {
  ServeCommand c;
  while (!r.done()) {
    const std::string o = r.next();
    if (o == "--db") {
      c.db = r.value(o);
    } else if (o == "--listen") {
      c.listen = parseListenAddress(r.value(o));
    } else if (o == "--compress") {
      noValue(r, o);
      c.compress = true;
    } else if (o == "--max-request") {
      c.maxRequestBytes = parseSize(r.value(o), o);
    } else {
      unknownOption("serve", o);
    }
  }
  requireOption(c.db, "--db FILE", "serve");
  return c;
}

DemoCommand parseDemo(ArgReader r) {
  DemoCommand c;
  while (!r.done()) {
    const std::string o = r.next();
    if (o == "--listen") {
      c.listen = parseListenAddress(r.value(o));
    } else if (o == "--compress") {
      noValue(r, o);
      c.compress = true;
    } else {
      unknownOption("demo", o);
    }
  }
  return c;
}

PublishCommand parsePublish(ArgReader r) {
  PublishCommand c;
  auto& f = c.folders;
  bool haveDir = false;
  while (!r.done()) {
    const std::string o = r.next();
    if (o == "--db") {
      c.db = r.value(o);
    } else if (o == "--uid") {
      f.uid = r.value(o);
    } else if (o == "--name") {
      f.name = r.value(o);
    } else if (o == "--description") {
      f.description = r.value(o);
    } else if (o == "--inactive") {
      noValue(r, o);
      f.inactive = true;
    } else if (o == "--dir") {
      f.dir = r.value(o);
      haveDir = true;
    } else if (o == "--main") {
      f.main = r.value(o);
    } else if (o == "--config") {
      f.configDir = r.value(o);
    } else if (o == "--locale") {
      const std::string v = r.value(o);
      const auto eq = v.find('=');
      if (eq == std::string::npos || eq == 0 || eq + 1 == v.size())
        throw CommandLineError("--locale needs NAME=DIR, not \"" + v + "\"");
      f.locales.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    } else {
      unknownOption("publish", o);
    }
  }
  requireOption(c.db, "--db FILE", "publish");
  requireOption(f.uid, "--uid UID", "publish");
  requireOption(f.name, "--name NAME", "publish");
  if (!haveDir || f.dir.empty()) throw CommandLineError("\"publish\" needs --dir DIR");
  return c;
}

AdminCommand parseAdmin(ArgReader r) {
  AdminCommand c;
  std::optional<std::string> action;
  while (!r.done()) {
    const std::string o = r.next();
    if (o == "--db") {
      c.db = r.value(o);
    } else if (o.rfind("-", 0) == 0) {
      unknownOption("admin", o);
    } else if (action) {
      if (*action == "set-password" && c.user.empty())
        c.user = o;
      else
        throw CommandLineError("Unexpected argument \"" + o + "\" for \"admin\"");
    } else {
      action = o;
    }
  }
  requireOption(c.db, "--db FILE", "admin");
  if (!action)
    throw CommandLineError("\"admin\" needs an action: set-password USER, activate or deactivate");
  if (*action == "set-password") {
    c.action = AdminCommand::Action::SetPassword;
    if (c.user.empty()) throw CommandLineError("\"admin set-password\" needs a USER");
  } else if (*action == "activate") {
    c.action = AdminCommand::Action::Activate;
  } else if (*action == "deactivate") {
    c.action = AdminCommand::Action::Deactivate;
  } else {
    throw CommandLineError("Unknown admin action \"" + *action +
                           "\"; use set-password USER, activate or deactivate");
  }
  return c;
}

}  // namespace

ListenAddress parseListenAddress(const std::string& text) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
    throw CommandLineError("--listen needs ADDR:PORT, not \"" + text + "\"");
  ListenAddress a;
  a.host = text.substr(0, colon);
  if (a.host.size() >= 2 && a.host.front() == '[' && a.host.back() == ']')
    a.host = a.host.substr(1, a.host.size() - 2);
  const std::string port = text.substr(colon + 1);
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), a.port);
  if (ec != std::errc() || end != port.data() + port.size() || a.port < 0 || a.port > 65535)
    throw CommandLineError("The port in \"" + text + "\" must be a number from 0 to 65535");
  return a;
}

Command parseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) throw CommandLineError("No command given; see \"tolvara-server --help\"");
  const std::string& command = args.front();
  if (command == "--help" || command == "-h" || command == "help") return HelpCommand{kGeneralHelp};
  const bool help = wantsHelp(args);
  if (command == "serve") return help ? Command{HelpCommand{kServeHelp}} : parseServe({args, 1});
  if (command == "demo") return help ? Command{HelpCommand{kDemoHelp}} : parseDemo({args, 1});
  if (command == "publish")
    return help ? Command{HelpCommand{kPublishHelp}} : parsePublish({args, 1});
  if (command == "admin") return help ? Command{HelpCommand{kAdminHelp}} : parseAdmin({args, 1});
  throw CommandLineError("Unknown command \"" + command + "\"; see \"tolvara-server --help\"");
}

}  // namespace tvserver
