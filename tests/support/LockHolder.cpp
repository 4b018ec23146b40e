#include "tests/support/LockHolder.h"

#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

TLockHolder::TLockHolder(const std::string& path, const char* name)
{
    int ready[2];
    if (::pipe(ready) != 0)
        throw std::runtime_error("pipe failed");
    FPid = ::fork();
    if (FPid == 0) {
        // Only async-signal-safe calls here.
        ::close(ready[0]);
        ::prctl(PR_SET_NAME, name, 0, 0, 0);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(1);
        ::alarm(60);
        char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    // The lock is held once the child has written; a child that could not take it ends instead.
    const ssize_t got = ::read(ready[0], &byte, 1);
    ::close(ready[0]);
    if (got != 1) {
        Release();
        throw std::runtime_error("the lock holder could not lock " + path);
    }
}

TLockHolder::~TLockHolder()
{
    Release();
}

void TLockHolder::Release()
{
    if (FPid <= 0)
        return;
    ::kill(FPid, SIGKILL);
    ::waitpid(FPid, nullptr, 0);
    FPid = -1;
}
