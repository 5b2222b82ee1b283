// TFormAbout, "About": the program's icon, name and version, a link to the web site and one
// to the support address, "OK". Modal from the Help menu; lives as long as the program.
#pragma once

#include "app/window/Desktop.h"

#include <QDialog>

namespace corvina::window {

class AboutBox : public QDialog {
public:
    AboutBox(IDesktop& desktop, QWidget* parent);

    // Shows the box centred on the main window until "OK" closes it.
    void ShowModal();

private:
    IDesktop& desktop_;
};

} // namespace corvina::window
