#include "platform/DialUpSource.h"

#include "platform/Timer.h"
#include "ras/service/RasService.h"
#include "tests/platform/GuiTestApplication.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int64_t WallMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::vector<std::string> Entries(const std::vector<TConnectionView>& connections)
{
    std::vector<std::string> entries;
    for (const TConnectionView& c : connections)
        entries.push_back(c.Entry + " " + std::to_string(c.Handle) + " " + std::to_string(c.State));
    return entries;
}

// The service the environment names, as telephony, the registry statistics and the performance
// data read it: once per timer tick, whatever another process changes meanwhile; afresh in
// the next tick and outside of ticks.
TEST(DialUpSourceTest, ATimerTickReadsTheServiceOnce)
{
    TGuiTestApplication::Start();
    TTempDir folder;
    ::setenv("ZELTIX_RAS_DIR", folder.Path().c_str(), 1);
    TRasService service(folder.Path());
    service.AddEntry({"Provider", "modem", "Modem A", 56000, ""});
    service.AddEntry({"Office", "isdn", "ISDN B", 64000, ""});
    service.Dial("Provider", {.ConnectAfterMs = 0}, WallMs());

    struct TTick {
        std::vector<std::string> First, Again, Separate;
        std::vector<TPhonebookEntry> Phonebook;
    };
    std::vector<TTick> ticks;
    TFakeClock clock;
    TTimer timer(nullptr);
    timer.SetOnTimer([&](QObject*) {
        TTick tick;
        tick.First = Entries(DialUpConnections());
        tick.Separate = Entries(TRasService(folder.Path()).Connections(WallMs()));
        tick.Phonebook = DialUpPhonebook();
        // Another process dials meanwhile; this tick has read the service already.
        if (ticks.empty()) {
            service.Dial("Office", {.ConnectAfterMs = 0}, WallMs());
            service.RemoveEntry("Office");
        }
        tick.Again = Entries(DialUpConnections());
        ticks.push_back(tick);
        EXPECT_EQ(DialUpPhonebook(), tick.Phonebook);
    });
    RunEventLoopFor(clock, 2000);
    ::unsetenv("ZELTIX_RAS_DIR");

    ASSERT_EQ(ticks.size(), 2u);
    EXPECT_EQ(ticks[0].First, ticks[0].Separate);
    EXPECT_EQ(ticks[0].Again, ticks[0].First);
    EXPECT_EQ(ticks[0].Phonebook.size(), 2u);
    EXPECT_EQ(ticks[1].First, ticks[1].Separate);
    EXPECT_EQ(ticks[1].First.size(), 2u) << "the next tick sees the second connection";
    EXPECT_EQ(ticks[1].Phonebook.size(), 1u);

    // Outside a tick every read is a read of its own.
    ::setenv("ZELTIX_RAS_DIR", folder.Path().c_str(), 1);
    service.HangUpEntry("Provider", WallMs(), 0);
    const auto outside = Entries(DialUpConnections());
    ::unsetenv("ZELTIX_RAS_DIR");
    EXPECT_EQ(outside.size(), 1u);
    TGuiTestApplication::Stop();
}

} // namespace
