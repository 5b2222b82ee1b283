// Terminal side of the front end: Ctrl-C handling and per-file progress output.
#pragma once

#include <atomic>
#include <string>

namespace corvina::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// Installs a SIGINT/SIGTERM handler that raises a flag and makes InterruptFd() readable, so
// that an event loop learns of it without waking up to poll.
void InstallInterruptHandler();
bool Interrupted();
// Readable once an interrupt has come (level-triggered: it stays readable); -1 without one.
int InterruptFd();

// Progress of one file: a bar redrawn in place on a terminal, plain lines otherwise.
class ProgressPrinter {
public:
    explicit ProgressPrinter(std::string label);
    // percent < 0 when the total duration is unknown.
    void Update(int percent, int timeMs, int frame);
    void Finish();

private:
    std::string label_;
    bool tty_;
    int lastPlainPercent_ = -1;
    bool drawn_ = false;
};

} // namespace corvina::cli
