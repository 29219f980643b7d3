// A one-thread HTTP/1.1 server on 127.0.0.1 for the Windows tests (Winsock; cpp-httplib is not
// built for Windows here). It answers each request with what the handler returns, or, for a
// handler that returns none, keeps the connection open and silent until the server stops.
// It records every request. Construction throws std::runtime_error when it cannot listen.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tvtest {

struct HttpRequest {
  std::string method;
  std::string target;
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;

  std::string Header(const std::string& lowerName) const {
    for (const auto& [name, value] : headers) {
      if (name == lowerName) return value;
    }
    return {};
  }
};

struct HttpAnswer {
  int status = 200;
  std::string body;
  std::string contentType = "application/octet-stream";
};

class Win32LoopbackServer {
 public:
  using Handler = std::function<std::optional<HttpAnswer>(const HttpRequest&)>;

  explicit Win32LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    listen_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (listen_ == INVALID_SOCKET ||
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, 16) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      Close(listen_);
      ::WSACleanup();
      throw std::runtime_error("the loopback server cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }

  ~Win32LoopbackServer() {
    stopping_ = true;
    Close(listen_);  // wakes accept()
    {
      std::lock_guard lock(mutex_);
      for (SOCKET s : silent_) Close(s);
      silent_.clear();
    }
    if (thread_.joinable()) thread_.join();
    ::WSACleanup();
  }

  std::uint16_t port() const { return port_; }
  std::string URL(const std::string& path = "/bin") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  std::vector<HttpRequest> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  static void Close(SOCKET& s) {
    if (s != INVALID_SOCKET) ::closesocket(s);
    s = INVALID_SOCKET;
  }

  void Run() {
    while (!stopping_) {
      SOCKET client = ::accept(listen_, nullptr, nullptr);
      if (client == INVALID_SOCKET) {
        if (stopping_) return;
        continue;
      }
      Serve(client);
    }
  }

  static bool ReadRequest(SOCKET s, HttpRequest& request) {
    std::string data;
    char buffer[65536];
    std::size_t headerEnd = std::string::npos;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
      const int n = ::recv(s, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      data.append(buffer, static_cast<std::size_t>(n));
    }
    std::size_t lineEnd = data.find("\r\n");
    const std::string first = data.substr(0, lineEnd);
    const auto space1 = first.find(' ');
    const auto space2 = first.find(' ', space1 + 1);
    request.method = first.substr(0, space1);
    request.target = first.substr(space1 + 1, space2 - space1 - 1);
    std::size_t length = 0;
    for (std::size_t pos = lineEnd + 2; pos < headerEnd;) {
      const std::size_t end = data.find("\r\n", pos);
      const std::string line = data.substr(pos, end - pos);
      pos = end + 2;
      const auto colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::string name = line.substr(0, colon);
      for (char& c : name) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      if (name == "content-length") length = std::stoul(value);
      request.headers.emplace_back(name, value);
    }
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < length) {
      const int n = ::recv(s, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      request.body.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  void Serve(SOCKET client) {
    HttpRequest request;
    if (!ReadRequest(client, request)) {
      Close(client);
      return;
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const std::optional<HttpAnswer> answer = handler_(request);
    if (!answer) {
      std::lock_guard lock(mutex_);
      silent_.push_back(client);  // answered never; closed when the server stops
      return;
    }
    std::string reply = "HTTP/1.1 " + std::to_string(answer->status) + " Status\r\n" +
                        "Content-Type: " + answer->contentType + "\r\n" +
                        "Content-Length: " + std::to_string(answer->body.size()) + "\r\n" +
                        "Connection: close\r\n\r\n" + answer->body;
    std::size_t sent = 0;
    while (sent < reply.size()) {
      const int n = ::send(client, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    ::shutdown(client, SD_SEND);
    Close(client);
  }

  Handler handler_;
  SOCKET listen_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<HttpRequest> requests_;
  std::vector<SOCKET> silent_;
  std::thread thread_;
};

}  // namespace tvtest
