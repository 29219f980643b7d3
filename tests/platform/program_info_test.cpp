#include <gtest/gtest.h>

#include "ExePath.h"
#include "ExeVersion.h"

using namespace tv::platform;

TEST(ProgramInfo, PathOfTheRunningExecutable) {
  const auto path = ExecutablePath();
  EXPECT_TRUE(path.is_absolute());
  EXPECT_EQ(path.filename(), "platform_program_info_test");
  EXPECT_TRUE(std::filesystem::is_regular_file(path));
  EXPECT_EQ(ExecutableFolder(), path.parent_path());
}

TEST(ProgramInfo, VersionIsTheProjectVersion) {
  EXPECT_EQ(ExecutableVersion(), TV_EXPECTED_VERSION);
  EXPECT_FALSE(ExecutableVersion().empty());
}
