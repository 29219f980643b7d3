// The update service itself: all 32 operations of IUpdaterService over the update store.
//
// Reading operations and the five that launchers and installers call need no login; every
// operation that changes data, and activating, deactivating and renaming the service, needs an
// administrator session of the calling client (AdminLogin), otherwise it fails with
// EUpdaterServerError saying so. Refusals of the store become EUpdaterServerError with the
// store's message; a failure of the database itself is reported without its internals (the
// details go to the server's log).
#pragma once

#include <iosfwd>
#include <mutex>

#include "AdminSessions.h"
#include "ServerStore.h"
#include "StoreRules.h"
#include "UpdaterServiceLibrary_Intf.h"

namespace tvserver {

// The class name under which the server reports its own refusals.
inline constexpr const char* kServerErrorClass = "EUpdaterServerError";

class UpdaterServiceImpl final : public IUpdaterService {
 public:
  // log receives database failures; it must outlive the service (std::cerr by default).
  UpdaterServiceImpl(ServerStore& store, AdminSessions& sessions, std::ostream* log = nullptr);

#define TV_SERVER_DECLARE_OPERATION(Result, Name, Params, Names) Result Name Params override;
  UPDATERSERVICE_OPERATIONS(TV_SERVER_DECLARE_OPERATION)
#undef TV_SERVER_DECLARE_OPERATION

  // Runs body, turning store refusals and database failures into service exceptions.
  template <class F>
  auto guarded(F&& body) -> decltype(body());

 private:
  void requireAdmin();
  [[noreturn]] void databaseFailed(const std::exception& e);

  ServerStore& store_;
  AdminSessions& sessions_;
  std::ostream* log_;
  std::mutex logMutex_;
};

template <class F>
auto UpdaterServiceImpl::guarded(F&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const StoreError& e) {
    throw EROServerException(kServerErrorClass, e.what());
  } catch (const SqliteError& e) {
    databaseFailed(e);
  }
}

}  // namespace tvserver
