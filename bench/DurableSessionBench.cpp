// What keeping the running session on disk costs: each charged minute rewrites connhistory.dat
// with the running row (10,000 rows), and a session's start and end add their lines to a
// 200 MB Protokol.txt. Reported per minute of session, beside the whole minute's work.

#include "bench/SessionLog.h"

#include "app/HistoryModel.h"
#include "app/ZeltixFrm.h"
#include "platform/Seams.h"
#include "platform/Timer.h"
#include "reports/ProtokollFrm.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

ino_t Inode(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// The program with a 10,000-row history and a 200 MB log, a session running.
struct TDurableSession {
    TFakeClock Clock;
    TTempDir ProgramFolder;
    TPlatformSeamScope Seams;
    TFakeDialUpService DialUp{Clock};
    std::unique_ptr<TForm1> Form;

    TDurableSession()
    {
        Seams->ProgramDir = QString::fromStdString(ProgramFolder.Path());
        WriteSessionLog(ProgramFolder.File("Protokol.txt"), 200u << 20);
        DialUp.AddEntry("Provider");
        Form = std::make_unique<TForm1>();
        for (int i = 0; i < 10000; ++i)
            Form->History->Append(QStringLiteral("01.12.2026 10:00:00"), QStringLiteral("Provider"),
                QStringLiteral("00:10:00"), QStringLiteral("45,00"));
        TDialOptions options;
        options.ConnectAfterMs = 0;
        DialUp.Dial("Provider", options);
        RunEventLoopFor(Clock, 1000, 1000);
    }
    ~TDurableSession()
    {
        Form->Timer1->SetEnabled(false);
        Form->OnCheckTimer->SetEnabled(false);
        Form.reset();
    }
};

// A whole minute of session: 60 polls and 60 ticks, one of them charging the minute and
// writing the history. saves_per_minute counts the history files put in place.
void BM_SessionMinuteKeptOnDisk(benchmark::State& state)
{
    TDurableSession session;
    if (!session.Form->Online)
        state.SkipWithError("the session did not start");
    const std::string history = session.ProgramFolder.File("connhistory.dat");
    int64_t saves = 0;
    for (auto _ : state) {
        const ino_t before = Inode(history);
        RunEventLoopFor(session.Clock, 60000, 1000);
        saves += Inode(history) != before ? 1 : 0;
    }
    state.counters["saves_per_minute"] =
        benchmark::Counter(static_cast<double>(saves), benchmark::Counter::kAvgIterations);
}

// What a charged minute adds: the history written with its running row.
void BM_MinuteSaveOf10000Rows(benchmark::State& state)
{
    TDurableSession session;
    for (auto _ : state)
        session.Form->SaveHistory();
}

// What a session's end adds to the log: its two lines, appended to the 200 MB file.
void BM_SessionEndLinesTo200MBLog(benchmark::State& state)
{
    TDurableSession session;
    const QString log = TForm3::LogFileName();
    for (auto _ : state) {
        session.Form->Form3->AppendLine(QStringLiteral("[08.12.2026 14:35:10] Verbindung zu Provider getrennt!"));
        session.Form->Form3->AppendLine(QString());
        session.Form->Form3->WriteToFile(log);
    }
}

} // namespace

BENCHMARK(BM_SessionMinuteKeptOnDisk)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MinuteSaveOf10000Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SessionEndLinesTo200MBLog)->Unit(benchmark::kMillisecond);
