// The message boxes, the question box and the file and folder dialogs, behind one small
// interface: the window uses Qt dialogs, tests a scripted fake, the front end the terminal.
#pragma once

#include <string>
#include <vector>

namespace corvina::app {

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // A message box with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
    // The question box (Yes / No); true for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
    // The folder dialog; true with the chosen folder when confirmed.
    virtual bool BrowseForFolder(const std::string& headline, std::string& folder) = 0;
    // The open dialog for existing files; empty when cancelled.
    virtual std::vector<std::string> OpenFiles(const std::string& filter) = 0;
};

} // namespace corvina::app
