// Reading the stand-in service's phonebook, which every rasdial command and every listing of
// the library's entries pays for.

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

void BM_ReadPhonebook(benchmark::State& state)
{
    TTempDir folder;
    folder.Write("rasphone.pbk", PhonebookText(state.range(0)));
    TRasService service(folder.Path());
    for (auto _ : state)
        benchmark::DoNotOptimize(service.Phonebook());
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(BM_ReadPhonebook)->Arg(1000)->Arg(20000)->Complexity()->Unit(benchmark::kMillisecond);
