// One program for all benchmarks: they need the program's application object on the offscreen
// platform and its resources.

#include "app/Application.h"
#include "resources/Resources.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The dial-up stand-in also lists the machine's pppd peers; the tests and benchmarks bring
    // their own phonebooks instead.
    ::setenv("ZELTIX_SYSTEM_ROOT", "/nonexistent-zeltix-system-root", 0);
    // No test reaches the machine's system bus; tests that want NetworkManager start their own.
    ::setenv("ZELTIX_SYSTEM_BUS", "unix:path=/nonexistent/zeltix-system-bus", 0);
    // The program's own locale: amounts such as "45,00" are read as the program reads them.
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    TApplication app(argc, argv);
    InitZeltixResources();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
