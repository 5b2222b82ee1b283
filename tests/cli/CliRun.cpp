#include "tests/cli/CliRun.h"

#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <pty.h>
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

    const fs::path inFile = io / "in";
    if (options.standardInput)
        std::ofstream(inFile, std::ios::binary) << *options.standardInput;
    int master = -1, slave = -1;
    if (options.pseudoTerminal && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return RunResult{};
    std::string screen;
    std::thread reader;
    if (master >= 0)
        reader = std::thread([master, &screen] {
            char buffer[4096];
            ssize_t n;
            while ((n = read(master, buffer, sizeof buffer)) > 0) // EIO once the child is gone
                screen.append(buffer, static_cast<size_t>(n));
        });

    const pid_t pid = fork();
    if (pid == 0) {
        const int o =
            slave >= 0 ? slave : open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(o, 1);
        dup2(e, 2);
        if (options.standardInput)
            dup2(open(inFile.c_str(), O_RDONLY), 0);
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
    if (slave >= 0)
        close(slave); // the reader sees the end once no side holds the terminal open
    if (reader.joinable())
        reader.join();
    if (master >= 0)
        close(master);
    RunResult r;
    r.signaled = WIFSIGNALED(status);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = options.pseudoTerminal ? screen : ReadFile(outFile);
    r.err = ReadFile(errFile);
    return r;
}

RunResult RunCli(const std::vector<std::string>& args, int interruptAfterMs) {
    RunOptions options;
    options.interruptAfterMs = interruptAfterMs;
    return RunCli(args, options);
}

} // namespace corvina::test
