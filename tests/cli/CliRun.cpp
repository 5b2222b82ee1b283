#include "tests/cli/CliRun.h"

#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

namespace corvina::test {

namespace fs = std::filesystem;

std::filesystem::path CliProgram() {
    return BinDir() / "corvina-convert";
}

std::string ReadFile(const fs::path& p) {
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

RunResult RunCli(const std::vector<std::string>& args, const RunOptions& options) {
    TempDir io;
    const fs::path outFile = io / "out", errFile = io / "err";
    std::vector<std::string> command = options.wrapper;
    command.push_back(CliProgram().string());
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : command)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int o = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(o, 1);
        dup2(e, 2);
        if (options.inChild)
            options.inChild();
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (options.whileRunning)
        options.whileRunning(pid);
    if (options.interruptAfterMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(options.interruptAfterMs));
        kill(pid, SIGINT);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    RunResult r;
    r.signaled = WIFSIGNALED(status);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(outFile);
    r.err = ReadFile(errFile);
    return r;
}

RunResult RunCli(const std::vector<std::string>& args, int interruptAfterMs) {
    RunOptions options;
    options.interruptAfterMs = interruptAfterMs;
    return RunCli(args, options);
}

} // namespace corvina::test
