// What one second of program time costs while a session runs: one poll of the dial-up
// connections through the real librasapi32.so plus one session tick, both ticking through the
// event loop, with a long history.

#include "app/Application.h"
#include "app/ZeltixFrm.h"
#include "platform/Seams.h"
#include "platform/Timer.h"
#include "resources/Resources.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/TempDir.h"

#include "app/HistoryModel.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

static void BM_PollAndSessionTick(benchmark::State& state)
{
    TFakeClock clock;
    TTempDir programFolder;
    TPlatformSeamScope seams;
    TFakeDialUpService dialUp(clock);
    seams->ProgramDir = QString::fromStdString(programFolder.Path());
    dialUp.AddEntry("Provider");
    TForm1 form;
    for (int i = 0; i < state.range(0); ++i)
        form.History->Append(QStringLiteral("01.12.2026 10:00:00"), QStringLiteral("Provider"),
            QStringLiteral("00:10:00"), QStringLiteral("45,00"));
    TDialOptions options;
    options.ConnectAfterMs = 0;
    dialUp.Dial("Provider", options);
    RunEventLoopFor(clock, 1000, 1000);
    if (!form.Online)
        state.SkipWithError("the session did not start");

    for (auto _ : state)
        RunEventLoopFor(clock, 1000, 1000);
    form.Timer1->SetEnabled(false);
    form.OnCheckTimer->SetEnabled(false);
}
BENCHMARK(BM_PollAndSessionTick)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
