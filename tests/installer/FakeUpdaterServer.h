// An update service for the window tests: a real HTTP server on an ephemeral loopback port that
// decodes each request with the service's own invoker and answers from a scripted fake. It
// records every operation in the order it arrived, so a test sees exactly which requests the
// window made. Operations the fake is not scripted for fail like a server error would.
#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ROBinMessage.h"
#include "UpdaterServiceLibrary_Intf.h"
#include "UpdaterService_Invoker.h"

// Every operation fails as a server error unless a derived class answers it.
class TUnscriptedService : public IUpdaterService {
 public:
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define TV_UNSCRIPTED(Result, Name, Params, Names)             \
  Result Name Params override {                                \
    throw EROException(#Name " is not scripted in this test"); \
  }
  UPDATERSERVICE_OPERATIONS(TV_UNSCRIPTED)
#undef TV_UNSCRIPTED
#pragma GCC diagnostic pop
};

class TFakeUpdaterService : public TUnscriptedService {
 public:
  std::function<bool()> echo = [] { return true; };
  std::function<bool()> isActive = [] { return true; };
  std::function<std::unique_ptr<WS_Array_Of_Applications>()> applications = [] {
    return std::unique_ptr<WS_Array_Of_Applications>();
  };

  // Get_Application: the application record for "U1" alone (no lists), a failure otherwise.
  bool Get_Application(const std::string& Uid_applications,
                       std::unique_ptr<WS_Applications>& Applications,
                       std::unique_ptr<WS_Array_Of_Files_executables>& Executables,
                       std::unique_ptr<WS_Array_Of_Applications_config_files>& Configurations,
                       std::unique_ptr<WS_Array_Of_Application_locales>& Locales) override {
    Log("Get_Application(" + Uid_applications + ")");
    if (Uid_applications != "U1") throw EROException("Application not found");
    Applications = std::make_unique<WS_Applications>();
    Applications->uid_applications = "U1";
    Executables.reset();
    Configurations.reset();
    Locales.reset();
    return true;
  }

  bool Echo() override { return Log("Echo"), echo(); }
  bool Service_IsActive() override { return Log("Service_IsActive"), isActive(); }
  std::unique_ptr<WS_Array_Of_Applications> Get_Applications_List(
      const std::string& Active) override {
    Log("Get_Applications_List(" + Active + ")");
    return applications();
  }

  std::vector<std::string> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  void Log(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

class TFakeUpdaterServer {
 public:
  explicit TFakeUpdaterServer(std::shared_ptr<TFakeUpdaterService> service)
      : service_(std::move(service)) {
    server_.Post("/bin", [this](const httplib::Request& request, httplib::Response& response) {
      TROBinMessage message;
      const auto answer = TUpdaterService_Invoker::ProcessMessage(
          *service_, std::vector<std::uint8_t>(request.body.begin(), request.body.end()), message);
      response.set_content(std::string(answer.begin(), answer.end()), "application/octet-stream");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~TFakeUpdaterServer() {
    server_.stop();
    thread_.join();
  }
  TFakeUpdaterServer(const TFakeUpdaterServer&) = delete;
  TFakeUpdaterServer& operator=(const TFakeUpdaterServer&) = delete;

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/bin"; }

 private:
  std::shared_ptr<TFakeUpdaterService> service_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// A loopback URL on which nothing listens (the port was free a moment ago): connections to it
// are refused at once.
inline std::string UnreachableServiceUrl() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("cannot create a socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("cannot find a free loopback port");
  }
  close(fd);
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/bin";
}
