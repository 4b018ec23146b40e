/* The minimal poll as its own process, woken once a second by the kernel: the yardstick for the
   program's own CPU time per second, measured beside it in the same run
   (bench/cpu/cpu-per-second.sh). */

#include "bench/cpu/MinimalPoll.h"

#include <time.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s SERVICE-FOLDER\n", argv[0]);
        return 2;
    }
    TMinimalPoll poll;
    InitMinimalPoll(&poll, argv[1]);
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        PollOnce(&poll);
        next.tv_sec += 1;
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL);
    }
}
