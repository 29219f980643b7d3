// An HTTP or HTTPS server on an ephemeral loopback port for the wire tests (cpp-httplib). Every
// POST goes to the handler given; the server stops when the object is destroyed.
#pragma once

#include <httplib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

class LoopbackHttpServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  explicit LoopbackHttpServer(Handler handler)
      : LoopbackHttpServer(std::make_unique<httplib::Server>(), std::move(handler), "http") {}

  // An https server with the certificate and key in these PEM files.
  LoopbackHttpServer(const std::string& certificateFile, const std::string& keyFile,
                     Handler handler)
      : LoopbackHttpServer(
            std::make_unique<httplib::SSLServer>(certificateFile.c_str(), keyFile.c_str()),
            std::move(handler), "https") {}

  ~LoopbackHttpServer() {
    server_->stop();
    thread_.join();
  }
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/bin") const {
    return scheme_ + "://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  LoopbackHttpServer(std::unique_ptr<httplib::Server> server, Handler handler, std::string scheme)
      : server_(std::move(server)), scheme_(std::move(scheme)) {
    if (!server_->is_valid()) throw std::runtime_error("cannot set up the loopback server");
    server_->Post(".*", [handler = std::move(handler)](const httplib::Request& request,
                                                       httplib::Response& response) {
      handler(request, response);
    });
    // Binding first gives the port without a race; connections wait in the backlog until
    // the accept loop runs.
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() is ignored until the accept loop runs, so a server destroyed at once would
    // never end: wait for the loop.
    for (int waited = 0; !server_->is_running(); ++waited) {
      if (waited == 5000) {
        server_->stop();
        thread_.join();
        throw std::runtime_error("the loopback server did not start");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::unique_ptr<httplib::Server> server_;
  std::string scheme_;
  int port_ = 0;
  std::thread thread_;
};
