#include "app/qt/DesktopSession.h"

#include "app/core/Workflow.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include <unistd.h>

namespace corvina::app {

namespace {

constexpr int kCallTimeoutMs = 2000; // a bus that does not answer must not hold the window

} // namespace

DBusDesktopSession::DBusDesktopSession() = default;

DBusDesktopSession::~DBusDesktopSession() {
    ReleaseSleep();
}

void DBusDesktopSession::InhibitSleep(const std::string& why) {
    if (inhibitFd_ >= 0)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Inhibit");
    call << QString("sleep:idle") << QString("Corvina") << QString::fromStdString(why)
         << QString("block");
    const QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.isValid() && reply.value().isValid())
        inhibitFd_ = ::dup(reply.value().fileDescriptor());
}

void DBusDesktopSession::ReleaseSleep() {
    if (inhibitFd_ < 0)
        return;
    ::close(inhibitFd_);
    inhibitFd_ = -1;
}

void DBusDesktopSession::Notify(const std::string& summary, const std::string& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications",
                                                       "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    call << QString("Corvina") << 0u << QString("corvina") << QString::fromStdString(summary)
         << QString::fromStdString(body) << QStringList() << QVariantMap() << -1;
    bus.call(call, QDBus::NoBlock); // a notification is never worth waiting for
}

BatchSession::BatchSession(ConversionWorkflow& workflow, IDesktopSession& session,
                           std::function<bool()> windowActive)
    : workflow_(workflow), session_(session), windowActive_(std::move(windowActive)) {
    workflow_.AddObserver(this);
}

BatchSession::~BatchSession() {
    workflow_.RemoveObserver(this);
    Release();
}

void BatchSession::BatchStarted() {
    session_.InhibitSleep("Converting files");
    holding_ = true;
}

void BatchSession::BatchCompleted() {
    Release();
    if (windowActive_ && windowActive_())
        return;
    int done = 0, failed = 0;
    for (const ConversionItem& row : workflow_.Rows) {
        done += row.State == RowState::Done;
        failed += row.State == RowState::Fail;
    }
    session_.Notify("All Conversions Completed", CompletionText(done, failed));
}

void BatchSession::BatchStopped() {
    Release();
}

void BatchSession::Release() {
    if (!holding_)
        return;
    holding_ = false;
    session_.ReleaseSleep();
}

std::string CompletionText(int done, int failed) {
    std::string text = std::to_string(done) + (done == 1 ? " file" : " files") + " converted";
    if (failed > 0)
        text += ", " + std::to_string(failed) + " failed";
    return text;
}

} // namespace corvina::app
