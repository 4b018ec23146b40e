#pragma once

/* The least a connection watcher can do once a second: open, lock and read the connection
   table, and look at two files. */

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

struct TMinimalPoll {
    char Folder[4096];
    char Table[4096];
    char Phonebook[4096];
};

inline void InitMinimalPoll(TMinimalPoll* poll, const char* folder)
{
    snprintf(poll->Folder, sizeof poll->Folder, "%s", folder);
    snprintf(poll->Table, sizeof poll->Table, "%s/connections", folder);
    snprintf(poll->Phonebook, sizeof poll->Phonebook, "%s/rasphone.pbk", folder);
}

inline void PollOnce(const TMinimalPoll* poll)
{
    char buffer[65536];
    int fd = open(poll->Table, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        flock(fd, LOCK_SH);
        while (read(fd, buffer, sizeof buffer) > 0) {
        }
        close(fd);
    }
    struct stat info;
    stat(poll->Phonebook, &info);
    stat(poll->Folder, &info);
}
