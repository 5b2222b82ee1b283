#include "app/window/QtDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStringList>

namespace corvina::window {

QString QtFileFilter(const std::string& classic) {
    const QStringList parts = QString::fromStdString(classic).split('|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns =
            parts[i + 1].split(QRegularExpression("[;\\s]+"), Qt::SkipEmptyParts);
        entries << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return entries.join(";;");
}

void QtDialogs::ShowMessage(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Information, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

bool QtDialogs::BrowseForFolder(const std::string& headline, std::string& folder) {
    const QString chosen = QFileDialog::getExistingDirectory(
        parent_, QString::fromStdString(headline), QString::fromStdString(folder),
        QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    folder = chosen.toStdString();
    return true;
}

std::vector<std::string> QtDialogs::OpenFiles(const std::string& filter) {
    QFileDialog dialog(parent_);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(QtFileFilter(filter).split(";;"));
    // The descriptions already name their patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setSizeGripEnabled(true);
    std::vector<std::string> files;
    if (dialog.exec() == QDialog::Accepted)
        for (const QString& f : dialog.selectedFiles())
            files.push_back(f.toStdString());
    return files;
}

} // namespace corvina::window
