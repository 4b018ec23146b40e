// The history's cost as it grows: loading and saving connhistory.dat, and the totals that every
// session tick recomputes over all rows.

#include "app/ZeltixFrm.h"
#include "platform/Seams.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/TempDir.h"
#include "widgets/SpinEdit.h"

#include "app/HistoryModel.h"

#include <benchmark/benchmark.h>

namespace {

// A main window in a folder of its own whose history holds the given number of rows.
struct THistoryBench {
    TFakeClock Clock;
    TTempDir ProgramFolder;
    TPlatformSeamScope Seams;
    TFakeDialUpService DialUp{Clock};
    std::unique_ptr<TForm1> Form;

    explicit THistoryBench(int rows)
    {
        Seams->ProgramDir = QString::fromStdString(ProgramFolder.Path());
        Form = std::make_unique<TForm1>();
        for (int i = 0; i < rows; ++i)
            Form->History->Append(QStringLiteral("01.12.2026 10:00:00"), QStringLiteral("Provider"),
                QStringLiteral("00:10:00"), QStringLiteral("45,00"));
    }
    ~THistoryBench() { Form.reset(); }
};

void BM_SaveHistory(benchmark::State& state)
{
    THistoryBench bench(static_cast<int>(state.range(0)));
    for (auto _ : state)
        bench.Form->SaveHistory();
}

void BM_LoadHistory(benchmark::State& state)
{
    THistoryBench bench(static_cast<int>(state.range(0)));
    bench.Form->SaveHistory();
    for (auto _ : state)
        bench.Form->LoadHistory();
}

// What every session tick shows of the totals: the cost total with the gauge.
void BM_TickTotals(benchmark::State& state)
{
    THistoryBench bench(static_cast<int>(state.range(0)));
    bench.Form->SpinEdit1->SetText(QStringLiteral("1000000"));
    for (auto _ : state)
        bench.Form->UpdateCostTotals(false);
}

} // namespace

BENCHMARK(BM_SaveHistory)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadHistory)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TickTotals)->Arg(10000)->Unit(benchmark::kMillisecond);
