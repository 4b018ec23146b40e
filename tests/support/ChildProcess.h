#pragma once

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
