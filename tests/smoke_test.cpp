#include <gtest/gtest.h>

#include "tool_runner.h"

TEST(Smoke, NoArgumentsPrintsUsage) {
  ScratchDir dir;
  const ToolResult result = run_tool_in(dir.path(), {});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out.rfind("qrv auto hex tools \n\noptions :\n", 0), 0u);
  EXPECT_TRUE(dir.entries().empty());
}
