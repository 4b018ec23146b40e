// Huge INI files, as a hand or a fault may make them: a settings.ini and a conns.ini of about
// 100 MB in small sections, read key by key as the start reads them. Each is parsed once; the
// memory it takes is reported against the file's size.

#include "bench/MemoryUse.h"
#include "platform/IniFile.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr std::size_t HugeIni = std::size_t{100} << 20;

// Small sections up to the size, then the sections the program reads.
void WriteHugeIni(const std::string& path, const std::string& tail)
{
    std::ofstream out(path, std::ios::binary);
    std::string chunk;
    std::size_t written = 0;
    for (int n = 0; written < HugeIni; ++n) {
        chunk.clear();
        for (int i = 0; i < 4096; ++i)
            chunk += "[s" + std::to_string(n * 4096 + i) + "]\r\nk=v\r\n";
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        written += chunk.size();
    }
    out << tail;
}

void ReportMemory(benchmark::State& state, double baseMegabytes)
{
    const double used = StatusMegabytes("VmHWM") - baseMegabytes;
    state.counters["peak_MB"] = used;
    state.counters["peak_per_file_size"] = used / (HugeIni / (1024.0 * 1024.0));
}

// What the start reads of settings.ini: AutoClear, then Limit.
void BM_StartReadsA100MBSettingsIni(benchmark::State& state)
{
    TTempDir folder;
    WriteHugeIni(folder.File("settings.ini"), "[Main]\r\nAutoClear=0\r\nLimit=5000\r\n");
    ResetPeakRss();
    const double base = StatusMegabytes("VmRSS");
    for (auto _ : state) {
        TIniFile settings(QString::fromStdString(folder.File("settings.ini")));
        benchmark::DoNotOptimize(settings.ReadBool(QStringLiteral("Main"), QStringLiteral("AutoClear"), true));
        benchmark::DoNotOptimize(settings.ReadInteger(QStringLiteral("Main"), QStringLiteral("Limit"), 0));
        state.PauseTiming();
        ReportMemory(state, base);
        state.ResumeTiming();
    }
}

// What the start reads of conns.ini for a phonebook of 100 entries: Kosten and Checked each.
void BM_StartReadsA100MBConnsIni(benchmark::State& state)
{
    TTempDir folder;
    std::string entries;
    for (int i = 0; i < 100; ++i)
        entries += "[Entry " + std::to_string(i) + "]\r\nKosten=1,00\r\nChecked=1\r\n";
    WriteHugeIni(folder.File("conns.ini"), entries);
    ResetPeakRss();
    const double base = StatusMegabytes("VmRSS");
    for (auto _ : state) {
        TIniFile conns(QString::fromStdString(folder.File("conns.ini")));
        for (int i = 0; i < 100; ++i) {
            const QString section = QStringLiteral("Entry %1").arg(i);
            benchmark::DoNotOptimize(conns.ReadString(section, QStringLiteral("Kosten"), QStringLiteral("0,00")));
            benchmark::DoNotOptimize(conns.ReadBool(section, QStringLiteral("Checked"), true));
        }
        state.PauseTiming();
        ReportMemory(state, base);
        state.ResumeTiming();
    }
}

} // namespace

// One start each: the file is parsed at its first key and kept for the others.
BENCHMARK(BM_StartReadsA100MBSettingsIni)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StartReadsA100MBConnsIni)->Unit(benchmark::kMillisecond)->Iterations(1);
