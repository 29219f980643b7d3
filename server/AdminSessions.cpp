#include "AdminSessions.h"

#include <algorithm>

namespace tvserver {

AdminSessions::AdminSessions(std::chrono::seconds idleLimit, std::function<Clock::time_point()> now)
    : idleLimit_(idleLimit), now_(std::move(now)) {}

bool AdminSessions::open(const ClientId& client) {
  if (std::all_of(client.begin(), client.end(), [](std::uint8_t b) { return b == 0; }))
    return false;
  const auto now = now_();
  std::lock_guard lock(mutex_);
  dropExpired(now);
  lastUse_[client] = now;
  return true;
}

void AdminSessions::close(const ClientId& client) {
  std::lock_guard lock(mutex_);
  lastUse_.erase(client);
}

bool AdminSessions::touch(const ClientId& client) {
  const auto now = now_();
  std::lock_guard lock(mutex_);
  const auto it = lastUse_.find(client);
  if (it == lastUse_.end()) return false;
  if (now - it->second > idleLimit_) {
    lastUse_.erase(it);
    return false;
  }
  it->second = now;
  return true;
}

void AdminSessions::dropExpired(Clock::time_point now) {
  std::erase_if(lastUse_, [&](const auto& entry) { return now - entry.second > idleLimit_; });
}

}  // namespace tvserver
