#include "tests/desktop/TrayIconFixture.h"

#include "desktop/ImageList.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/Raised.h"
#include "tests/support/SeamScope.h"

#include <QPixmap>

namespace {

QIcon Filled(Qt::GlobalColor colour)
{
    QPixmap picture(16, 16);
    picture.fill(colour);
    return QIcon(picture);
}

class CustomTimerTest : public ::testing::Test {
protected:
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TPlatformSeamScope Seams;
};

TEST_F(CustomTimerTest, TheTimerStartsOnlyWithAHandlerAndFailsWhenNoTimerIsLeft)
{
    TabfCustomTimer timer(nullptr);
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_TRUE(IsWindow(timer.Handle()));

    Seams->TimersExhausted = true;
    // Without a handler the timer is never asked for.
    timer.SetInterval(500);
    timer.SetEnabled(false);
    timer.SetOnTimer([](QObject*) {});
    EXPECT_EQ(MessageOf<EOutOfResources>([&] { timer.SetEnabled(true); }), "Not enough timers available");
    timer.SetInterval(0);
}

TEST_F(CustomTimerTest, TicksReachTheHandlerAndAFailingTickGoesToTheApplication)
{
    std::vector<QString> reported;
    TExceptionHandlerScope route(
        [&](QObject* sender, const Exception& e) { reported.push_back(sender->objectName() + ": " + e.Message()); });
    auto timer = std::make_unique<TabfCustomTimer>(nullptr);
    timer->setObjectName("Timer");
    int ticks = 0;
    timer->SetOnTimer([&](QObject* sender) {
        EXPECT_EQ(sender, timer.get());
        if (++ticks == 2)
            throw Exception("tick failed");
    });
    const HWND window = timer->Handle();
    SendMessageA(window, WM_TIMER, 1, 0);
    SendMessageA(window, WM_TIMER, 1, 0);
    SendMessageA(window, WM_TIMER, 1, 0);
    EXPECT_EQ(ticks, 3) << "the timer keeps running";
    EXPECT_EQ(reported, (std::vector<QString>{"Timer: tick failed"}));
    EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), 1) << "other messages go to the default";

    timer.reset();
    EXPECT_FALSE(IsWindow(window));
}

using TrayCycleTest = TrayIconFixture;

TEST_F(TrayCycleTest, CyclingStepsThroughTheImageListAndStartsOver)
{
    TCustomImageList images;
    images.Add(Filled(Qt::red));
    images.Add(Filled(Qt::green));
    images.Add(Filled(Qt::blue));
    Start();
    int cycles = 0;
    Tray->OnCycleIcons = [&](QObject*) { ++cycles; };
    Tray->SetImageList(&images);
    EXPECT_FALSE(Tray->IsIconStored());
    auto shownColour = [] {
        const TShellNotifyCall call = ShellNotifyArea().Calls.back();
        EXPECT_EQ(call.Message, NIM_MODIFY);
        return IconOfHandle(call.Icon).pixmap(16, 16).toImage().pixelColor(8, 8);
    };
    EXPECT_EQ(shownColour(), QColor(Qt::red));

    Tray->SetCycleIcons(true);
    EXPECT_TRUE(Tray->CycleIcons());
    std::vector<int> indexes;
    for (int i = 0; i < 4; ++i) {
        SendMessageA(Tray->Handle(), WM_TIMER, 1, 0);
        indexes.push_back(Tray->ImageIndex());
    }
    EXPECT_EQ(indexes, (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(shownColour(), QColor(Qt::green));
    EXPECT_EQ(cycles, 4);

    // A change of the list reloads the picture.
    images.Clear();
    images.Add(Filled(Qt::yellow));
    images.Add(Filled(Qt::black));
    EXPECT_EQ(shownColour(), QColor(Qt::black));

    Tray->SetCycleInterval(50);
    EXPECT_EQ(Tray->CycleInterval(), 50u);
    Tray->SetCycleIcons(false);
    Tray->SetImageList(nullptr);
    EXPECT_TRUE(Tray->IsIconStored());
}

// The icon's mouse switch and the base's timer switch are two things: one never moves the
// other.
TEST_F(TrayCycleTest, TheMouseSwitchLeavesTheIconCycleAlone)
{
    MakeTray(false);
    Tray->SetMouseEnabled(false);
    EXPECT_FALSE(Tray->CycleIcons());
    EXPECT_FALSE(Tray->Enabled()) << "the base's switch is the cycle";
    Tray->SetCycleIcons(true);
    EXPECT_TRUE(Tray->Enabled());
    EXPECT_FALSE(Tray->MouseEnabled());
    Tray->SetMouseEnabled(true);
    EXPECT_TRUE(Tray->CycleIcons());
}

TEST_F(TrayCycleTest, AGoneImageListIsForgotten)
{
    Start();
    {
        TCustomImageList images;
        images.Add(Filled(Qt::red));
        Tray->SetImageList(&images);
    }
    EXPECT_EQ(Tray->ImageList(), nullptr);
    SendMessageA(Tray->Handle(), WM_TIMER, 1, 0);
    Tray->SetImageIndex(3);
}

} // namespace
