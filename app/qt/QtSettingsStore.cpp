#include "app/qt/QtSettingsStore.h"

namespace corvina::app {

namespace {

constexpr const char* kOrganisation = "Harlowe";
constexpr const char* kApplication = "Corvina";

} // namespace

bool QtSettingsStore::Open() {
    settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            kOrganisation, kApplication);
    // A file that cannot be parsed reads as empty; its values are then written anew.
    return settings_->status() != QSettings::AccessError;
}

std::optional<std::string> QtSettingsStore::ReadString(const std::string& name) {
    const QVariant value = settings_ ? settings_->value(QString::fromStdString(name)) : QVariant();
    if (!value.isValid())
        return std::nullopt;
    return value.toString().toStdString();
}

std::optional<int> QtSettingsStore::ReadInteger(const std::string& name) {
    const QVariant value = settings_ ? settings_->value(QString::fromStdString(name)) : QVariant();
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!value.isValid() || !ok)
        return std::nullopt;
    return number;
}

bool QtSettingsStore::WriteString(const std::string& name, const std::string& value) {
    if (!settings_)
        return false;
    settings_->setValue(QString::fromStdString(name), QString::fromStdString(value));
    return true;
}

bool QtSettingsStore::WriteInteger(const std::string& name, int value) {
    if (!settings_)
        return false;
    settings_->setValue(QString::fromStdString(name), value);
    return true;
}

bool QtSettingsStore::Close() {
    if (!settings_)
        return true;
    settings_->sync();
    const bool written = settings_->status() == QSettings::NoError;
    settings_.reset();
    return written;
}

QString QtSettingsStore::FileName() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication)
        .fileName();
}

} // namespace corvina::app
