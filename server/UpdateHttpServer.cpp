#include "UpdateHttpServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tvserver {

namespace {

constexpr const char* kMessageType = "application/octet-stream";

// httplib only says that binding failed; ask the system why, for a message one can act on.
std::string bindFailure(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
    return gai_strerror(rc);
  std::string reason = "unknown reason";
  for (addrinfo* a = found; a; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd < 0) {
      reason = std::strerror(errno);
      continue;
    }
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const int rc = ::bind(fd, a->ai_addr, a->ai_addrlen);
    reason = rc == 0 ? "the address cannot be listened on" : std::strerror(errno);
    ::close(fd);
    if (rc != 0) break;
  }
  freeaddrinfo(found);
  return reason;
}

void sendReply(Reply reply, httplib::Response& res) {
  res.status = reply.httpStatus;
  switch (reply.kind) {
    case Reply::Kind::Drop:
      // Headers promise a body that never comes: the client sees the connection break.
      res.set_content_provider(1024, kMessageType,
                               [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
      return;
    case Reply::Kind::HttpError:
      res.set_content(std::string(reply.view()), "text/plain");
      return;
    case Reply::Kind::Message:
      break;
  }
  // The provider writes straight from the reply's buffer; no copy into the response.
  const std::size_t size = reply.size;
  auto body = std::make_shared<Reply>(std::move(reply));
  res.set_content_provider(
      size, kMessageType, [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        return sink.write(reinterpret_cast<const char*>(body->body.get()) + offset, length);
      });
}

}  // namespace

UpdateHttpServer::UpdateHttpServer(RequestDispatcher& dispatcher, Options options)
    : dispatcher_(dispatcher),
      options_(std::move(options)),
      http_(std::make_unique<httplib::Server>()) {
  const std::size_t threads = options_.threads;
  // httplib takes ownership of the queue it is handed and deletes it when it stops.
  http_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  http_->set_payload_max_length(dispatcher_.options().maxBodyBytes);
  http_->set_tcp_nodelay(true);
  // Not httplib's default SO_REUSEPORT: a second server on a taken port must fail, not share it.
  http_->set_socket_options([](socket_t sock) {
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });

  http_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    const std::string encoding = req.get_header_value("Content-Encoding");
    const bool chunked =
        req.get_header_value("Transfer-Encoding").find("chunked") != std::string::npos;
    if (!chunked && (encoding.empty() || encoding == "identity"))
      return httplib::Server::HandlerResponse::Unhandled;
    res.set_header("Connection", "close");
    sendReply(dispatcher_.refuse(chunked ? "The server takes request bodies of a declared "
                                           "length only, not in chunks"
                                         : "The server takes request bodies without a "
                                           "content encoding only"),
              res);
    return httplib::Server::HandlerResponse::Handled;
  });

  http_->Post("/[bB][iI][nN]", [this](const httplib::Request& req, httplib::Response& res) {
    std::vector<std::uint8_t> request(req.body.begin(), req.body.end());
    sendReply(dispatcher_.handle(std::move(request)), res);
  });

  http_->set_error_handler(
      httplib::Server::HandlerWithResponse([this](const httplib::Request&, httplib::Response& res) {
        if (res.status != 413) return httplib::Server::HandlerResponse::Unhandled;
        sendReply(dispatcher_.refuse("The request is larger than the " +
                                     std::to_string(dispatcher_.options().maxBodyBytes) +
                                     " bytes this server accepts"),
                  res);
        return httplib::Server::HandlerResponse::Handled;
      }));
}

UpdateHttpServer::~UpdateHttpServer() {
  stop();
}

int UpdateHttpServer::start() {
  if (options_.port == 0) {
    port_ = http_->bind_to_any_port(options_.host);
    if (port_ <= 0)
      throw ServerStartError("Cannot listen on " + options_.host + ": " +
                             bindFailure(options_.host, 0));
  } else {
    if (!http_->bind_to_port(options_.host, options_.port))
      throw ServerStartError("Cannot listen on " + options_.host + ":" +
                             std::to_string(options_.port) + ": " +
                             bindFailure(options_.host, options_.port));
    port_ = options_.port;
  }
  listenEnded_ = false;
  thread_ = std::thread([this] {
    http_->listen_after_bind();
    listenEnded_ = true;
  });
  // httplib's stop() does nothing until the listening loop has begun; wait for it, so that a
  // server stopped right after its start does not keep listening forever.
  while (!http_->is_running() && !listenEnded_)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return port_;
}

void UpdateHttpServer::stop() {
  if (!thread_.joinable()) return;
  http_->stop();
  thread_.join();
}

std::string UpdateHttpServer::url() const {
  const bool v6 = options_.host.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + options_.host + "]" : options_.host) + ":" +
         std::to_string(port_) + "/bin";
}

}  // namespace tvserver
