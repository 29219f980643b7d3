// TROClassRegistry: maps class names to classes so that a reader can create the record named in
// a stream. Lookups ignore the case of a-z/A-Z. The service unit registers its classes at program
// start and removes them at program end; registering the same class again only counts, so nested
// registrations (several tests, several RAII guards) are safe. A different class under a name
// already taken throws EROClassError. Safe to use from several threads.
#pragma once

#include <cstddef>
#include <memory>
#include <shared_mutex>
#include <string_view>
#include <vector>

#include "ROTypes.h"

class TROClassRegistry {
 public:
  TROClassRegistry() = default;
  TROClassRegistry(const TROClassRegistry&) = delete;
  TROClassRegistry& operator=(const TROClassRegistry&) = delete;

  // The registry of the process, used by readers unless they are given another one.
  static TROClassRegistry& Global();

  // Appends the class (or counts one more registration of it).
  void Register(const TROClassInfo& cls);
  // Undoes one registration; the class leaves the registry with its last one. A class that is
  // not registered is ignored.
  void Unregister(const TROClassInfo& cls) noexcept;

  // The registered class of that name, compared without regard to case; none when unknown.
  const TROClassInfo* Find(std::string_view name) const;
  bool IsRegistered(const TROClassInfo& cls) const;
  // Names in registration order.
  std::vector<std::string_view> RegisteredNames() const;

 private:
  struct Entry {
    const TROClassInfo* cls;
    size_t registrations;
  };
  mutable std::shared_mutex FLock;
  std::vector<Entry> FEntries;
};

// Compares two names with a-z folded to A-Z.
bool ROSameText(std::string_view a, std::string_view b) noexcept;
