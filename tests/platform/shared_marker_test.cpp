#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SharedMarker.h"
#include "UniqueFd.h"

using namespace tv::platform;

namespace {

SharedMarker::Bytes BytesOf(std::initializer_list<int> values) {
  SharedMarker::Bytes bytes{};
  std::size_t i = 0;
  for (int v : values) bytes[i++] = static_cast<std::byte>(v);
  return bytes;
}

// A marker name of this test run, removed from the system afterwards.
class MarkerName {
 public:
  explicit MarkerName(std::string base)
      : name_(base + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++)) {}
  ~MarkerName() { SharedMarker::Remove(name_); }
  const std::string& str() const { return name_; }

 private:
  static inline int counter_ = 0;
  std::string name_;
};

// A child process that holds the marker until it is killed; returns its pid once it holds it.
pid_t HoldInChild(const std::string& name, std::initializer_list<int> record) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    auto marker = SharedMarker::Open(name);
    marker.Write(BytesOf(record));
    marker.Publish();
    [[maybe_unused]] auto n = ::write(fds[1], "!", 1);
    for (;;) ::pause();
  }
  ::close(fds[1]);
  char c;
  EXPECT_EQ(::read(fds[0], &c, 1), 1);
  ::close(fds[0]);
  return pid;
}

void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

TEST(SharedMarker, FirstOpenCreatesZerosLaterOpensShareTheBytes) {
  MarkerName name("tv-marker-share");
  auto first = SharedMarker::Open(name.str());
  EXPECT_TRUE(first.Created());
  EXPECT_EQ(first.Read(), SharedMarker::Bytes{});
  first.Write(BytesOf({1, 2, 3, 4, 5, 6, 7, 8}));
  first.Publish();

  auto second = SharedMarker::Open(name.str());
  EXPECT_FALSE(second.Created());
  EXPECT_EQ(second.Read(), BytesOf({1, 2, 3, 4, 5, 6, 7, 8}));
  second.Write(BytesOf({9}));
  EXPECT_EQ(first.Read(), BytesOf({9}));
}

TEST(SharedMarker, AMarkerNobodyHoldsIsNewAgain) {
  MarkerName name("tv-marker-stale");
  {
    auto marker = SharedMarker::Open(name.str());
    marker.Write(BytesOf({1, 0, 0, 0, 1, 0, 0, 0}));
    marker.Publish();
  }
  // The object is still in the system with the old bytes, but no live process holds it.
  auto again = SharedMarker::Open(name.str());
  EXPECT_TRUE(again.Created());
  EXPECT_EQ(again.Read(), SharedMarker::Bytes{});
}

TEST(SharedMarker, OtherProcessesHoldUntilTheyDie) {
  MarkerName name("tv-marker-process");
  const pid_t holder = HoldInChild(name.str(), {7, 0, 0, 0, 1, 0, 0, 0});
  {
    auto marker = SharedMarker::Open(name.str());
    EXPECT_FALSE(marker.Created());
    EXPECT_EQ(marker.Read(), BytesOf({7, 0, 0, 0, 1, 0, 0, 0}));
  }
  Kill(holder);
  auto marker = SharedMarker::Open(name.str());
  EXPECT_TRUE(marker.Created()) << "a killed holder must not keep the marker alive";
  EXPECT_EQ(marker.Read(), SharedMarker::Bytes{});
}

TEST(SharedMarker, AStartWaitsForTheCreatorToPublish) {
  MarkerName name("tv-marker-publish");
  auto creator = SharedMarker::Open(name.str());
  ASSERT_TRUE(creator.Created());
  // Until the creator has written and published its record, a start cannot see the marker.
  EXPECT_THROW(SharedMarker::Open(name.str()), MarkerOpenError);
  creator.Publish();
  EXPECT_FALSE(SharedMarker::Open(name.str()).Created());
}

TEST(SharedMarker, AViewThatCannotBeMappedIsReportedApart) {
  MarkerName name("tv-marker-short");
  // A live holder of an object too short for the record (as a foreign program might leave it).
  UniqueFd fd(::shm_open(SharedMarker::ObjectName(name.str()).c_str(), O_RDWR | O_CREAT, 0600));
  ASSERT_TRUE(fd);
  ASSERT_EQ(::ftruncate(fd.get(), 4), 0);
  struct flock lock {};
  lock.l_type = F_RDLCK;
  ASSERT_EQ(::fcntl(fd.get(), F_OFD_SETLK, &lock), 0);
  EXPECT_THROW(SharedMarker::Open(name.str()), MarkerMapError);
}

TEST(SharedMarker, AnyNameGivesAValidObjectName) {
  const std::string longName(400, 'x');
  const std::string cases[] = {"C:ProgramsKestrovTvUpdater.exe", longName, "with/slash",
                               std::string(200, 'y')};
  for (const auto& name : cases) {
    const std::string object = SharedMarker::ObjectName(name);
    EXPECT_EQ(object.front(), '/');
    EXPECT_EQ(object.find('/', 1), std::string::npos) << name;
    EXPECT_LE(object.size() - 1, 255u) << name;
    EXPECT_EQ(SharedMarker::ObjectName(name), object) << "stable";
    MarkerName marker(name.substr(0, 300));
    EXPECT_NO_THROW(SharedMarker::Open(marker.str())) << name;
  }
  EXPECT_NE(SharedMarker::ObjectName(longName), SharedMarker::ObjectName(longName + "z"));
  EXPECT_NE(SharedMarker::ObjectName("a/b"), SharedMarker::ObjectName("ab"));
}
