// The settings store of the program: QSettings in its native format, user scope,
// organisation "Harlowe", application "Corvina" (on Linux ~/.config/Harlowe/Corvina.conf).
// Integers are stored as integers, the Boolean as 0 or 1.
#pragma once

#include "app/core/Settings.h"

#include <QSettings>

#include <memory>

namespace corvina::app {

class QtSettingsStore : public ISettingsStore {
public:
    QtSettingsStore() = default;

    bool Open() override;
    std::optional<std::string> ReadString(const std::string& name) override;
    std::optional<int> ReadInteger(const std::string& name) override;
    bool WriteString(const std::string& name, const std::string& value) override;
    bool WriteInteger(const std::string& name, int value) override;
    bool Close() override;

    // Where the values live (for the user's information and the tests).
    static QString FileName();

private:
    std::unique_ptr<QSettings> settings_; // while the key is open
};

} // namespace corvina::app
