/* The least a connection watcher can do once a second: open, lock and read the connection
   table, and look at two files. The yardstick for the program's own CPU time per second,
   measured beside it in the same run (bench/cpu/cpu-per-second.sh). */

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s SERVICE-FOLDER\n", argv[0]);
        return 2;
    }
    char table[4096], phonebook[4096];
    snprintf(table, sizeof table, "%s/connections", argv[1]);
    snprintf(phonebook, sizeof phonebook, "%s/rasphone.pbk", argv[1]);
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        char buffer[65536];
        int fd = open(table, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            flock(fd, LOCK_SH);
            while (read(fd, buffer, sizeof buffer) > 0) {
            }
            close(fd);
        }
        struct stat info;
        stat(phonebook, &info);
        stat(argv[1], &info);
        next.tv_sec += 1;
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL);
    }
}
