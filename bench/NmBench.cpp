// What the NetworkManager backend adds to a poll: with no bus at all (the bus is tried again
// every five seconds of the service's time, not at every poll), and with python3-dbusmock's
// NetworkManager on a private bus showing one activated GSM connection (the poll takes in what
// the bus sent and reads the interface's counters; nothing is asked of NetworkManager while it
// says nothing).

#include "ras/service/NmBus.h"
#include "ras/service/RasService.h"
#include "tests/support/NmMock.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;

void BM_NmPollWithoutBus(benchmark::State& state)
{
    TTempDir folder;
    ::setenv("ZELTIX_SYSTEM_BUS", ("unix:path=" + folder.File("no-bus")).c_str(), 1);
    TRasService service(folder.Path());
    int64_t now = T0;
    service.Connections(now);
    const uint64_t attempts = TNmBus::Shared().ConnectAttempts();
    for (auto _ : state)
        benchmark::DoNotOptimize(service.Connections(now += 1000));
    state.counters["connects_per_poll"] = benchmark::Counter(
        static_cast<double>(TNmBus::Shared().ConnectAttempts() - attempts) / static_cast<double>(state.iterations()));
}

void BM_NmPollWithConnection(benchmark::State& state)
{
    TNmMock mock;
    if (!mock.Unavailable().empty()) {
        state.SkipWithError(mock.Unavailable().c_str());
        return;
    }
    TTempDir folder;
    TRasService service(folder.Path());
    mock.Activate(mock.AddProfile("Mobil", "gsm"), mock.AddDevice("wwan0", "ttyUSB2", "ppp0"), "1", 2);
    int64_t now = T0;
    TNmBus::Shared().SyncForTests();
    if (service.Connections(now).size() != 1)
        state.SkipWithError("the connection is not listed");
    for (auto _ : state)
        benchmark::DoNotOptimize(service.Connections(now += 1000));
}

// The bus's part of a poll alone, with no bus.
void BM_NmSnapshotWithoutBus(benchmark::State& state)
{
    TTempDir folder;
    ::setenv("ZELTIX_SYSTEM_BUS", ("unix:path=" + folder.File("no-bus")).c_str(), 1);
    int64_t now = T0;
    for (auto _ : state)
        benchmark::DoNotOptimize(TNmBus::Shared().Snapshot(now += 1000));
}

} // namespace

BENCHMARK(BM_NmPollWithoutBus)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NmSnapshotWithoutBus)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NmPollWithConnection)->Unit(benchmark::kMicrosecond);
