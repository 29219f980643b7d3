// An update server for tests: a temporary store, served in this process on an ephemeral
// loopback port, with helpers to publish applications from memory, set administrator accounts,
// inject faults and count the calls per operation. Everything is removed when it goes away.
//
// The constructor throws when the temporary folder, the store or the port cannot be set up.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AdminSessions.h"
#include "FaultPlan.h"
#include "Publisher.h"
#include "RequestDispatcher.h"
#include "ServerStore.h"
#include "UpdateHttpServer.h"
#include "UpdaterServiceImpl.h"

namespace tvserver {

class TestServer {
 public:
  struct Options {
    bool compress = false;
    std::size_t maxRequestBytes = std::size_t{64} << 20;
    std::chrono::seconds sessionIdleLimit = std::chrono::minutes(30);
  };

  // A file as tests write it: name and bytes, both as they go into the store (code page 1250).
  using File = std::pair<std::string, std::string>;

  TestServer();
  explicit TestServer(Options options);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // "http://127.0.0.1:PORT/bin"
  std::string url() const { return http_->url(); }
  int port() const { return http_->port(); }
  const std::filesystem::path& folder() const { return folder_; }

  ServerStore& store() { return *store_; }
  FaultPlan& faults() { return faults_; }
  AdminSessions& sessions() { return *sessions_; }

  // How many requests named operation since the start (or the last resetCalls).
  int calls(std::string_view operation) const { return dispatcher_->calls(operation); }
  void resetCalls() { dispatcher_->resetCalls(); }

  PublishResult publish(const PublishSpec& plan);
  // An application with these executables (the first is the main one unless main names
  // another), configuration files and one locale per entry of locales.
  PublishResult publishApp(
      const std::string& uid, const std::string& name, const std::vector<File>& executables,
      const std::vector<File>& configs = {},
      const std::vector<std::pair<std::string, std::vector<File>>>& locales = {},
      const std::string& main = {});

  void setAdminPassword(const std::string& user, const std::string& password);

 private:
  std::filesystem::path folder_;
  std::unique_ptr<ServerStore> store_;
  std::unique_ptr<AdminSessions> sessions_;
  std::unique_ptr<UpdaterServiceImpl> service_;
  FaultPlan faults_;
  std::unique_ptr<RequestDispatcher> dispatcher_;
  std::unique_ptr<UpdateHttpServer> http_;
};

}  // namespace tvserver
