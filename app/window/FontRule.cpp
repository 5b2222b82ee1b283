#include "app/window/FontRule.h"

#include <QFontDatabase>
#include <QWidget>

namespace corvina::window {

namespace {

constexpr const char* kModernFamily = "Segoe UI";

} // namespace

QFont ModernFont(const QFont& current, const QStringList& installed) {
    if (current.family().compare(kModernFamily, Qt::CaseInsensitive) == 0 ||
        !installed.contains(kModernFamily, Qt::CaseInsensitive))
        return current;
    QFont modern = current;
    modern.setFamily(kModernFamily);
    modern.setPointSizeF(current.pointSizeF() + 1);
    return modern;
}

void ApplyModernFont(QWidget* window) {
    window->setFont(ModernFont(window->font(), QFontDatabase::families()));
}

} // namespace corvina::window
