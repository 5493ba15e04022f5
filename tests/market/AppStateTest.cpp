// The badge table (the picture folder is tested with the picture cache).
#include "market/AppState.h"

#include <gtest/gtest.h>

namespace {

TEST(BadgeTable, LevelsOneToTwentyOnly)
{
    yfx::BadgeTable table;
    EXPECT_EQ(table.ForLevel(1), 315u);
    EXPECT_EQ(table.ForLevel(6), 320u);
    EXPECT_EQ(table.ForLevel(20), 334u);
    EXPECT_EQ(table.ForLevel(0), 0u);
    EXPECT_EQ(table.ForLevel(21), 0u);
    EXPECT_EQ(table.ForLevel(-3), 0u);
}

} // namespace
