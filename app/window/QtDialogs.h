// The workflow's dialogs as Qt dialogs: message boxes titled as the workflow asks, the
// Yes/No question, the folder dialog and the open dialog for existing files.
#pragma once

#include "app/core/Dialogs.h"

#include <QString>

class QWidget;

namespace corvina::window {

// The classic filter "Name|patterns|Name|patterns|" in Qt's syntax: one entry per pair,
// "Name (*.a *.b)"; blanks and semicolons between patterns become single blanks.
QString QtFileFilter(const std::string& classic);

class QtDialogs : public app::IDialogs {
public:
    explicit QtDialogs(QWidget* parent) : parent_(parent) {}

    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    bool BrowseForFolder(const std::string& headline, std::string& folder) override;
    std::vector<std::string> OpenFiles(const std::string& filter) override;

private:
    QWidget* parent_;
};

} // namespace corvina::window
