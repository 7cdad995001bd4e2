// Test main: runs GoogleTest, or a child entry point when started by runChild.
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orvtest { int runChildEntry(int argc, char** argv); }

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--orv-child") == 0)
        return orvtest::runChildEntry(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
