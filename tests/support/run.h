// Runs a built program as a separate process through the shell, with a time
// limit, and keeps what it printed.
#pragma once

#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace nv::test {

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

// env: "NAME=value" assignments placed before the command.
inline RunResult Run(const std::string& command, const std::string& env = "", int seconds = 60) {
    TempDir io;
    std::string line = "env " + env + " timeout " + std::to_string(seconds) + " " + command + " >" + (io / "out") +
                       " 2>" + (io / "err") + " </dev/null";
    int status = std::system(line.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(io / "out");
    r.err = ReadFile(io / "err");
    return r;
}

}  // namespace nv::test
