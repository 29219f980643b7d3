#include "UpdaterServiceLibrary_Intf.h"

#include <tuple>

TUpdaterService_Proxy::TUpdaterService_Proxy(std::shared_ptr<TROBinMessage> message,
                                             std::shared_ptr<IROTransportChannel> channel)
    : TROProxy(std::move(message), std::move(channel)) {}

// Each operation: its names come from the list, its kinds and directions from its signature.
#define UPDATERSERVICE_DEFINE_PROXY(Result, Name, Params, Names)                              \
  Result TUpdaterService_Proxy::Name Params {                                                 \
    static constexpr auto kNames =                                                            \
        ro_marshal::SplitNames<ro_marshal::Method<decltype(&IUpdaterService::Name)>::kArity>( \
            #Names);                                                                          \
    return Invoke<&IUpdaterService::Name>(kUpdaterServiceLibraryName, #Name, kNames,          \
                                          std::forward_as_tuple Names);                       \
  }
UPDATERSERVICE_OPERATIONS(UPDATERSERVICE_DEFINE_PROXY)
#undef UPDATERSERVICE_DEFINE_PROXY

std::shared_ptr<IUpdaterService> CoUpdaterService::Create(
    std::shared_ptr<TROBinMessage> message, std::shared_ptr<IROTransportChannel> channel) {
  return std::make_shared<TUpdaterService_Proxy>(std::move(message), std::move(channel));
}

std::shared_ptr<IUpdaterService> CoUpdaterService::Create(TROBinMessage& message,
                                                          IROTransportChannel& channel) {
  return Create(RONonOwning(message), RONonOwning(channel));
}

namespace {
std::shared_ptr<TROProxy> CreateUpdaterServiceProxy(std::shared_ptr<TROBinMessage> message,
                                                    std::shared_ptr<IROTransportChannel> channel) {
  return std::make_shared<TUpdaterService_Proxy>(std::move(message), std::move(channel));
}
}  // namespace

void RegisterUpdaterServiceLibrary() {
  RegisterUpdaterServiceTypes();
  try {
    TROProxyRegistry::Global().Register(IID_IUpdaterService, &CreateUpdaterServiceProxy);
  } catch (...) {
    UnregisterUpdaterServiceTypes();
    throw;
  }
}

void UnregisterUpdaterServiceLibrary() noexcept {
  UnregisterUpdaterServiceTypes();
  TROProxyRegistry::Global().Unregister(IID_IUpdaterService);
}
