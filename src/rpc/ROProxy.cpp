#include "ROProxy.h"

#include <algorithm>

TROProxy::TROProxy(std::shared_ptr<TROBinMessage> message,
                   std::shared_ptr<IROTransportChannel> channel)
    : message_(std::move(message)), channel_(std::move(channel)) {
  if (!message_ || !channel_) throw EROException("A proxy needs a message and a channel");
}

TROProxy::~TROProxy() = default;

TROProxyRegistry& TROProxyRegistry::Global() {
  static TROProxyRegistry registry;
  return registry;
}

void TROProxyRegistry::Register(const TROGuid& interfaceID, TROProxyFactory factory) {
  if (factory == nullptr) throw EROException("A proxy class needs a factory");
  const std::lock_guard<std::mutex> guard(lock_);
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.id == interfaceID; });
  if (it == entries_.end()) {
    entries_.push_back(Entry{interfaceID, factory, 1});
    return;
  }
  if (it->factory != factory)
    throw EROException("Another proxy class is already registered for " + interfaceID.ToString());
  ++it->registrations;
}

void TROProxyRegistry::Unregister(const TROGuid& interfaceID) noexcept {
  const std::lock_guard<std::mutex> guard(lock_);
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.id == interfaceID; });
  if (it != entries_.end() && --it->registrations == 0) entries_.erase(it);
}

bool TROProxyRegistry::IsRegistered(const TROGuid& interfaceID) const {
  const std::lock_guard<std::mutex> guard(lock_);
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const Entry& e) { return e.id == interfaceID; });
}

std::shared_ptr<TROProxy> TROProxyRegistry::Create(
    const TROGuid& interfaceID, std::shared_ptr<TROBinMessage> message,
    std::shared_ptr<IROTransportChannel> channel) const {
  TROProxyFactory factory = nullptr;
  {
    const std::lock_guard<std::mutex> guard(lock_);
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const Entry& e) { return e.id == interfaceID; });
    if (it != entries_.end()) factory = it->factory;
  }
  if (factory == nullptr)
    throw EROException("No proxy class is registered for interface " + interfaceID.ToString());
  return factory(std::move(message), std::move(channel));
}
