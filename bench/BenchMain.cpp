// One program for all benchmarks: they need the program's application object on the offscreen
// platform and its resources.

#include "app/Application.h"
#include "resources/Resources.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication app(argc, argv);
    InitZeltixResources();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
