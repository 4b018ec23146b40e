#include "tests/support/CapturedStderr.h"

#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

TCapturedStderr::TCapturedStderr()
{
    std::fflush(stderr);
    const int file = ::open(FDir.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FSaved = ::dup(2);
    if (file < 0 || FSaved < 0 || ::dup2(file, 2) < 0)
        throw std::runtime_error("cannot capture the standard error");
    ::close(file);
}

TCapturedStderr::~TCapturedStderr()
{
    std::fflush(stderr);
    ::dup2(FSaved, 2);
    ::close(FSaved);
}

std::string TCapturedStderr::Text() const
{
    std::fflush(stderr);
    return FDir.Read("stderr");
}
