// The HTTP side of the update service: POST on the dispatcher path "/bin" (any case) carries
// one message each way; every other path is a plain 404. Requests run on a pool of threads.
//
// A body above the configured bound is refused from its Content-Length, before it is stored,
// with an exception message; so are bodies sent in chunks or with a content encoding, whose
// size is not known in advance. start() throws ServerStartError naming the address and the
// reason when the port is taken or the address cannot be used.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "RequestDispatcher.h"

namespace httplib {
class Server;
}

namespace tvserver {

class ServerStartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class UpdateHttpServer {
 public:
  struct Options {
    std::string host = "127.0.0.1";
    int port = 8091;  // 0: any free port
    std::size_t threads = 16;
  };

  UpdateHttpServer(RequestDispatcher& dispatcher, Options options);
  ~UpdateHttpServer();
  UpdateHttpServer(const UpdateHttpServer&) = delete;
  UpdateHttpServer& operator=(const UpdateHttpServer&) = delete;

  // Binds and starts serving on a thread of its own; returns the port.
  int start();
  // Stops accepting and finishes; waits for the serving thread. Safe to call twice.
  void stop();

  int port() const { return port_; }
  std::string url() const;

 private:
  RequestDispatcher& dispatcher_;
  Options options_;
  std::unique_ptr<httplib::Server> http_;
  std::thread thread_;
  std::atomic<bool> listenEnded_ = false;
  int port_ = 0;
};

}  // namespace tvserver
