// Administrator sessions, one per client identifier: AdminLogin opens one, every administrative
// call refreshes it, and it ends after a time without use (30 minutes unless told otherwise).
//
// The identifier is the GUID that a client sends in every message header. A client without an
// identifier (all zero) cannot hold a session, since every such client would share it.
// Thread-safe; nothing here throws except std::bad_alloc.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace tvserver {

class AdminSessions {
 public:
  using Clock = std::chrono::steady_clock;
  using ClientId = std::array<std::uint8_t, 16>;

  explicit AdminSessions(std::chrono::seconds idleLimit = std::chrono::minutes(30),
                         std::function<Clock::time_point()> now = Clock::now);

  // False (and no session) for the all-zero identifier.
  bool open(const ClientId& client);
  void close(const ClientId& client);
  // True while the client's session is alive; the call counts as use and extends it.
  bool touch(const ClientId& client);

  std::chrono::seconds idleLimit() const { return idleLimit_; }

 private:
  void dropExpired(Clock::time_point now);

  std::chrono::seconds idleLimit_;
  std::function<Clock::time_point()> now_;
  std::mutex mutex_;
  std::map<ClientId, Clock::time_point> lastUse_;
};

}  // namespace tvserver
