// Starts a QApplication, shows one main window with a status bar, lets it
// paint once and ends: what any Qt window program pays at start-up.
#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.statusBar()->showMessage("Ready");
    window.resize(800, 480);
    window.show();
    QCoreApplication::processEvents();
    return 0;
}
