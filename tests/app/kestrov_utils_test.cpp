#include <gtest/gtest.h>

#include "KestrovUtils.h"
#include "TestSupport.h"

TEST(KestrovUtils, ThinClientIsYesInAnyCase) {
  const struct {
    std::string value;
    bool thin;
  } cases[] = {{"YES", true},
               {"yes", true},
               {"Yes", true},
               {"yEs", true},
               {"NO", false},
               {"Y", false},
               {"1", false},
               {"TRUE", false},
               {"", false},
               {" yes", false},
               {"yes ", false},
               {"\xDD"
                "ES",
                false}};
  for (const auto& c : cases) EXPECT_EQ(IsThinClient(c.value), c.thin) << c.value;
}

TEST(KestrovUtils, AppDataFolderAndVersion) {
  tvtest::ScopedEnv data("XDG_DATA_HOME", std::nullopt);
  tvtest::ScopedEnv home("HOME", "/home/ana");
  EXPECT_EQ(GetAppDataFolder(), "/home/ana/.local/share");
  EXPECT_EQ(GetExeVersion(), TV_EXPECTED_VERSION);
}
