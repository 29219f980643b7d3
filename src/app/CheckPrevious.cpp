#include "CheckPrevious.h"

#include <memory>
#include <mutex>

#include "Activation.h"
#include "ExePath.h"
#include "PathText.h"
#include "SharedMarker.h"

using tv::platform::ActivationListener;
using tv::platform::SharedMarker;

namespace {

// The count moves by one in two's complement, as the 32-bit original does: a damaged record wraps
// instead of overflowing.
std::int32_t Step(std::int32_t count, int by) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(count) +
                                   static_cast<std::uint32_t>(by));
}

// Where activation requests go: kept apart from the guard's state so that stopping the listener
// (which waits for a running handler) never waits on a lock the handler needs.
class ActivationTarget {
 public:
  void Set(std::function<void(HWND)> handler) {
    std::unique_lock lock(mutex_);
    handler_ = std::move(handler);
    if (handler_ && pending_) {
      const HWND window = *pending_;
      pending_.reset();
      handler_(window);
    }
  }
  void Deliver(HWND window) {
    std::unique_lock lock(mutex_);
    if (handler_) {
      handler_(window);
    } else {
      pending_ = window;  // the window may not exist yet; the first handler gets it
    }
  }
  void ClearPending() {
    std::unique_lock lock(mutex_);
    pending_.reset();
  }

 private:
  std::mutex mutex_;
  std::function<void(HWND)> handler_;
  std::optional<HWND> pending_;
};

// What the guard keeps per process: the marker name, the mapped marker, the admitted flag, and
// the listener of an admitted instance. Its destructor is the exit step at process exit.
class Guard {
 public:
  ~Guard() { Exit(); }

  bool Check(const std::string& name, HWND window, std::int32_t maxInstances) {
    Exit();
    std::unique_lock lock(mutex_);
    name_ = name;
    try {
      marker_.emplace(SharedMarker::Open(name));
    } catch (const tv::platform::MarkerOpenError&) {
      return true;  // it exists but is not ours to open: refused, nothing brought forward
    } catch (const tv::platform::MarkerMapError&) {
      return true;  // no view, no record to read or count in: refused the same way
    } catch (...) {
      name_.clear();
      throw;  // MarkerCreateError: the caller reports it and ends
    }

    InstanceMarker record = DecodeInstanceMarker(marker_->Read());
    if (marker_->Created()) {
      record = {};  // a new marker starts at zero whatever it held
    } else if (maxInstances <= record.InstanceCount) {
      // Ask the instance admitted last to come forward; a stuck one does not hold us up.
      const HWND owner = static_cast<HWND>(static_cast<std::uint32_t>(record.OwnerWindow));
      lock.unlock();
      tv::platform::RequestRaise(name, owner);
      return true;
    }
    record.OwnerWindow = static_cast<std::int32_t>(static_cast<std::uint32_t>(window));
    record.InstanceCount = Step(record.InstanceCount, +1);
    marker_->Write(EncodeInstanceMarker(record));
    marker_->Publish();
    admitted_ = true;
    try {
      listener_ =
          std::make_unique<ActivationListener>(name, [this](HWND w) { target_.Deliver(w); });
    } catch (const tv::platform::PlatformError&) {
      // Another admitted instance already listens under this name (maxInstances > 1): requests
      // reach that one. This instance runs on without being raised by later starts.
    }
    return false;
  }

  void Exit() {
    std::unique_ptr<ActivationListener> listener;
    {
      std::lock_guard lock(mutex_);
      listener = std::move(listener_);
    }
    listener.reset();  // joins its thread; it may be inside the handler right now
    std::lock_guard lock(mutex_);
    if (admitted_ && marker_) {
      InstanceMarker record = DecodeInstanceMarker(marker_->Read());
      record.InstanceCount = Step(record.InstanceCount, -1);
      marker_->Write(EncodeInstanceMarker(record));
    }
    admitted_ = false;
    marker_.reset();
    name_.clear();
    target_.ClearPending();
  }

  std::optional<InstanceMarker> Current() {
    std::lock_guard lock(mutex_);
    if (!marker_) return std::nullopt;
    return DecodeInstanceMarker(marker_->Read());
  }

  bool Admitted() {
    std::lock_guard lock(mutex_);
    return admitted_;
  }

  ActivationTarget& Target() { return target_; }

 private:
  std::mutex mutex_;
  std::string name_;
  std::optional<SharedMarker> marker_;
  bool admitted_ = false;
  std::unique_ptr<ActivationListener> listener_;
  ActivationTarget
      target_;  // declared last: destroyed first only after Exit() stopped the listener
};

Guard& TheGuard() {
  static Guard guard;
  return guard;
}

}  // namespace

std::array<std::byte, 8> EncodeInstanceMarker(const InstanceMarker& marker) {
  std::array<std::byte, 8> bytes{};
  const auto owner = static_cast<std::uint32_t>(marker.OwnerWindow);
  const auto count = static_cast<std::uint32_t>(marker.InstanceCount);
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<std::byte>(owner >> (8 * i));
    bytes[4 + i] = static_cast<std::byte>(count >> (8 * i));
  }
  return bytes;
}

InstanceMarker DecodeInstanceMarker(const std::array<std::byte, 8>& bytes) {
  std::uint32_t owner = 0, count = 0;
  for (int i = 0; i < 4; ++i) {
    owner |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    count |= static_cast<std::uint32_t>(bytes[4 + i]) << (8 * i);
  }
  return {static_cast<std::int32_t>(owner), static_cast<std::int32_t>(count)};
}

std::string InstanceMarkerName(const std::string& executablePath) {
  std::string name;
  name.reserve(executablePath.size());
  for (char c : executablePath) {
    if (c != tv::platform::kPathDelimiter) name += c;
  }
  return name;
}

bool CheckPreviousInstance(HWND window, std::int32_t maxInstances) {
  return CheckPreviousInstanceNamed(
      InstanceMarkerName(tv::platform::PathToUtf8(tv::platform::ExecutablePath())), window,
      maxInstances);
}

bool CheckPreviousInstanceNamed(const std::string& markerName, HWND window,
                                std::int32_t maxInstances) {
  return TheGuard().Check(markerName, window, maxInstances);
}

void CheckPreviousExit() {
  TheGuard().Exit();
}

void SetActivationHandler(std::function<void(HWND)> handler) {
  TheGuard().Target().Set(std::move(handler));
}

std::optional<InstanceMarker> CurrentInstanceMarker() {
  return TheGuard().Current();
}

bool IsAdmittedInstance() {
  return TheGuard().Admitted();
}
