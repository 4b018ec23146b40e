#pragma once

// How every test executable starts: the C locale of the process, so that no test depends on the
// machine's settings (tests that need German formats select them); the dial-up stand-in kept
// away from the machine's pppd peers and system bus (tests that want them bring their own);
// then the folder's own application object, if it needs one, and GoogleTest.

// Where the tests' windows are shown.
enum TTestDisplay {
    tdNone,               // no windows
    tdOffscreen,          // always the offscreen platform
    tdOffscreenUnlessSet, // the offscreen platform unless QT_QPA_PLATFORM names another
};

// The locale and the environment every test executable starts with.
void PrepareTestProcess(TTestDisplay display);
// GoogleTest's start and run of every test.
int RunAllTests(int& argc, char** argv);

// The main() of a folder whose tests need an application object: TApplication is created on
// the prepared process and handed to setUp, the folder's own start (resources, a title), before
// the tests run.
template <typename TApplication, typename TSetUp>
int RunTestsWithApplication(int argc, char** argv, TTestDisplay display, TSetUp setUp)
{
    PrepareTestProcess(display);
    TApplication app(argc, argv);
    setUp(app);
    return RunAllTests(argc, argv);
}
