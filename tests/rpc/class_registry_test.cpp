// The class registry: lookups without regard to case, counted registrations, name clashes.
#include <gtest/gtest.h>

#include "ROClassRegistry.h"
#include "ROExceptions.h"
#include "UpdaterServiceLibrary_Types.h"

namespace {

TEST(ClassRegistryTest, FindsClassesWithoutRegardToCase) {
  TROClassRegistry registry;
  registry.Register(WS_Files_executables::StaticClass());
  for (const char* name :
       {"WS_Files_executables", "ws_files_executables", "WS_FILES_EXECUTABLES"}) {
    EXPECT_EQ(registry.Find(name), &WS_Files_executables::StaticClass()) << name;
  }
  for (const char* name : {"WS_Files_executable", "WS_Files_executables ", "", "WS_Applications"}) {
    EXPECT_EQ(registry.Find(name), nullptr) << name;
  }
}

TEST(ClassRegistryTest, RegistrationsNestAndTheClassLeavesWithTheLastOne) {
  TROClassRegistry registry;
  const TROClassInfo& cls = WS_Applications::StaticClass();
  registry.Register(cls);
  registry.Register(cls);
  registry.Unregister(cls);
  EXPECT_TRUE(registry.IsRegistered(cls));
  registry.Unregister(cls);
  EXPECT_FALSE(registry.IsRegistered(cls));
  EXPECT_EQ(registry.Find("WS_Applications"), nullptr);
  registry.Unregister(cls);  // one too many: ignored
  EXPECT_TRUE(registry.RegisteredNames().empty());
}

TEST(ClassRegistryTest, AnotherClassUnderATakenNameIsRefused) {
  TROClassRegistry registry;
  registry.Register(WS_Applications::StaticClass());
  static const TROClassInfo impostor{"ws_APPLICATIONS", &TROComplexType::StaticClass(), nullptr};
  EXPECT_THROW(registry.Register(impostor), EROClassError);
  EXPECT_EQ(registry.Find("WS_Applications"), &WS_Applications::StaticClass());
}

TEST(ClassRegistryTest, ServiceTypesRegisterInOrderAndLeaveCompletely) {
  const std::vector<std::string_view> expected = {
      "WS_Applications",
      "WS_Files_executables",
      "WS_Applications_config_files",
      "CD_Lookups",
      "WS_Applications_executables",
      "WS_Application_locales",
      "WS_Locale_files",
      "WS_Array_Of_Applications",
      "WS_Array_Of_Files_executables",
      "WS_Array_Of_Applications_config_files",
      "CD_Array_Of_Lookups",
      "WS_Array_Of_Applications_executables",
      "WS_Array_Of_Application_locales",
      "WS_Array_Of_Locale_files",
  };
  TROClassRegistry& global = TROClassRegistry::Global();
  ASSERT_TRUE(global.RegisteredNames().empty());
  {
    TUpdaterServiceTypesRegistration outer;
    EXPECT_EQ(global.RegisteredNames(), expected);
    {
      TUpdaterServiceTypesRegistration inner;
      EXPECT_EQ(global.RegisteredNames(), expected);
    }
    EXPECT_EQ(global.RegisteredNames(), expected);
  }
  EXPECT_TRUE(global.RegisteredNames().empty());
}

TEST(ClassRegistryTest, DescentFollowsTheAncestorChain) {
  const TROClassInfo& record = WS_Locale_files::StaticClass();
  const TROClassInfo& array = WS_Array_Of_Locale_files::StaticClass();
  EXPECT_TRUE(record.InheritsFrom(record));
  EXPECT_TRUE(record.InheritsFrom(TROComplexType::StaticClass()));
  EXPECT_FALSE(record.InheritsFrom(array));
  EXPECT_TRUE(array.InheritsFrom(TROArray::StaticClass()));
  EXPECT_FALSE(TROArray::StaticClass().InheritsFrom(array));
  EXPECT_THROW(TROArray::StaticClass().Create(), EROClassError);
}

}  // namespace
