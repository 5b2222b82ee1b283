// corvina: the window program. It reads no arguments.
#include "app/window/StartUp.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvina");
    QApplication::setOrganizationName("Harlowe");
    return corvina::window::RunCorvina();
}
