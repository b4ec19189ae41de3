#include "c_caller.h"
#include "test_files.h"

#include <gtest/gtest.h>

TEST(FromC, SaveAndReadLines)
{
    TempDir dir;
    EXPECT_EQ(c_caller_save_and_read(dir.path("c.ini").c_str()), 0);
}
