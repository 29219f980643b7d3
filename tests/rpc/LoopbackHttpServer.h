// An HTTP server on an ephemeral loopback port for the wire tests (cpp-httplib). Every POST
// goes to the handler given; the server stops when the object is destroyed.
#pragma once

#include <httplib.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

class LoopbackHttpServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  explicit LoopbackHttpServer(Handler handler) {
    server_.Post(".*", [handler = std::move(handler)](const httplib::Request& request,
                                                      httplib::Response& response) {
      handler(request, response);
    });
    // Binding first gives the port without a race; connections wait in the backlog until
    // the accept loop runs.
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() is ignored until the accept loop runs, so a server destroyed at once would
    // never end: wait for the loop.
    for (int waited = 0; !server_.is_running(); ++waited) {
      if (waited == 5000) {
        server_.stop();
        thread_.detach();
        throw std::runtime_error("the loopback server did not start");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ~LoopbackHttpServer() {
    server_.stop();
    thread_.join();
  }
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/bin") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};
