// The array operations: growth, bounds, Resize, Delete, Clear, Assign, and which records they
// destroy and when.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ROExceptions.h"
#include "UpdaterServiceLibrary_Types.h"

namespace {

// A record that notes its destruction, so a test can see which slots an operation destroys.
std::vector<std::string>& DestroyedLog() {
  static std::vector<std::string> log;
  return log;
}

class TrackedApplication : public WS_Applications {
 public:
  static const TROClassInfo& StaticClass() {
    static const TROClassInfo info{"Test_Tracked_application", &WS_Applications::StaticClass(),
                                   &ROCreateInstance<TrackedApplication>};
    return info;
  }
  const TROClassInfo& ClassInfo() const override { return StaticClass(); }
  ~TrackedApplication() override { DestroyedLog().push_back(uid_applications); }
};

std::unique_ptr<WS_Applications> Tracked(const std::string& uid) {
  auto record = std::make_unique<TrackedApplication>();
  record->uid_applications = uid;
  return record;
}

std::unique_ptr<WS_Applications> App(const std::string& uid) {
  auto record = std::make_unique<WS_Applications>();
  record->uid_applications = uid;
  return record;
}

std::vector<std::string> Uids(const WS_Array_Of_Applications& list) {
  std::vector<std::string> uids;
  for (int32_t i = 0; i < list.Count(); ++i) {
    uids.push_back(list.Items(i) != nullptr ? list.Items(i)->uid_applications : "<none>");
  }
  return uids;
}

class ArrayTest : public ::testing::Test {
 protected:
  void SetUp() override { DestroyedLog().clear(); }
};

TEST_F(ArrayTest, GrowRunsThroughTheCapacitySequence) {
  WS_Array_Of_Files_executables list;
  std::vector<int32_t> capacities;
  for (int i = 0; i < 9; ++i) {
    list.Grow();
    capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(ArrayTest, AddGrowsOnlyWhenFullAndAcceptsEmptySlots) {
  WS_Array_Of_Applications list;
  EXPECT_EQ(list.Capacity(), 0);
  std::vector<std::pair<int32_t, int32_t>> indexAndCapacity;
  for (int i = 0; i < 13; ++i) {
    const int32_t index = (i == 2) ? list.Add(nullptr) : list.Add(App(std::to_string(i)));
    indexAndCapacity.emplace_back(index, list.Capacity());
  }
  const std::vector<std::pair<int32_t, int32_t>> expected = {
      {0, 4}, {1, 4},  {2, 4},  {3, 4},   {4, 8},   {5, 8},  {6, 8},
      {7, 8}, {8, 12}, {9, 12}, {10, 12}, {11, 12}, {12, 28}};
  EXPECT_EQ(indexAndCapacity, expected);
  EXPECT_EQ(list.Count(), 13);
  EXPECT_EQ(list.Items(2), nullptr);  // an empty slot counts
  EXPECT_EQ(list.Items(12)->uid_applications, "12");
}

TEST_F(ArrayTest, IndexesOutsideTheUsedSlotsAreRefusedAndChangeNothing) {
  WS_Array_Of_Applications list;
  list.Add(App("a"));
  list.Add(App("b"));
  list.Grow();  // spare capacity: slots beyond Count are still out of bounds
  using Access = std::function<void(WS_Array_Of_Applications&, int32_t)>;
  const std::vector<std::pair<const char*, Access>> accesses = {
      {"Items", [](auto& l, int32_t i) { l.Items(i); }},
      {"SetItems", [](auto& l, int32_t i) { l.SetItems(i, App("x")); }},
      {"GetItem", [](auto& l, int32_t i) { l.GetItem(i); }},
      {"SetItem", [](auto& l, int32_t i) { l.SetItem(i, nullptr); }},
  };
  for (const auto& [label, access] : accesses) {
    for (const int32_t index : {-1, 2, 3, INT32_MIN}) {
      SCOPED_TRACE(std::string(label) + " " + std::to_string(index));
      try {
        access(list, index);
        ADD_FAILURE() << "no error";
      } catch (const EROInvalidIndex& e) {
        EXPECT_EQ(e.what(), "Array index out of bounds (" + std::to_string(index) + ").");
      }
      EXPECT_EQ(Uids(list), (std::vector<std::string>{"a", "b"}));
      EXPECT_EQ(list.Capacity(), 8);
    }
  }
}

TEST_F(ArrayTest, SettingAnItemDestroysOnlyARecordThatIsReplaced) {
  WS_Array_Of_Applications list;
  list.Add(Tracked("old"));
  list.Add(nullptr);
  list.SetItems(0, Tracked("new"));
  EXPECT_EQ(DestroyedLog(), (std::vector<std::string>{"old"}));
  list.SetItem(1, Tracked("filled"));  // the empty slot destroys nothing
  EXPECT_EQ(DestroyedLog(), (std::vector<std::string>{"old"}));
  // Storing the record a slot already holds keeps it alive.
  list.SetItems(0, std::unique_ptr<WS_Applications>(list.Items(0)));
  EXPECT_EQ(DestroyedLog(), (std::vector<std::string>{"old"}));
  EXPECT_EQ(Uids(list), (std::vector<std::string>{"new", "filled"}));
  // A record of another class has no place in the array.
  EXPECT_THROW(list.SetItem(0, std::make_unique<WS_Files_executables>()), EROAssignError);
  EXPECT_EQ(Uids(list), (std::vector<std::string>{"new", "filled"}));
}

TEST_F(ArrayTest, ResizeMakesEmptyRecordsAndDestroysFromTheHighestSlotDown) {
  WS_Array_Of_Applications list;
  list.Resize(3);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Capacity(), 3);
  for (int32_t i = 0; i < 3; ++i) {
    ASSERT_NE(list.Items(i), nullptr) << i;
    EXPECT_EQ(list.Items(i)->uid_applications, "");
  }
  for (int32_t i = 0; i < 3; ++i) list.SetItems(i, Tracked(std::to_string(i)));
  list.Resize(3);  // same size: nothing happens
  EXPECT_TRUE(DestroyedLog().empty());
  list.Resize(1);
  EXPECT_EQ(DestroyedLog(), (std::vector<std::string>{"2", "1"}));
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Capacity(), 1);
  list.Resize(0);
  EXPECT_EQ(list.Capacity(), 0);
  EXPECT_THROW(list.Resize(-1), EROInvalidIndex);
}

TEST_F(ArrayTest, DeleteClosesTheGapAndTrimsTheCapacity) {
  struct Case {
    int32_t index;
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {0, {"1", "2", "3", "4"}}, {2, {"0", "1", "3", "4"}}, {4, {"0", "1", "2", "3"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    DestroyedLog().clear();
    WS_Array_Of_Applications list;
    for (int i = 0; i < 5; ++i) list.Add(Tracked(std::to_string(i)));
    ASSERT_EQ(list.Capacity(), 8);
    list.Delete(c.index);
    EXPECT_EQ(DestroyedLog(), (std::vector<std::string>{std::to_string(c.index)}));
    EXPECT_EQ(Uids(list), c.left);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Capacity(), 4);
    list.Add(App("5"));  // full again, so this grows from 4 to 8
    EXPECT_EQ(list.Capacity(), 8);
  }
}

TEST_F(ArrayTest, DeleteRefusesIndexesOutsideTheUsedSlots) {
  WS_Array_Of_Applications list;
  list.Add(App("a"));
  list.Grow();
  for (const int32_t index : {1, 2, 7, -1}) {
    try {
      list.Delete(index);
      ADD_FAILURE() << "no error for " << index;
    } catch (const EROInvalidIndex& e) {
      EXPECT_EQ(e.what(), "Invalid index " + std::to_string(index));
    }
  }
  EXPECT_EQ(Uids(list), (std::vector<std::string>{"a"}));
  EXPECT_EQ(list.Capacity(), 8);
}

TEST_F(ArrayTest, ClearAndDestructionDestroyEveryRecord) {
  {
    WS_Array_Of_Applications list;
    list.Add(Tracked("a"));
    list.Add(nullptr);
    list.Add(Tracked("b"));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
    EXPECT_EQ(DestroyedLog(), (std::vector<std::string>{"a", "b"}));
    list.Add(Tracked("c"));
  }
  EXPECT_EQ(DestroyedLog(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(ArrayTest, AssignCopiesSlotsKeepsEmptyOnesAndEachRecordsOwnClass) {
  WS_Array_Of_Applications source;
  source.Add(App("a"));
  source.Add(nullptr);
  source.Add(Tracked("t"));
  WS_Array_Of_Applications target;
  target.Add(Tracked("old"));
  target.Assign(source);
  EXPECT_EQ(DestroyedLog(), (std::vector<std::string>{"old"}));
  EXPECT_EQ(Uids(target), (std::vector<std::string>{"a", "<none>", "t"}));
  EXPECT_NE(target.Items(0), source.Items(0));
  EXPECT_NE(dynamic_cast<TrackedApplication*>(target.Items(2)), nullptr);
  source.Items(0)->uid_applications = "changed";
  EXPECT_EQ(target.Items(0)->uid_applications, "a");
  EXPECT_EQ(target.Capacity(), 4);  // built with Add
}

TEST_F(ArrayTest, AssignFromAnythingButTheSameArrayTypeLeavesTheTargetUnchanged) {
  WS_Array_Of_Applications target;
  target.Add(App("a"));
  WS_Array_Of_Files_executables otherArray;
  otherArray.AddNew();
  WS_Applications record;
  const TROComplexType* others[] = {&otherArray, &record, &target};
  for (const TROComplexType* other : others) {
    target.Assign(other);
    EXPECT_EQ(Uids(target), (std::vector<std::string>{"a"}));
  }
  EXPECT_THROW(target.Assign(nullptr), EROAssignError);
  EXPECT_EQ(Uids(target), (std::vector<std::string>{"a"}));

  auto clone = ROClone(target);
  EXPECT_EQ(Uids(*clone), (std::vector<std::string>{"a"}));
}

TEST_F(ArrayTest, ClassLevelQueriesNameTheItemClass) {
  const WS_Array_Of_Locale_files files;
  EXPECT_EQ(&files.GetItemClass(), &WS_Locale_files::StaticClass());
  EXPECT_EQ(files.GetItemType(), typeid(WS_Locale_files));
  EXPECT_EQ(files.ClassName(), "WS_Array_Of_Locale_files");
  EXPECT_GT(files.GetItemSize(), 0u);
}

}  // namespace
