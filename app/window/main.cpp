// corvina: the window program. It reads no arguments.
#include "app/window/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvina");
    QApplication::setApplicationDisplayName("Corvina");
    QApplication::setOrganizationName("Harlowe");
    QApplication::setWindowIcon(QIcon(":/icons/corvina.svg"));

    corvina::window::MainWindow window;
    if (!window.Create())
        return 1; // the libraries are missing; the message was shown
    window.show();
    return QApplication::exec();
}
