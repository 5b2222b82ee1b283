#include "cli/Terminal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace corvina::cli {

namespace {
std::atomic<bool> gInterrupted{false};
// The wake-up pipe: the handler writes to [1], the event loop watches [0]. Set once, before
// the handler is installed, and kept for the life of the process.
int gWake[2] = {-1, -1};

extern "C" void OnSignal(int) {
    const int saved = errno;
    gInterrupted = true;
    if (gWake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(gWake[1], &byte, 1); // full: already awake
    }
    errno = saved;
}
} // namespace

void InstallInterruptHandler() {
    if (gWake[0] < 0 && pipe2(gWake, O_CLOEXEC | O_NONBLOCK) != 0)
        gWake[0] = gWake[1] = -1;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool Interrupted() {
    return gInterrupted;
}

int InterruptFd() {
    return gWake[0];
}

ProgressPrinter::ProgressPrinter(std::string label)
    : label_(std::move(label)), tty_(isatty(STDOUT_FILENO) != 0) {}

void ProgressPrinter::Update(int percent, int timeMs, int frame) {
    if (tty_) {
        constexpr int kWidth = 30;
        const int filled = percent < 0 ? 0 : percent * kWidth / 100;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.resize(kWidth, '.');
        std::printf("\r%s [%s] %3d%%  %6.1fs  frame %d", label_.c_str(), bar.c_str(),
                    percent < 0 ? 0 : percent, timeMs / 1000.0, frame < 0 ? 0 : frame);
        std::fflush(stdout);
        drawn_ = true;
        return;
    }
    // Plain output: one line per ten percent, so logs stay short.
    const int step = percent < 0 ? -1 : percent / 10 * 10;
    if (step == lastPlainPercent_)
        return;
    lastPlainPercent_ = step;
    if (percent < 0)
        std::printf("%s: %.1fs\n", label_.c_str(), timeMs / 1000.0);
    else
        std::printf("%s: %d%%\n", label_.c_str(), step);
    std::fflush(stdout);
}

void ProgressPrinter::Finish() {
    if (tty_ && drawn_) {
        std::printf("\n");
        std::fflush(stdout);
    }
}

} // namespace corvina::cli
