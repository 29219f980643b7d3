#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <atomic>
#include <future>

#include "Activation.h"
#include "CheckPrevious.h"
#include "ChildProcess.h"
#include "PlatformError.h"
#include "SharedMarker.h"
#include "TestSupport.h"
#include "UniqueFd.h"

using tv::platform::SharedMarker;
using tvtest::ChildProcess;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Copies of the probe program in folders of their own, so that each test has its own markers.
class InstanceGuardTest : public ::testing::Test {
 protected:
  ~InstanceGuardTest() override {
    for (const auto& copy : copies_) SharedMarker::Remove(InstanceMarkerName(copy.string()));
  }

  fs::path Copy(const std::string& folder) {
    fs::create_directories(dir / folder);
    const fs::path copy = dir / folder / "instance_probe";
    fs::copy_file(TV_PROBE_PATH, copy, fs::copy_options::overwrite_existing);
    copies_.push_back(copy);
    return copy;
  }

  static std::unique_ptr<ChildProcess> Start(const fs::path& probe, HWND window,
                                             int maxInstances = 1) {
    return std::make_unique<ChildProcess>(std::vector<std::string>{
        probe.string(), std::to_string(window), std::to_string(maxInstances)});
  }

  static std::string Count(ChildProcess& probe) {
    probe.WriteLine("count");
    return probe.ReadLine().value_or("(no answer)");
  }

  tvtest::TempDir dir;

 private:
  std::vector<fs::path> copies_;
};

}  // namespace

TEST_F(InstanceGuardTest, ASecondStartIsRefusedAndBringsTheFirstForward) {
  const auto probe = Copy("Tolvara Updater");
  auto first = Start(probe, 4242);
  ASSERT_EQ(first->ReadLine(), "ADMITTED");
  EXPECT_EQ(Count(*first), "COUNT 1 OWNER 4242");

  auto second = Start(probe, 7);
  EXPECT_EQ(second->ReadLine(), "REFUSED");
  EXPECT_EQ(second->Wait(), 0) << "a refused start ends at once with exit code 0";
  EXPECT_EQ(first->ReadLine(), "RAISE 4242") << "the first instance is asked to come forward";
  EXPECT_EQ(Count(*first), "COUNT 1 OWNER 4242") << "the refused start changed nothing";
}

TEST_F(InstanceGuardTest, ACopyInAnotherFolderIsAdmitted) {
  auto first = Start(Copy("A"), 1);
  auto other = Start(Copy("B"), 2);
  EXPECT_EQ(first->ReadLine(), "ADMITTED");
  EXPECT_EQ(other->ReadLine(), "ADMITTED");
  EXPECT_EQ(Count(*other), "COUNT 1 OWNER 2");
}

TEST_F(InstanceGuardTest, AfterTheOnlyHolderIsKilledTheNextStartIsAdmitted) {
  const auto probe = Copy("A");
  auto first = Start(probe, 1);
  ASSERT_EQ(first->ReadLine(), "ADMITTED");
  first->Kill();  // no exit step: the marker still says 1
  auto next = Start(probe, 2);
  EXPECT_EQ(next->ReadLine(), "ADMITTED");
  EXPECT_EQ(Count(*next), "COUNT 1 OWNER 2");
}

TEST_F(InstanceGuardTest, AfterANormalExitTheNextStartIsAdmitted) {
  const auto probe = Copy("A");
  for (bool markerSurvives : {false, true}) {
    // Another holder keeps the marker object alive across the gap, so that only the exit step's
    // count decides.
    std::optional<SharedMarker> holder;
    auto first = Start(probe, 1);
    ASSERT_EQ(first->ReadLine(), "ADMITTED");
    if (markerSurvives) holder.emplace(SharedMarker::Open(InstanceMarkerName(probe.string())));
    first->WriteLine("exit");
    EXPECT_EQ(first->Wait(), 0);
    if (holder) {
      EXPECT_EQ(DecodeInstanceMarker(holder->Read()).InstanceCount, 0) << "lowered at exit";
    }
    auto next = Start(probe, 2);
    EXPECT_EQ(next->ReadLine(), "ADMITTED") << "marker survives: " << markerSurvives;
    EXPECT_EQ(Count(*next), "COUNT 1 OWNER 2");
  }
}

TEST_F(InstanceGuardTest, AKilledInstanceCountsWhileAnotherProcessHoldsTheMarker) {
  const auto probe = Copy("A");
  auto first = Start(probe, 1);
  ASSERT_EQ(first->ReadLine(), "ADMITTED");
  auto holder = SharedMarker::Open(InstanceMarkerName(probe.string()));
  first->Kill();
  auto next = Start(probe, 2);
  EXPECT_EQ(next->ReadLine(), "REFUSED");
  EXPECT_EQ(next->Wait(), 0) << "nobody listens any more, and the start still ends at once";
}

TEST_F(InstanceGuardTest, MoreInstancesWhenAllowed) {
  const auto probe = Copy("A");
  auto first = Start(probe, 11, 2);
  ASSERT_EQ(first->ReadLine(), "ADMITTED");
  auto second = Start(probe, 22, 2);
  ASSERT_EQ(second->ReadLine(), "ADMITTED");
  EXPECT_EQ(Count(*first), "COUNT 2 OWNER 22");
  auto third = Start(probe, 33, 2);
  EXPECT_EQ(third->ReadLine(), "REFUSED");
  EXPECT_EQ(first->ReadLine(), "RAISE 22") << "the window of the instance admitted last";
  second->WriteLine("exit");
  EXPECT_EQ(second->Wait(), 0);
  EXPECT_EQ(Count(*first), "COUNT 1 OWNER 22") << "the exit step leaves OwnerWindow alone";
}

