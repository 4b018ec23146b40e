// Reading the stand-in service's phonebook: a rasdial command or a process that loads the
// library reads and parses it whole once; a running process keeps it until the file changes.

#include "ras/service/Phonebook.h"
#include "ras/service/RasService.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A rasphone.pbk of n entries as rasdial --add writes them.
std::string PhonebookText(int64_t n)
{
    std::string text;
    for (int64_t i = 0; i < n; ++i) {
        text += "[Anbieter " + std::to_string(i) + "]\r\n";
        text += "DEVICE=modem\r\nDevice=Modem " + std::to_string(i % 4) + "\r\nSpeed=56000\r\n";
        text += "PhoneNumber=0191" + std::to_string(i) + "\r\n\r\n";
    }
    return text;
}

// What a fresh process pays: the whole file parsed.
void BM_ReadPhonebook(benchmark::State& state)
{
    const std::string text = PhonebookText(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(ParsePhonebook(text));
    state.SetComplexityN(state.range(0));
}

// What a running process pays for each listing while the file is unchanged.
void BM_ReadUnchangedPhonebook(benchmark::State& state)
{
    TTempDir folder;
    folder.Write("rasphone.pbk", PhonebookText(state.range(0)));
    TRasService service(folder.Path());
    for (auto _ : state)
        benchmark::DoNotOptimize(service.Phonebook());
}

} // namespace

BENCHMARK(BM_ReadPhonebook)->Arg(1000)->Arg(20000)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUnchangedPhonebook)->Arg(20000)->Unit(benchmark::kMillisecond);
