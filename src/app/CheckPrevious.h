// The single-instance guard: admits at most maxInstances running instances per executable file
// and brings the running one forward when a start is refused.
//
// The instances of one executable share an 8-byte InstanceMarker named after the executable's full
// path with every delimiter removed ('/' here, '\\' on Windows, where the marker is a named file
// mapping on the paging file), so copies in different folders do not limit each other. A marker
// that no live process holds is new (all zeros) at the next start, even after a crash.
//
// Failures: a marker that cannot be created throws tv::platform::PlatformError with the system's
// reason (the program shows it and ends with exit code 1). A marker that exists but cannot be
// opened or mapped counts as a refused start, without bringing anything forward.
//
// Exit step: CheckPreviousExit() lowers the count of an admitted process once. It runs by itself
// when the process exits normally (a static object's destructor), after main returns or on exit();
// calling it earlier, for example from main's exit sequence, is allowed and makes the later run a
// no-op. A process that dies without it (a crash, SIGKILL) leaves its count only as long as another
// process holds the marker.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "WinTypes.h"

// The shared record, little-endian on every platform.
struct InstanceMarker {
  std::int32_t OwnerWindow = 0;    // window of the instance admitted last
  std::int32_t InstanceCount = 0;  // admitted instances still running
};

std::array<std::byte, 8> EncodeInstanceMarker(const InstanceMarker& marker);
InstanceMarker DecodeInstanceMarker(const std::array<std::byte, 8>& bytes);

// The marker name of an executable: its full path (UTF-8) with every delimiter removed.
std::string InstanceMarkerName(const std::string& executablePath);

// True: enough instances run already, this process must end at once (the running instance has
// been asked to restore and raise OwnerWindow; on Windows OwnerWindow has been restored when
// minimised and made the foreground window). False: this process is admitted and goes on; it
// then listens for the activation requests of later starts. Uses the running executable's path.
bool CheckPreviousInstance(HWND window, std::int32_t maxInstances);

// The same for a marker name of the caller's choice (tools and tests).
bool CheckPreviousInstanceNamed(const std::string& markerName, HWND window,
                                std::int32_t maxInstances);

// The guard's exit step; runs at most once per check.
void CheckPreviousExit();

// Installs what an admitted instance does when a refused start asks it to come forward: restore
// and raise the window with the handle it is given. The handler runs on the listener's own thread,
// so it must only post the work to the user-interface thread (a queued call) and never block on
// it. A request that arrived before any handler was installed is handed to the first handler at
// once, on the thread that installs it. Installing an empty handler (nullptr) waits for a handler
// that is running to return; do that before the window goes away.
void SetActivationHandler(std::function<void(HWND)> handler);

// The record as this process sees it now; std::nullopt when no marker is mapped.
std::optional<InstanceMarker> CurrentInstanceMarker();

// True once this process has counted itself into the marker (until the exit step).
bool IsAdmittedInstance();
