#pragma once
// The application object: shows errors that escape a user operation in the
// standard error message box, so no exception crosses the event loop.
#include <QApplication>

namespace vexlo::app {

class VexloApplication : public QApplication {
    Q_OBJECT
public:
    VexloApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Closes `window` (as its close box does) on SIGTERM, SIGINT and SIGHUP.
void closeOnTerminationSignals(QWidget* window);

} // namespace vexlo::app
