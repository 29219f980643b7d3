#include "ROClassRegistry.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "ROExceptions.h"

namespace {
constexpr unsigned char Fold(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}
}  // namespace

bool ROSameText(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

TROClassRegistry& TROClassRegistry::Global() {
  static TROClassRegistry registry;
  return registry;
}

void TROClassRegistry::Register(const TROClassInfo& cls) {
  std::unique_lock lock(FLock);
  for (Entry& entry : FEntries) {
    if (entry.cls == &cls) {
      ++entry.registrations;
      return;
    }
    if (ROSameText(entry.cls->name, cls.name)) {
      throw EROClassError("Another class is already registered as \"" + std::string(cls.name) +
                          "\".");
    }
  }
  FEntries.push_back({&cls, 1});
}

void TROClassRegistry::Unregister(const TROClassInfo& cls) noexcept {
  std::unique_lock lock(FLock);
  const auto it = std::find_if(FEntries.begin(), FEntries.end(),
                               [&](const Entry& entry) { return entry.cls == &cls; });
  if (it == FEntries.end()) return;
  if (--it->registrations == 0) FEntries.erase(it);
}

const TROClassInfo* TROClassRegistry::Find(std::string_view name) const {
  std::shared_lock lock(FLock);
  for (const Entry& entry : FEntries) {
    if (ROSameText(entry.cls->name, name)) return entry.cls;
  }
  return nullptr;
}

bool TROClassRegistry::IsRegistered(const TROClassInfo& cls) const {
  std::shared_lock lock(FLock);
  return std::any_of(FEntries.begin(), FEntries.end(),
                     [&](const Entry& entry) { return entry.cls == &cls; });
}

std::vector<std::string_view> TROClassRegistry::RegisteredNames() const {
  std::shared_lock lock(FLock);
  std::vector<std::string_view> names;
  names.reserve(FEntries.size());
  for (const Entry& entry : FEntries) names.push_back(entry.cls->name);
  return names;
}
