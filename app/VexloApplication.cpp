#include "VexloApplication.h"

#include "platform/Product.h"
#include "platform/Services.h"
#include "base/SignalPipe.h"

#include <QDialog>
#include <QIconEngine>
#include <QLibraryInfo>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QSocketNotifier>
#include <QVersionNumber>
#include <QWidget>
#include <csignal>
#include <unistd.h>

namespace vexlo::app {

VexloApplication::VexloApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The app id on Wayland and the entry a desktop matches the windows with
    // (vexlo.desktop: the name and icon in docks and Alt+Tab), the run's
    // progress window included.
    setDesktopFileName(QStringLiteral("vexlo"));
    setStyle(new DeferredOverflowIconStyle(style()));
}

namespace {

// Stands for the style's picture `which` and asks the style for it when it is
// first needed.
class DeferredStyleIconEngine : public QIconEngine {
public:
    DeferredStyleIconEngine(
        const QStyle* style, QStyle::StandardPixmap which, const QStyleOption* option, const QWidget* widget)
        : m_style(style), m_which(which), m_hasOption(option != nullptr), m_widget(widget)
    {
        if (option)
            m_option = *option;
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        // As the style's pictures (PNG files) draw themselves: up to Qt 6.7
        // a pixmap of the device's pixels, from 6.8 on the picture at the
        // device's scale.
        const qreal scale = painter->device() ? painter->device()->devicePixelRatio() : qApp->devicePixelRatio();
        painter->drawPixmap(rect,
            sizesInDevicePixels() ? pixmap(rect.size() * scale, mode, state)
                                  : icon().pixmap(rect.size(), scale, mode, state));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(sizesInDevicePixels() ? size / scale : size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return icon().isNull(); }
    QString key() const override { return QStringLiteral("VexloDeferredStyleIcon"); }
    QIconEngine* clone() const override { return new DeferredStyleIconEngine(*this); }

private:
    // QIcon hands its engine sizes in device pixels up to Qt 6.7 and in the
    // caller's own pixels from Qt 6.8 on (the running library decides, not
    // the one built against).
    static bool sizesInDevicePixels()
    {
        static const bool device = QLibraryInfo::version() < QVersionNumber(6, 8);
        return device;
    }
    const QIcon& icon()
    {
        if (!m_resolved) {
            m_resolved = true;
            if (m_style)
                m_icon = m_style->standardIcon(m_which, m_hasOption ? &m_option : nullptr, m_widget);
        }
        return m_icon;
    }
    QPointer<const QStyle> m_style;
    QStyle::StandardPixmap m_which;
    QStyleOption m_option;
    bool m_hasOption;
    QPointer<const QWidget> m_widget;
    bool m_resolved = false;
    QIcon m_icon;
};

} // namespace

QIcon DeferredOverflowIconStyle::standardIcon(
    StandardPixmap which, const QStyleOption* option, const QWidget* widget) const
{
    if (which == SP_ToolBarHorizontalExtensionButton || which == SP_ToolBarVerticalExtensionButton)
        return QIcon(new DeferredStyleIconEngine(baseStyle(), which, option, widget));
    return QProxyStyle::standardIcon(which, option, widget);
}

bool VexloApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        platform::services().messages->show(
            activeWindow(), product::kName, e.what(), platform::MessageIcon::Error, platform::MessageButtons::Ok);
    } catch (...) {
        platform::services().messages->show(activeWindow(), product::kName,
            QCoreApplication::translate("TMainForm", "Unexpected error").toStdString(), platform::MessageIcon::Error,
            platform::MessageButtons::Ok);
    }
    return false;
}

void closeOnTerminationSignals(QWidget* window)
{
    const int signalPipe = termination::signalPipe();
    if (signalPipe < 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe, QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        termination::drainSignalPipe();
        // A modal box or dialog would keep its own loop running: it is
        // answered as by Escape (a question gets No) before the window closes.
        for (int round = 0; round < 16; ++round) {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                break;
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
            if (QApplication::activeModalWidget() == modal)
                modal->hide();
        }
        window->close();
    });
}

} // namespace vexlo::app
