// The command line of tolvara-server: parsing into one command and running it.
//
// parseCommandLine throws CommandLineError with a message that names the wrong or missing
// argument; "--help" anywhere yields the help of the command it follows. runCommandLine prints
// errors to stderr and returns the process exit code (0 success, 1 failure, 2 usage error).
#pragma once

#include <cstddef>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "Publisher.h"

namespace tvserver {

class CommandLineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ListenAddress {
  std::string host = "127.0.0.1";
  int port = 8091;
};

struct HelpCommand {
  std::string text;
};

struct ServeCommand {
  std::string db;
  ListenAddress listen;
  bool compress = false;
  std::size_t maxRequestBytes = std::size_t{64} << 20;
};

struct DemoCommand {
  ListenAddress listen;
  bool compress = false;
};

struct PublishCommand {
  std::string db;
  PublishFolders folders;
};

struct AdminCommand {
  enum class Action { SetPassword, Activate, Deactivate };
  std::string db;
  Action action = Action::Activate;
  std::string user;  // UTF-8, for SetPassword
};

using Command = std::variant<HelpCommand, ServeCommand, DemoCommand, PublishCommand, AdminCommand>;

// args excludes the program name.
Command parseCommandLine(const std::vector<std::string>& args);
ListenAddress parseListenAddress(const std::string& text);

// Runs a parsed command. in supplies the password of "admin set-password".
int runCommand(const Command& command, std::istream& in, std::ostream& out, std::ostream& err);
int runCommandLine(int argc, char** argv);

}  // namespace tvserver
