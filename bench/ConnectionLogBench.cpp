// A connection log that was never trimmed: loading and saving a 20 MB Protokol.txt.

#include "platform/Seams.h"
#include "reports/ProtokollFrm.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

namespace {

// About 20 MB of session blocks as the program writes them.
std::string LargeLog()
{
    const std::string block = "[08.12.2026 14:03:22] Verbindung zu Provider aufgenommen!\r\n"
                              "  DeviceName: Standard 56000 bps Modem\r\n"
                              "  DeviceType: modem\r\n"
                              "  IP Address: 192.168.0.5\r\n"
                              "[08.12.2026 14:35:10] Verbindung zu Provider getrennt!\r\n"
                              "\r\n";
    std::string log;
    log.reserve(20 * 1024 * 1024 + block.size());
    while (log.size() < 20 * 1024 * 1024)
        log += block;
    return log;
}

void BM_LoadConnectionLog(benchmark::State& state)
{
    TTempDir folder;
    folder.Write("Protokol.txt", LargeLog());
    PlatformSeams().ProgramDir = QString::fromStdString(folder.Path());
    for (auto _ : state) {
        TForm3 viewer;
        benchmark::DoNotOptimize(viewer.Lines().size());
    }
    PlatformSeams().ProgramDir.clear();
}

void BM_SaveConnectionLog(benchmark::State& state)
{
    TTempDir folder;
    folder.Write("Protokol.txt", LargeLog());
    PlatformSeams().ProgramDir = QString::fromStdString(folder.Path());
    TForm3 viewer;
    viewer.AppendLine(QStringLiteral("[08.12.2026 15:00:00] Verbindung zu Provider aufgenommen!"));
    for (auto _ : state)
        viewer.SaveToFile(TForm3::LogFileName());
    PlatformSeams().ProgramDir.clear();
}

} // namespace

BENCHMARK(BM_LoadConnectionLog)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveConnectionLog)->Unit(benchmark::kMillisecond)->Iterations(3);
