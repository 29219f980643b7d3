#include "UpdaterService_Invoker.h"

#include <algorithm>
#include <array>
#include <exception>
#include <tuple>
#include <utility>

namespace {

thread_local const TROCallContext* tCurrentCall = nullptr;

// Makes context the current call of this thread for one scope; nests.
class CallScope {
 public:
  explicit CallScope(const TROCallContext* context) : previous_(tCurrentCall) {
    if (context != nullptr) tCurrentCall = context;
  }
  ~CallScope() { tCurrentCall = previous_; }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  const TROCallContext* previous_;
};

template <class Params>
struct StorageOf;
template <class... P>
struct StorageOf<std::tuple<P...>> {
  using Type = std::tuple<typename ro_marshal::Param<P>::Storage...>;
};

// The argument that method parameter P receives from what the reader stored.
template <class P, class S>
decltype(auto) ArgumentOf(S& stored) {
  using Traits = ro_marshal::Param<P>;
  if constexpr (Traits::kOut || !Traits::kObject) {
    return (stored);
  } else {
    return static_cast<const typename Traits::Value&>(*stored);
  }
}

using ResponseStarter = TUpdaterService_Invoker::ResponseStarter;

template <auto M, std::size_t N>
void Run(IUpdaterService& impl, std::string_view operationName,
         const std::array<std::string_view, N>& names, TROSerializer& in,
         const ResponseStarter& beginResponse) {
  using Traits = ro_marshal::Method<decltype(M)>;
  using Params = typename Traits::Params;
  typename StorageOf<Params>::Type stored;

  ro_marshal::ForEachParam<Params>([&]<std::size_t I, class P>() {
    using Param = ro_marshal::Param<P>;
    if constexpr (!Param::kOut) {
      std::get<I>(stored) = ro_marshal::Read<typename Param::Value>(in, names[I]);
      if constexpr (Param::kObject) {
        // The method takes the value by reference; an absent one cannot be handed over, and
        // guessing an empty one could make an update wipe data.
        if (!std::get<I>(stored))
          throw EROException("The request for " + std::string(operationName) +
                             " carries no value for its parameter " + std::string(names[I]));
      }
    }
  });

  auto result = [&]<std::size_t... I>(std::index_sequence<I...>) {
    return (impl.*M)(ArgumentOf<std::tuple_element_t<I, Params>>(std::get<I>(stored))...);
  }
  (std::make_index_sequence<Traits::kArity>{});

  TROSerializer& out = beginResponse();
  ro_marshal::Write(out, "Result", result);
  ro_marshal::ForEachParam<Params>([&]<std::size_t I, class P>() {
    if constexpr (ro_marshal::Param<P>::kOut) ro_marshal::Write(out, names[I], std::get<I>(stored));
  });
}

struct Operation {
  std::string_view name;
  void (*run)(IUpdaterService&, TROSerializer&, const ResponseStarter&);
};

#define UPDATERSERVICE_OPERATION_ENTRY(Result, Name, Params, Names)                               \
  Operation{                                                                                      \
      #Name, [](IUpdaterService& impl, TROSerializer& in, const ResponseStarter& begin) {         \
        static constexpr auto kNames =                                                            \
            ro_marshal::SplitNames<ro_marshal::Method<decltype(&IUpdaterService::Name)>::kArity>( \
                #Names);                                                                          \
        Run<&IUpdaterService::Name>(impl, #Name, kNames, in, begin);                              \
      }},
constexpr std::array<Operation, kUpdaterServiceOperationNames.size()> kOperations = {
    UPDATERSERVICE_OPERATIONS(UPDATERSERVICE_OPERATION_ENTRY)};
#undef UPDATERSERVICE_OPERATION_ENTRY

const Operation* FindOperation(std::string_view name) noexcept {
  const auto it = std::find_if(kOperations.begin(), kOperations.end(),
                               [&](const Operation& op) { return op.name == name; });
  return it == kOperations.end() ? nullptr : &*it;
}

}  // namespace

const TROCallContext* TROCallContext::Current() noexcept {
  return tCurrentCall;
}

bool TUpdaterService_Invoker::HasOperation(std::string_view operationName) noexcept {
  return FindOperation(operationName) != nullptr;
}

void TUpdaterService_Invoker::Invoke(IUpdaterService& impl, std::string_view operationName,
                                     TROSerializer& in, const ResponseStarter& beginResponse,
                                     const TROCallContext* context) {
  const Operation* operation = FindOperation(operationName);
  if (operation == nullptr)
    throw EROException("The interface " + std::string(kUpdaterServiceInterfaceName) +
                       " has no operation \"" + std::string(operationName) + "\"");
  const CallScope scope(context);
  operation->run(impl, in, beginResponse);
}

void TUpdaterService_Invoker::Invoke(IUpdaterService& impl, TROBinMessage& message) {
  if (!ROSameText(message.InterfaceName(), kUpdaterServiceInterfaceName))
    throw EROException("This server does not offer the interface \"" + message.InterfaceName() +
                       "\"");
  const TROCallContext context{message.ClientID(), message.InterfaceName(),
                               message.OperationName()};
  Invoke(
      impl, message.OperationName(), message.Reader(),
      [&]() -> TROSerializer& { return message.InitializeResponse(); }, &context);
}

std::span<const std::uint8_t> TUpdaterService_Invoker::ProcessMessage(
    IUpdaterService& impl, std::vector<std::uint8_t> request, TROBinMessage& message) {
  try {
    message.ReadRequest(std::move(request));
    Invoke(impl, message);
  } catch (const EROServerException& e) {
    message.WriteException(e.ServerClassName(), e.what());
  } catch (const EROException& e) {
    message.WriteException("EROException", e.what());
  } catch (const std::exception& e) {
    message.WriteException("EROException", e.what());
  }
  return message.Finalize();
}
