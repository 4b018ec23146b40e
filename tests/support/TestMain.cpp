#include "tests/support/TestMain.h"

// The main() of the test executables that need no application object.
int main(int argc, char** argv)
{
    PrepareTestProcess(tdNone);
    return RunAllTests(argc, argv);
}
