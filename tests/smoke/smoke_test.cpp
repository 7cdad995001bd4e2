#include "support/OrvTestSupport.h"
#include <gtest/gtest.h>
TEST(Smoke, TempDir) { orvtest::TempDir d; EXPECT_TRUE(orvtest::fileExists(d.path())); }
ORV_TEST_CHILD(exit7) { return 7; }
TEST(Smoke, Child) { EXPECT_EQ(7u, orvtest::runChild("exit7").exitCode); }
