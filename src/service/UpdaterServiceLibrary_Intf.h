// UpdaterServiceLibrary_Intf: the contract of the update service on the client. It brings the
// records and arrays (UpdaterServiceLibrary_Types.h), the interface IUpdaterService with its 32
// operations, the proxy TUpdaterService_Proxy that turns each operation into one binary message
// over a transport channel, and the factory CoUpdaterService.
//
// Every operation is listed once, in UPDATERSERVICE_OPERATIONS; the interface, the proxy, the
// server-side invoker and the list of operation names are generated from that list, so client
// and server cannot disagree about names, kinds, directions or order.
//
// Ownership: in parameters stay the caller's; results and out parameters are new objects owned
// by the caller (none when the server sends an absent value). A failed call raises the
// EROException that the channel, the message, the serializer or the server produced.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ROBinMessage.h"
#include "ROBinaryMemoryStream.h"
#include "ROProxy.h"
#include "ROTransportChannel.h"
#include "UpdaterServiceLibrary_Types.h"

inline constexpr std::string_view kUpdaterServiceLibraryName = "UpdaterServiceLibrary";
inline constexpr std::string_view kUpdaterServiceInterfaceName = "UpdaterService";
inline constexpr TROGuid IID_IUpdaterService =
    TROGuid::Parse("{A9793762-3CDF-476E-AD9F-A5BC5E9BF218}");

// The operations in slot order: X(result type, name, (parameters), (parameter names)).
// Parameter names are the wire names, case included. const T& and plain values go in;
// std::unique_ptr<T>& comes out. Objects come back as std::unique_ptr (none when absent).
// clang-format off
#define UPDATERSERVICE_OPERATIONS(X)                                                             \
  X(bool, Echo, (), ())                                                                          \
  X(std::unique_ptr<WS_Array_Of_Applications>, Get_Applications_List,                            \
    (const std::string& Active), (Active))                                                       \
  X(bool, Insert_Applications, (const WS_Applications& Application), (Application))              \
  X(bool, Update_Applications, (const WS_Applications& Application), (Application))              \
  X(bool, Delete_Applications, (const std::string& uid_applications), (uid_applications))        \
  X(bool, Service_IsActive, (), ())                                                              \
  X(bool, Service_Activate, (), ())                                                              \
  X(bool, Service_Deactivate, (), ())                                                            \
  X(std::string, Service_GetName, (), ())                                                        \
  X(bool, Service_SetName, (const std::string& NewServiceName), (NewServiceName))                \
  X(std::unique_ptr<WS_Array_Of_Files_executables>, Get_Files_executables_List, (), ())          \
  X(std::string, Insert_Files_executables,                                                       \
    (const WS_Files_executables& File_executable), (File_executable))                            \
  X(bool, Update_Files_executables,                                                              \
    (const WS_Files_executables& File_executable), (File_executable))                            \
  X(bool, Delete_Files_executables,                                                              \
    (const std::string& uid_files_executables), (uid_files_executables))                         \
  X(std::unique_ptr<WS_Array_Of_Applications_config_files>, Get_Applications_config_files_List,  \
    (const std::string& uid_applications), (uid_applications))                                   \
  X(bool, Insert_Applications_config_files,                                                      \
    (const WS_Applications_config_files& Applications_config_files),                             \
    (Applications_config_files))                                                                 \
  X(bool, Update_Applications_config_files,                                                      \
    (const WS_Applications_config_files& Applications_config_files),                             \
    (Applications_config_files))                                                                 \
  X(bool, Delete_Applications_config_files,                                                      \
    (const std::string& uid_applications_config_files), (uid_applications_config_files))         \
  X(bool, AdminLogin, (const std::string& AdminUserName, const std::string& AdminPassword),      \
    (AdminUserName, AdminPassword))                                                              \
  X(std::unique_ptr<CD_Array_Of_Lookups>, Get_CD_Lookups_By_Name,                                \
    (const std::string& cd_name), (cd_name))                                                     \
  X(bool, Upload_Files_Executables,                                                              \
    (const WS_Files_executables& File_Executable, std::int32_t File_Part_No,                     \
     std::int32_t Chunk_Size, const TROBinaryMemoryStream& File_Part),                           \
    (File_Executable, File_Part_No, Chunk_Size, File_Part))                                      \
  X(std::unique_ptr<TROBinaryMemoryStream>, Download_Files_Executables,                          \
    (const WS_Files_executables& File_Executable, std::int32_t File_Part_No,                     \
     std::int32_t Chunk_Size),                                                                   \
    (File_Executable, File_Part_No, Chunk_Size))                                                 \
  X(std::unique_ptr<WS_Array_Of_Applications_executables>, Get_Applications_Executables,         \
    (const std::string& uid_applications), (uid_applications))                                   \
  X(bool, Update_Applications_Executables,                                                       \
    (const std::string& uid_applications,                                                        \
     const WS_Array_Of_Applications_executables& ArrayOfApplicationsExecutables),                \
    (uid_applications, ArrayOfApplicationsExecutables))                                          \
  X(bool, Get_Application,                                                                       \
    (const std::string& Uid_applications, std::unique_ptr<WS_Applications>& Applications,        \
     std::unique_ptr<WS_Array_Of_Files_executables>& Executables,                                \
     std::unique_ptr<WS_Array_Of_Applications_config_files>& Configurations,                     \
     std::unique_ptr<WS_Array_Of_Application_locales>& Locales),                                 \
    (Uid_applications, Applications, Executables, Configurations, Locales))                      \
  X(bool, Insert_Application_locales,                                                            \
    (const WS_Application_locales& Application_locales), (Application_locales))                  \
  X(bool, Update_Application_locales,                                                            \
    (const WS_Application_locales& Application_locales), (Application_locales))                  \
  X(bool, Delete_Application_locales,                                                            \
    (const std::string& uid_application_locales), (uid_application_locales))                     \
  X(bool, Insert_Locales_files, (const WS_Locale_files& Locales_files), (Locales_files))         \
  X(bool, Update_Locales_files, (const WS_Locale_files& Locale_files), (Locale_files))           \
  X(bool, Delete_Locales_files, (const std::string& uid_locales_files), (uid_locales_files))     \
  X(std::unique_ptr<WS_Array_Of_Application_locales>, Get_Application_Locales,                  \
    (const std::string& uid_applications), (uid_applications))
