#pragma once

#include <functional>
#include <string>
#include <vector>

struct TChildResult {
    int ExitCode = -1; // -1 when the child did not exit normally
    std::string Out;
    std::string Err;
};

// Runs a program to its end with the test's environment plus the given NAME=VALUE settings,
// capturing its standard output and standard error.
TChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
    const std::vector<std::string>& extraEnvironment = {});

// A program running beside the test until it ends or the object goes (then it is killed): the
// built program under a real X server, say. Its standard output and error go to outputFile.
class TBackgroundChild {
public:
    TBackgroundChild(const std::string& program, const std::vector<std::string>& args,
        const std::vector<std::string>& extraEnvironment, const std::string& outputFile);
    ~TBackgroundChild();
    TBackgroundChild(const TBackgroundChild&) = delete;
    TBackgroundChild& operator=(const TBackgroundChild&) = delete;

    int Pid() const { return FPid; }
    void Signal(int signal) const;
    // Waits up to timeoutMs for the program to end: its exit code, 128 + the signal that ended
    // it, or -1 when it is still running.
    int WaitForExit(int timeoutMs);

private:
    int FPid = -1;
    int FStatus = -1;
};

// Waits up to timeoutMs, looking every few milliseconds, until ready() says so.
bool WaitUntil(int timeoutMs, const std::function<bool()>& ready);
