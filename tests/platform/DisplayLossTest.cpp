#include "platform/DisplayLoss.h"

#include "tests/platform/GuiTestApplication.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// The toolkit's own words just before it ends the process for a lost display; here they are
// only said, so the process goes on and the test sees what the handler did.
class DisplayLossTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TGuiTestApplication::Start(); }
    static void TearDownTestSuite() { TGuiTestApplication::Stop(); }

    int Runs = 0;
    bool OnUserInterfaceThread = true;
    TDisplayLossHandler Handler{[this] {
        ++Runs;
        OnUserInterfaceThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    }};
};

TEST_F(DisplayLossTest, TheX11WarningOnTheUserInterfaceThreadRunsTheHandlerOnce)
{
    qWarning("Some other warning");
    EXPECT_EQ(Runs, 0);
    qWarning("The X11 connection broke (error 1). Did the X11 server die?");
    EXPECT_EQ(Runs, 1);
    qWarning("The X11 connection broke (error 1). Did the X11 server die?");
    EXPECT_EQ(Runs, 1);
}

TEST_F(DisplayLossTest, TheWaylandWarningFromItsEventThreadWaitsForTheHandlerOnTheUserInterfaceThread)
{
    std::atomic<bool> warned = false;
    int runsWhenWarned = -1;
    std::thread events([&] {
        qWarning("The Wayland connection broke. Did the Wayland compositor die?");
        runsWhenWarned = Runs;
        warned = true;
    });
    while (!warned)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    events.join();
    EXPECT_EQ(runsWhenWarned, 1) << "the warning's thread goes on (and ends the process) only afterwards";
    EXPECT_TRUE(OnUserInterfaceThread);
}

TEST_F(DisplayLossTest, OnlyTheNewestHandlerActsAndNoneOnceAllAreGone)
{
    int newer = 0;
    {
        TDisplayLossHandler second([&newer] { ++newer; });
        qWarning("The X11 connection broke (error 2). Did the X11 server die?");
    }
    EXPECT_EQ(newer, 1);
    EXPECT_EQ(Runs, 0);
    qWarning("The X11 connection broke (error 2). Did the X11 server die?");
    EXPECT_EQ(Runs, 1) << "the older one acts again";
}

} // namespace