// clang-format on

// The update service as its clients see it, and as a server implements it.
class IUpdaterService {
 public:
  virtual ~IUpdaterService() = default;

#define UPDATERSERVICE_DECLARE_PURE(Result, Name, Params, Names) virtual Result Name Params = 0;
  UPDATERSERVICE_OPERATIONS(UPDATERSERVICE_DECLARE_PURE)
#undef UPDATERSERVICE_DECLARE_PURE
};

// The operation names in slot order.
inline constexpr std::array<std::string_view, 32> kUpdaterServiceOperationNames = {
#define UPDATERSERVICE_NAME(Result, Name, Params, Names) #Name,
    UPDATERSERVICE_OPERATIONS(UPDATERSERVICE_NAME)
#undef UPDATERSERVICE_NAME
};

// The client side of IUpdaterService: every operation is one request on the message, carried
// by the channel. Creating a proxy sends nothing; releasing it leaves the message and the
// channel to their owner. One call at a time per message and channel.
class TUpdaterService_Proxy final : public TROProxy, public IUpdaterService {
 public:
  TUpdaterService_Proxy(std::shared_ptr<TROBinMessage> message,
                        std::shared_ptr<IROTransportChannel> channel);

  std::string_view GetInterfaceName() const override { return kUpdaterServiceInterfaceName; }

#define UPDATERSERVICE_DECLARE_OVERRIDE(Result, Name, Params, Names) Result Name Params override;
  UPDATERSERVICE_OPERATIONS(UPDATERSERVICE_DECLARE_OVERRIDE)
#undef UPDATERSERVICE_DECLARE_OVERRIDE
};

// Hands out IUpdaterService for a message and a channel.
class CoUpdaterService {
 public:
  CoUpdaterService() = delete;

  // The proxy shares the message and channel with the caller.
  static std::shared_ptr<IUpdaterService> Create(std::shared_ptr<TROBinMessage> message,
                                                 std::shared_ptr<IROTransportChannel> channel);
  // The proxy only refers to them: they must outlive it (components of a window).
  static std::shared_ptr<IUpdaterService> Create(TROBinMessage& message,
                                                 IROTransportChannel& channel);
};

// Registers the fourteen record and array classes, then TUpdaterService_Proxy as the proxy of
// IID_IUpdaterService; unregistering removes them in the same order. Registrations nest.
void RegisterUpdaterServiceLibrary();
void UnregisterUpdaterServiceLibrary() noexcept;

// Keeps the library registered for its lifetime: one at program start, or one per test.
class TUpdaterServiceLibraryRegistration {
 public:
  TUpdaterServiceLibraryRegistration() { RegisterUpdaterServiceLibrary(); }
  ~TUpdaterServiceLibraryRegistration() { UnregisterUpdaterServiceLibrary(); }
  TUpdaterServiceLibraryRegistration(const TUpdaterServiceLibraryRegistration&) = delete;
  TUpdaterServiceLibraryRegistration& operator=(const TUpdaterServiceLibraryRegistration&) = delete;
};
