#pragma once
// The application object: shows errors that escape a user operation in the
// standard error message box, so no exception crosses the event loop.
#include <QApplication>
#include <QProxyStyle>

namespace vexlo::app {

class VexloApplication : public QApplication {
    Q_OBJECT
public:
    VexloApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The desktop's style, except that the toolbars' overflow pictures are asked
// of it only when one is drawn. Every toolbar makes its overflow button when
// it is made, and the button shows only when the toolbar does not fit; the
// style's picture for it is a PNG file, and reading the first one loads and
// asks every image-format plug-in installed, a good part of the start-up.
// The pictures, once drawn, are the style's own.
class DeferredOverflowIconStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const override;
};

// Closes `window` (as its close box does) on SIGTERM, SIGINT and SIGHUP.
void closeOnTerminationSignals(QWidget* window);

} // namespace vexlo::app
