#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Both ends of a pipe, closed when the holder goes.
struct TPipe {
    int Fd[2] = {-1, -1};
    TPipe()
    {
        if (::pipe2(Fd, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
    }
    ~TPipe() { CloseBoth(); }
    void Close(int i)
    {
        if (Fd[i] >= 0)
            ::close(Fd[i]);
        Fd[i] = -1;
    }
    void CloseBoth() { Close(0), Close(1); }
};

// A program's arguments and environment (the test's own, after the given settings) as
// posix_spawn takes them.
class TCommandLine {
public:
    TCommandLine(const std::string& program, const std::vector<std::string>& args,
        const std::vector<std::string>& extraEnvironment)
        : FArgs{program}
        , FEnvironment(extraEnvironment)
    {
        FArgs.insert(FArgs.end(), args.begin(), args.end());
        for (char** e = environ; *e; ++e)
            FEnvironment.push_back(*e); // the first setting of a name wins in getenv
    }
    std::vector<char*> Argv() { return Pointers(FArgs); }
    std::vector<char*> Envp() { return Pointers(FEnvironment); }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& strings)
    {
        std::vector<char*> pointers;
        for (std::string& s : strings)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
        return pointers;
    }
    std::vector<std::string> FArgs, FEnvironment;
};

} // namespace

TChildResult RunChild(
    const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment)
{
    TCommandLine line(program, args, extraEnvironment);
    std::vector<char*> argv = line.Argv();
    std::vector<char*> envp = line.Envp();

    TPipe out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.Fd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.Fd[1], 2);
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + program);
    out.Close(1);
    err.Close(1);

    TChildResult result;
    pollfd fds[2] = {{out.Fd[0], POLLIN, 0}, {err.Fd[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.Out, &result.Err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            break;
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TBackgroundChild::TBackgroundChild(const std::string& program, const std::vector<std::string>& args,
    const std::vector<std::string>& extraEnvironment, const std::string& outputFile)
{
    TCommandLine line(program, args, extraEnvironment);
    std::vector<char*> argv = line.Argv();
    std::vector<char*> envp = line.Envp();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        throw std::runtime_error("cannot start " + program);
    FPid = pid;
}

TBackgroundChild::~TBackgroundChild()
{
    if (WaitForExit(0) < 0) {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
}

void TBackgroundChild::Signal(int signal) const
{
    ::kill(FPid, signal);
}

int TBackgroundChild::WaitForExit(int timeoutMs)
{
    if (FStatus < 0)
        WaitUntil(timeoutMs, [this] {
            int status = 0;
            if (::waitpid(FPid, &status, WNOHANG) != FPid)
                return false;
            FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        });
    return FStatus;
}

bool WaitUntil(int timeoutMs, const std::function<bool()>& ready)
{
    for (int waited = 0;; waited += 10) {
        if (ready())
            return true;
        if (waited >= timeoutMs)
            return false;
        ::usleep(10000);
    }
}
