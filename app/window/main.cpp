// corvina: the window program. It reads no arguments.
#include "app/window/StartUp.h"
#include "preview/QtMediaPlayer.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    corvina::preview::PreferPlaybackBackend();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvina");
    QApplication::setOrganizationName("Harlowe");
    return corvina::window::RunCorvina();
}
