// Runs corvina-convert in a child process as a user would, with its output captured, and
// optionally a limit, a signal or a wrapper program set up around it.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvina::test {

struct RunResult {
    int exitCode = -1; // 128 + the signal when a signal ended the program
    bool signaled = false;
    std::string out, err;
};

struct RunOptions {
    int interruptAfterMs = -1; // >= 0: SIGINT to the program after that many milliseconds
    // Runs in the child just before exec (limits, signal dispositions): only what survives
    // exec has an effect.
    std::function<void()> inChild;
    // Runs in the test while the program runs (pid given); the wait for its end follows.
    std::function<void(pid_t)> whileRunning;
    // A program and its arguments put in front of corvina-convert's command line (found on
    // PATH), e.g. a shell that prepares a file system first.
    std::vector<std::string> wrapper;
    // What the program reads on standard input (set: a file with this text).
    std::optional<std::string> standardInput;
    // Standard output is a terminal (a pseudo-terminal whose screen text lands in `out`).
    bool pseudoTerminal = false;
};

RunResult RunCli(const std::vector<std::string>& args, const RunOptions& options);
// `interruptAfterMs` >= 0 sends SIGINT then.
RunResult RunCli(const std::vector<std::string>& args, int interruptAfterMs = -1);

std::filesystem::path CliProgram();
std::string ReadFile(const std::filesystem::path& p);

} // namespace corvina::test
