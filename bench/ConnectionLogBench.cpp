// A connection log that was never trimmed: loading and saving a 20 MB Protokol.txt, and a
// 200 MB one loaded, shown in the viewer and saved, with the memory the process holds then.

#include "bench/MemoryUse.h"
#include "bench/SessionLog.h"
#include "platform/Seams.h"
#include "reports/ProtokollFrm.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/TempDir.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

// About 20 MB of session blocks as the program writes them.
std::string LargeLog()
{
    std::string log;
    log.reserve(20 * 1024 * 1024 + SessionLogBlock.size());
    while (log.size() < 20 * 1024 * 1024)
        log += SessionLogBlock;
    return log;
}

void BM_LoadConnectionLog(benchmark::State& state)
{
    TTempDir folder;
    folder.Write("Protokol.txt", LargeLog());
    TPlatformSeamScope seams;
    seams->ProgramDir = QString::fromStdString(folder.Path());
    for (auto _ : state) {
        TForm3 viewer;
        benchmark::DoNotOptimize(viewer.LineCount());
    }
}

void BM_SaveConnectionLog(benchmark::State& state)
{
    TTempDir folder;
    folder.Write("Protokol.txt", LargeLog());
    TPlatformSeamScope seams;
    seams->ProgramDir = QString::fromStdString(folder.Path());
    TForm3 viewer;
    viewer.AppendLine(QStringLiteral("[08.12.2026 15:00:00] Verbindung zu Provider aufgenommen!"));
    for (auto _ : state)
        viewer.SaveToFile(TForm3::LogFileName());
}

// The 200 MB log is written once, block by block, so the benchmark process never holds it.
constexpr std::size_t HugeSize = 200u * 1024 * 1024;

void ReportMemory(benchmark::State& state)
{
    state.counters["RSS_MB"] = StatusMegabytes("VmRSS");
    state.counters["peak_RSS_MB"] = StatusMegabytes("VmHWM");
    state.counters["file_MB"] = HugeSize / (1024.0 * 1024.0);
}

class THugeLog {
public:
    THugeLog()
    {
        WriteSessionLog(Folder.File("Protokol.txt"), HugeSize);
        Seams->ProgramDir = QString::fromStdString(Folder.Path());
    }

private:
    TTempDir Folder;
    TPlatformSeamScope Seams;
};

void BM_LoadConnectionLog200MB(benchmark::State& state)
{
    THugeLog log;
    for (auto _ : state) {
        ResetPeakRss();
        auto viewer = std::make_unique<TForm3>();
        benchmark::DoNotOptimize(viewer->LineCount());
        state.PauseTiming();
        ReportMemory(state);
        viewer.reset();
        state.ResumeTiming();
    }
}

// The window's first showing on the offscreen platform, until its events are handled.
void BM_ShowConnectionLog200MB(benchmark::State& state)
{
    THugeLog log;
    for (auto _ : state) {
        state.PauseTiming();
        auto viewer = std::make_unique<TForm3>();
        ResetPeakRss();
        state.ResumeTiming();
        viewer->show();
        QApplication::processEvents();
        state.PauseTiming();
        ReportMemory(state);
        viewer.reset();
        state.ResumeTiming();
    }
}

void BM_SaveConnectionLog200MB(benchmark::State& state)
{
    THugeLog log;
    TForm3 viewer;
    viewer.AppendLine(QStringLiteral("[09.12.2026 10:00:00] Verbindung zu Provider aufgenommen!"));
    for (auto _ : state) {
        ResetPeakRss();
        viewer.SaveToFile(TForm3::LogFileName());
        state.PauseTiming();
        ReportMemory(state);
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_LoadConnectionLog)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveConnectionLog)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadConnectionLog200MB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ShowConnectionLog200MB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SaveConnectionLog200MB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
