// The update server of the soak: a store in a temporary folder served over HTTP on a loopback
// port that stays the same across restarts, so that a client keeps its URL while the server goes
// down and comes back. Faults are injected through its plan; calls are counted per operation.
// The constructor and Restart throw what the store and the HTTP server throw.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "AdminSessions.h"
#include "FaultPlan.h"
#include "RequestDispatcher.h"
#include "ServerStore.h"
#include "UpdateHttpServer.h"
#include "UpdaterServiceImpl.h"

namespace tv::soak {

class SoakServer {
 public:
  explicit SoakServer(const std::filesystem::path& folder);
  ~SoakServer();
  SoakServer(const SoakServer&) = delete;
  SoakServer& operator=(const SoakServer&) = delete;

  std::string Url() const;
  tvserver::ServerStore& Store() { return *store_; }
  tvserver::FaultPlan& Faults() { return faults_; }
  int Calls(std::string_view operation) const { return dispatcher_->calls(operation); }
  void ResetCalls() { dispatcher_->resetCalls(); }

  // Stops serving (requests under way end with their connections), stays down for downtime and
  // listens on the same port again.
  void Restart(std::chrono::milliseconds downtime);

 private:
  void Listen(int port);

  std::ofstream log_;
  std::unique_ptr<tvserver::ServerStore> store_;
  tvserver::AdminSessions sessions_;
  std::unique_ptr<tvserver::UpdaterServiceImpl> service_;
  tvserver::FaultPlan faults_;
  std::unique_ptr<tvserver::RequestDispatcher> dispatcher_;
  std::unique_ptr<tvserver::UpdateHttpServer> http_;
  int port_ = 0;
};

}  // namespace tv::soak
