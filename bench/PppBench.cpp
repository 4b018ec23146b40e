// What the pppd backend adds to a poll: reading the peers, the pid files, /proc and the
// interface of a link, for two peers of which one is up (the other's pppd is looked for in
// the process list every time).

#include "ras/service/PppLinks.h"
#include "ras/service/PppProcesses.h"
#include "ras/service/RasService.h"
#include "ras/service/ServiceSeams.h"
#include "ras/service/SystemRoot.h"
#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include <filesystem>
#include <string>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;

void Put(const TTempDir& root, const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(root.File(path)).parent_path());
    root.Write(path, bytes);
}

// Two peers, one pppd with its pid file and its interface up; /proc is the fake tree's own,
// or the machine's when realProc is set, to count a scan over every real process.
void BuildTree(const TTempDir& root, bool realProc)
{
    Put(root, "etc/ppp/peers/isp", "/dev/ttyUSB0\n115200\nconnect '/usr/sbin/chat -f /etc/chatscripts/isp'\nnoauth\n");
    Put(root, "etc/ppp/peers/dsl", "plugin rp-pppoe.so\nnic-eth0\nuser \"me@isp\"\nnoauth\n");
    Put(root, "run/ppp-isp.pid", "4321\nppp0\n");
    if (realProc) {
        std::filesystem::create_directory_symlink("/proc", root.File("proc"));
        // The pid file names a process that is no pppd here: the link is the dialing kind.
    } else {
        Put(root, "proc/4321/comm", "pppd\n");
        Put(root, "proc/4321/stat", "4321 (pppd) S 1 1 1 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 1 0 5000 1000 100\n");
        Put(root, "proc/4321/cmdline", std::string("/usr/sbin/pppd\0call\0isp\0", 25));
        for (int pid : {1, 2, 300, 301, 302})
            Put(root, "proc/" + std::to_string(pid) + "/comm", "bash\n");
        Put(root, "proc/net/route", "Iface\tDestination\nppp0\t0100000A\n");
    }
    Put(root, "sys/class/net/ppp0/operstate", "unknown\n");
    // As sysfs shows a ppp link that is up: the flags without IFF_RUNNING, and the carrier.
    Put(root, "sys/class/net/ppp0/flags", "0x1091\n");
    Put(root, "sys/class/net/ppp0/carrier", "1\n");
    Put(root, "sys/class/net/ppp0/statistics/tx_bytes", "123456\n");
    Put(root, "sys/class/net/ppp0/statistics/rx_bytes", "654321\n");
}

void PollPppLinks(benchmark::State& state, bool realProc)
{
    TTempDir root, folder;
    BuildTree(root, realProc);
    TSeamScope serviceSeams{ServiceSeams()};
    serviceSeams->SystemRoot = root.Path();
    TRasService service(folder.Path());
    int64_t now = T0;
    // The link's handle is written once, as on the first poll. Over the fake tree's /proc the
    // link must be up, or the benchmark would measure a dialing link; the machine's /proc has
    // no pppd of it.
    const std::vector<TConnectionView> first = service.Connections(now);
    if (!realProc &&
        std::none_of(first.begin(), first.end(), [](const TConnectionView& c) { return c.State == RASCS_Connected; }))
        state.SkipWithError("the pppd link is not connected");
    for (auto _ : state)
        benchmark::DoNotOptimize(service.Connections(now += 1000));
}

void BM_PppPoll(benchmark::State& state)
{
    PollPppLinks(state, false);
}

void BM_PppPollScanningRealProc(benchmark::State& state)
{
    PollPppLinks(state, true);
}

// An idle machine: two peers configured and no pppd running, over the machine's own /proc.
// Each iteration is one listing a second later; a dialing pppd may appear at any time, yet
// the process list is not searched at every listing, and a search reads only the processes
// that are new, young, or due for their look once a minute.
void BM_IdlePollPeersNotRunning(benchmark::State& state)
{
    TTempDir root, folder;
    Put(root, "etc/ppp/peers/isp", "/dev/ttyUSB0\n115200\nnoauth\n");
    Put(root, "etc/ppp/peers/dsl", "plugin rp-pppoe.so\nnic-eth0\nnoauth\n");
    std::filesystem::create_directories(root.File("run"));
    std::filesystem::create_directory_symlink("/proc", root.File("proc"));
    TSeamScope serviceSeams{ServiceSeams()};
    serviceSeams->SystemRoot = root.Path();
    TRasService service(folder.Path());
    int64_t now = T0;
    if (!service.Connections(now).empty())
        state.SkipWithError("a pppd of the fake peers is running");
    const uint64_t scans = PppProcessScans(), reads = PppProcessReads();
    for (auto _ : state)
        benchmark::DoNotOptimize(service.Connections(now += 1000));
    const double searches = static_cast<double>(PppProcessScans() - scans);
    state.counters["scans_per_poll"] = benchmark::Counter(searches / static_cast<double>(state.iterations()));
    state.counters["reads_per_search"] =
        benchmark::Counter(searches > 0 ? static_cast<double>(PppProcessReads() - reads) / searches : 0);
}

} // namespace

BENCHMARK(BM_IdlePollPeersNotRunning)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PppPoll)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PppPollScanningRealProc)->Unit(benchmark::kMicrosecond);