TEST(InstanceMarkerRecord, LittleEndianAndNameRule) {
  const struct {
    InstanceMarker record;
    std::array<int, 8> bytes;
  } cases[] = {
      {{0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
      {{0x01020304, 1}, {4, 3, 2, 1, 1, 0, 0, 0}},
      {{-1, -2}, {255, 255, 255, 255, 254, 255, 255, 255}},
  };
  for (const auto& c : cases) {
    std::array<std::byte, 8> bytes{};
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::byte>(c.bytes[i]);
    EXPECT_EQ(EncodeInstanceMarker(c.record), bytes);
    const auto back = DecodeInstanceMarker(bytes);
    EXPECT_EQ(back.OwnerWindow, c.record.OwnerWindow);
    EXPECT_EQ(back.InstanceCount, c.record.InstanceCount);
  }
  EXPECT_EQ(InstanceMarkerName("/opt/Tolvara Updater/TvUpdater"), "optTolvara UpdaterTvUpdater");
  EXPECT_EQ(InstanceMarkerName("//a//b/"), "ab");
}

namespace {

// The value a handler delivered, or 0 when none came in time (no test may wait forever).
HWND Delivered(std::promise<HWND>& promise) {
  auto future = promise.get_future();
  return future.wait_for(5s) == std::future_status::ready ? future.get() : 0;
}

std::string UniqueName(const char* base) {
  static int counter = 0;
  return std::string(base) + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

TEST(CheckPreviousInProcess, AdmittedInstanceListensAndCountsDownOnce) {
  const std::string name = UniqueName("tv-guard-admit");
  ASSERT_FALSE(CheckPreviousInstanceNamed(name, 99, 1));
  EXPECT_TRUE(IsAdmittedInstance());
  ASSERT_TRUE(CurrentInstanceMarker());
  EXPECT_EQ(CurrentInstanceMarker()->OwnerWindow, 99);
  EXPECT_EQ(CurrentInstanceMarker()->InstanceCount, 1);

  // A request that comes before the window exists is kept for the first handler.
  EXPECT_TRUE(tv::platform::RequestRaise(name, 99));
  std::promise<HWND> early;
  SetActivationHandler([&](HWND w) { early.set_value(w); });
  EXPECT_EQ(Delivered(early), 99u);
  std::promise<HWND> later;
  SetActivationHandler([&](HWND w) { later.set_value(w); });
  EXPECT_TRUE(tv::platform::RequestRaise(name, 5));
  EXPECT_EQ(Delivered(later), 5u);
  SetActivationHandler(nullptr);

  auto watcher = SharedMarker::Open(name);
  CheckPreviousExit();
  CheckPreviousExit();
  EXPECT_EQ(DecodeInstanceMarker(watcher.Read()).InstanceCount, 0) << "lowered exactly once";
  EXPECT_FALSE(IsAdmittedInstance());
  EXPECT_FALSE(CurrentInstanceMarker());
  EXPECT_FALSE(tv::platform::RequestRaise(name, 1)) << "no longer listening";
  SharedMarker::Remove(name);
}

TEST(CheckPreviousInProcess, RefusedInstanceRaisesTheOwnerAndNeverCounts) {
  const std::string name = UniqueName("tv-guard-refuse");
  auto running = SharedMarker::Open(name);
  running.Write(EncodeInstanceMarker({77, 1}));
  running.Publish();
  std::promise<HWND> raised;
  tv::platform::ActivationListener listener(name, [&](HWND w) { raised.set_value(w); });

  EXPECT_TRUE(CheckPreviousInstanceNamed(name, 5, 1));
  EXPECT_EQ(Delivered(raised), 77u);
  EXPECT_FALSE(IsAdmittedInstance());
  CheckPreviousExit();
  const auto record = DecodeInstanceMarker(running.Read());
  EXPECT_EQ(record.OwnerWindow, 77);
  EXPECT_EQ(record.InstanceCount, 1);
  SharedMarker::Remove(name);
}

TEST(CheckPreviousInProcess, AMarkerThatCannotBeMappedIsARefusal) {
  const std::string name = UniqueName("tv-guard-short");
  tv::platform::UniqueFd fd(
      ::shm_open(SharedMarker::ObjectName(name).c_str(), O_RDWR | O_CREAT, 0600));
  ASSERT_TRUE(fd);
  ASSERT_EQ(::ftruncate(fd.get(), 3), 0);
  struct flock lock {};
  lock.l_type = F_RDLCK;
  ASSERT_EQ(::fcntl(fd.get(), F_OFD_SETLK, &lock), 0);
  EXPECT_TRUE(CheckPreviousInstanceNamed(name, 5, 1));
  EXPECT_FALSE(IsAdmittedInstance());
  CheckPreviousExit();
  SharedMarker::Remove(name);
}

TEST(CheckPreviousInProcess, AMarkerThatCannotBeCreatedThrowsTheSystemsReason) {
  const std::string name = UniqueName("tv-guard-nofd");
  const std::string result = tvtest::RunInChild([&] {
    rlimit old{};
    ::getrlimit(RLIMIT_NOFILE, &old);
    const rlimit none{3, old.rlim_max};  // standard streams only: no descriptor for the marker
    ::setrlimit(RLIMIT_NOFILE, &none);
    std::string outcome = "no error";
    try {
      CheckPreviousInstanceNamed(name, 5, 1);
    } catch (const tv::platform::PlatformError& e) {
      // The limit goes first: the runtime's own checks may need a descriptor too.
      ::setrlimit(RLIMIT_NOFILE, &old);
      outcome = std::string(e.what()) + (IsAdmittedInstance() ? " (admitted)" : "");
    }
    return outcome;
  });
  EXPECT_EQ(result, "Cannot create the instance marker \"" + name + "\": Too many open files");
}
