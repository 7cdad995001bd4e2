// Test main: runs GoogleTest, or a child entry point when started by runChild.
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <cstdio>

namespace orvtest { int runChildEntry(int argc, char** argv); }

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--orv-child") == 0) {
        // Children report exact bytes on standard output.
        _setmode(_fileno(stdout), _O_BINARY);
        return orvtest::runChildEntry(argc, argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
