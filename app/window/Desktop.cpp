#include "app/window/Desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace corvina::window {

void QtDesktop::OpenUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

QString HelpFilePath(const QString& programFolder) {
    const QDir program(programFolder);
    const QString beside = program.filePath("help/index.html");
    const QString installed = QDir::cleanPath(program.filePath("../share/corvina/help/index.html"));
    if (!QFileInfo::exists(beside) && QFileInfo::exists(installed))
        return installed;
    return beside;
}

} // namespace corvina::window
