#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

#include "Activation.h"
#include "PlatformError.h"

using namespace tv::platform;
using namespace std::chrono_literals;

namespace {

std::string UniqueName(const char* base) {
  static int counter = 0;
  return std::string(base) + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

TEST(Activation, TheListenerGetsTheRequestedWindow) {
  const std::string name = UniqueName("tv-activate");
  std::promise<HWND> got;
  ActivationListener listener(name, [&](HWND window) { got.set_value(window); });
  const HWND window = static_cast<HWND>(0x1234567890ULL);
  EXPECT_TRUE(RequestRaise(name, window));
  auto future = got.get_future();
  ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(future.get(), window);
}

TEST(Activation, NobodyListening) {
  EXPECT_FALSE(RequestRaise(UniqueName("tv-activate-none"), 5));
  // Another marker's listener does not answer for this one.
  ActivationListener other(UniqueName("tv-activate-other"), [](HWND) {});
  EXPECT_FALSE(RequestRaise(UniqueName("tv-activate-none"), 5));
}

TEST(Activation, OneListenerPerName) {
  const std::string name = UniqueName("tv-activate-twice");
  ActivationListener first(name, [](HWND) {});
  EXPECT_THROW(ActivationListener(name, [](HWND) {}), PlatformError);
}

TEST(Activation, AStuckInstanceDoesNotHangTheRequester) {
  const std::string name = UniqueName("tv-activate-stuck");
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  int calls = 0;
  ActivationListener listener(name, [&](HWND) {
    std::unique_lock lock(mutex);
    ++calls;
    released.wait(lock, [&] { return release; });
  });
  // The first request blocks the listener inside its handler, the others wait in its queue:
  // every requester gives up after its time-out and reports that nobody confirmed.
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(RequestRaise(name, 1, 200ms)) << i;
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  released.notify_all();
  EXPECT_TRUE(RequestRaise(name, 2, 5s)) << "the listener recovers";
  std::lock_guard lock(mutex);
  EXPECT_GE(calls, 2);
}

TEST(Activation, AThrowingHandlerDoesNotEndTheListener) {
  const std::string name = UniqueName("tv-activate-throw");
  std::atomic<int> calls = 0;
  ActivationListener listener(name, [&](HWND) {
    ++calls;
    throw std::runtime_error("handler failed");
  });
  EXPECT_TRUE(RequestRaise(name, 1));
  EXPECT_TRUE(RequestRaise(name, 2));
  EXPECT_EQ(calls, 2);
}
