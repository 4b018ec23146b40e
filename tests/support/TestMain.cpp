#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

// Every test executable starts the same way: the C locale of the process, so no test depends
// on the machine's settings; tests that need German formats select them.
int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    ::setenv("ZELTIX_SYSTEM_ROOT", "/nonexistent/zeltix-system-root", 0);
    // No test reaches the machine's system bus; tests that want NetworkManager start their own.
    ::setenv("ZELTIX_SYSTEM_BUS", "unix:path=/nonexistent/zeltix-system-bus", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
