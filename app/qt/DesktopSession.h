// What the desktop session offers while a batch runs: the computer kept awake (an inhibitor
// taken from logind over the system bus) and a notification when the batch completes (the
// freedesktop notification service on the session bus). Where a bus or service is missing,
// each call does nothing.
#pragma once

#include "app/core/WorkflowObserver.h"

#include <functional>
#include <memory>
#include <string>

namespace corvina::app {

class ConversionWorkflow;

class IDesktopSession {
public:
    virtual ~IDesktopSession() = default;
    virtual void InhibitSleep(const std::string& why) = 0;
    virtual void ReleaseSleep() = 0;
    virtual void Notify(const std::string& summary, const std::string& body) = 0;
};

// The real session over D-Bus.
class DBusDesktopSession : public IDesktopSession {
public:
    DBusDesktopSession();
    ~DBusDesktopSession() override;
    void InhibitSleep(const std::string& why) override;
    void ReleaseSleep() override;
    void Notify(const std::string& summary, const std::string& body) override;
    bool Inhibiting() const { return inhibitFd_ >= 0; }

private:
    int inhibitFd_ = -1; // logind keeps the computer awake while this stays open
};

// Follows the batches of a workflow: the inhibitor is taken when a batch starts and
// released at every end (completion, stop, the window closing); a batch that completes
// while the window is not active is told through a notification.
class BatchSession : public WorkflowObserver {
public:
    BatchSession(ConversionWorkflow& workflow, IDesktopSession& session,
                 std::function<bool()> windowActive);
    ~BatchSession() override;
    BatchSession(const BatchSession&) = delete;
    BatchSession& operator=(const BatchSession&) = delete;

    void BatchStarted() override;
    void BatchCompleted() override;
    void BatchStopped() override;
    void StopPreview() override {} // not ours
    // The window closes: whatever is held is let go.
    void Release();

private:
    ConversionWorkflow& workflow_;
    IDesktopSession& session_;
    std::function<bool()> windowActive_;
    bool holding_ = false;
};

// "3 files converted, 1 failed" and the like.
std::string CompletionText(int done, int failed);

} // namespace corvina::app
