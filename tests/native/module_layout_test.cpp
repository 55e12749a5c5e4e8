// Keeps the native test build honest until each module adds its own tests.
#include <gtest/gtest.h>

TEST(NativeBuild, Runs) { SUCCEED(); }
