#include "LinuxDesktopSession.h"

#include "BusProbe.h"

#include "Product.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QVariantMap>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace vexlo::platform {

namespace {

const QString kWho = QStringLiteral("Vexlo");

// Why the computer is kept awake, as the desktop shows it to the user.
QString reasonText() { return QCoreApplication::translate("LinuxDesktopSession", "Converting videos"); }

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QDBusConnection noBus() { return QDBusConnection(QStringLiteral("vexlo-no-bus")); }

// The user's session bus, when the session announces one and it answers.
// libdbus would otherwise start a bus of its own through dbus-launch (X11
// autolaunch), which outlives the program, or wait for a silent daemon
// without end, with the window's thread waiting behind it.
QDBusConnection userSessionBus() { return busAnswers(sessionBusAddress()) ? QDBusConnection::sessionBus() : noBus(); }

// The machine's system bus (logind), when it answers in time.
QDBusConnection machineSystemBus() { return busAnswers(systemBusAddress()) ? QDBusConnection::systemBus() : noBus(); }

QDBusMessage portalCall(const QString& path, const QString& interface, const QString& method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"), path, interface, method);
}

QDBusMessage screenSaverCall(const QString& method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"), method);
}

QDBusMessage notificationsCall(const QString& method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"), method);
}

// The notification hint "image-data": (iiibiiay), 8-bit RGBA rows.
QVariant imageData(const QImage& icon)
{
    const QImage image = icon.convertToFormat(QImage::Format_RGBA8888);
    QDBusArgument data;
    data.beginStructure();
    data << image.width() << image.height() << static_cast<int>(image.bytesPerLine()) << true << 8 << 4
         << QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    data.endStructure();
    return QVariant::fromValue(data);
}

} // namespace

LinuxDesktopSession::LinuxDesktopSession() : LinuxDesktopSession(machineSystemBus, userSessionBus) {}

LinuxDesktopSession::LinuxDesktopSession(BusOpener systemBus, BusOpener sessionBus)
    : m_openSystem(std::move(systemBus)), m_openSession(std::move(sessionBus))
{}

LinuxDesktopSession::~LinuxDesktopSession()
{
    release();
    m_context.reset(); // no answer arrives after this
}

QObject* LinuxDesktopSession::context()
{
    if (!m_context)
        m_context = std::make_unique<QObject>();
    return m_context.get();
}

QDBusConnection& LinuxDesktopSession::systemBus()
{
    if (!m_system)
        m_system = m_openSystem ? m_openSystem() : noBus();
    return *m_system;
}

QDBusConnection& LinuxDesktopSession::sessionBus()
{
    if (!m_session)
        m_session = m_openSession ? m_openSession() : noBus();
    return *m_session;
}

// ------------------------------------------------------------- keeping awake

void LinuxDesktopSession::inhibitSleep()
{
    if (m_hold != Hold::None)
        return;
    ++m_generation;
    m_hold = Hold::Asking;
    // The notification service's abilities are asked for now, so that the
    // run's end can notify without waiting.
    if (!m_capabilities && !m_capabilitiesCall)
        queryCapabilities();
    ask(Step::Logind);
}

void LinuxDesktopSession::ask(Step step)
{
    QDBusMessage message;
    QDBusConnection* bus = nullptr;
    switch (step) {
    case Step::Logind:
        bus = &systemBus();
        message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
            QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
            QStringLiteral("Inhibit"));
        message << QStringLiteral("sleep:idle") << kWho << reasonText() << QStringLiteral("block");
        break;
    case Step::Portal: {
        bus = &sessionBus();
        message = portalCall(QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
        const uint suspendAndIdle = 4 | 8;
        message << QString() << suspendAndIdle << QVariantMap{{QStringLiteral("reason"), reasonText()}};
        break;
    }
    case Step::ScreenSaver:
        bus = &sessionBus();
        message = screenSaverCall(QStringLiteral("Inhibit"));
        message << kWho << reasonText();
        break;
    }
    if (!bus->isConnected()) {
        giveUp(step); // no bus: the next way at once
        return;
    }
    const QDBusPendingCall call = bus->asyncCall(message, kCallTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(call, context());
    const unsigned generation = m_generation;
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, context(), [this, step, generation](QDBusPendingCallWatcher* w) {
            answered(step, *w, generation);
            w->deleteLater();
        });
}

void LinuxDesktopSession::answered(Step step, const QDBusPendingCall& call, unsigned generation)
{
    const bool wanted = generation == m_generation && m_hold == Hold::Asking;
    const QDBusMessage reply = call.reply();
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (wanted)
            giveUp(step);
        return;
    }
    const QVariant first = reply.arguments().value(0);
    switch (step) {
    case Step::Logind: {
        const auto handed = first.value<QDBusUnixFileDescriptor>();
        // Our own copy, closed on exec: an engine started during the run
        // must not keep the computer awake after the program has ended.
        const int fd = handed.isValid() ? ::fcntl(handed.fileDescriptor(), F_DUPFD_CLOEXEC, 3) : -1;
        if (fd < 0) {
            if (wanted)
                giveUp(step);
        } else if (wanted) {
            m_fd = fd;
            m_hold = Hold::Logind;
        } else {
            ::close(fd);
        }
        break;
    }
    case Step::Portal: {
        const QString request = first.value<QDBusObjectPath>().path();
        if (request.isEmpty()) {
            if (wanted)
                giveUp(step);
        } else if (wanted) {
            m_portalRequest = request;
            m_hold = Hold::Portal;
        } else {
            sessionBus().send(
                portalCall(request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
        }
        break;
    }
    case Step::ScreenSaver: {
        bool ok = false;
        const uint cookie = first.toUInt(&ok);
        if (!ok) {
            if (wanted)
                giveUp(step);
        } else if (wanted) {
            m_screenSaverCookie = cookie;
            m_hold = Hold::ScreenSaver;
        } else {
            sessionBus().send(screenSaverCall(QStringLiteral("UnInhibit")) << cookie);
        }
        break;
    }
    }
}

void LinuxDesktopSession::giveUp(Step step)
{
    switch (step) {
    case Step::Logind:
        ask(Step::Portal);
        break;
    case Step::Portal:
        ask(Step::ScreenSaver);
        break;
    case Step::ScreenSaver:
        m_hold = Hold::None;
        std::fprintf(stderr,
            "%s: cannot keep the computer awake during the run: neither logind, the "
            "desktop portal nor the screensaver accepted the request\n",
            product::kName);
        std::fflush(stderr);
        break;
    }
}

void LinuxDesktopSession::allowSleep()
{
    ++m_generation; // an answer still on its way is given back when it comes
    release();
}

void LinuxDesktopSession::release()
{
    switch (m_hold) {
    case Hold::Logind:
        ::close(m_fd);
        m_fd = -1;
        break;
    case Hold::Portal:
        sessionBus().send(
            portalCall(m_portalRequest, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
        m_portalRequest.clear();
        break;
    case Hold::ScreenSaver:
        sessionBus().send(screenSaverCall(QStringLiteral("UnInhibit")) << m_screenSaverCookie);
        m_screenSaverCookie = 0;
        break;
    case Hold::None:
    case Hold::Asking:
        break;
    }
    m_hold = Hold::None;
}

// ------------------------------------------------------------- notifications

void LinuxDesktopSession::queryCapabilities()
{
    QDBusConnection& bus = sessionBus();
    if (!bus.isConnected())
        return;
    const QDBusPendingCall call = bus.asyncCall(notificationsCall(QStringLiteral("GetCapabilities")), kCallTimeoutMs);
    m_capabilitiesCall = call;
    const unsigned ask = ++m_capabilitiesAsk;
    auto* watcher = new QDBusPendingCallWatcher(call, context());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context(), [this, ask](QDBusPendingCallWatcher* w) {
        capabilitiesAnswered(*w, ask);
        w->deleteLater();
    });
}

void LinuxDesktopSession::capabilitiesAnswered(const QDBusPendingCall& call, unsigned ask)
{
    if (!m_capabilitiesCall || ask != m_capabilitiesAsk)
        return; // already taken by flush()
    m_capabilitiesCall.reset();
    const QDBusMessage reply = call.reply();
    std::vector<DesktopNotification> waiting;
    waiting.swap(m_waiting);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return; // no notification service: the waiting ones are dropped
    m_capabilities = reply.arguments().value(0).toStringList();
    for (const DesktopNotification& notification : waiting)
        send(notification);
}

void LinuxDesktopSession::notify(const DesktopNotification& notification)
{
    if (m_capabilities) {
        send(notification);
        return;
    }
    if (!sessionBus().isConnected())
        return;
    m_waiting.push_back(notification);
    if (!m_capabilitiesCall)
        queryCapabilities();
}

void LinuxDesktopSession::send(const DesktopNotification& notification)
{
    QDBusConnection& bus = sessionBus();
    if (!bus.isConnected())
        return;
    QString body = fromUtf8(notification.body);
    // A server that reads markup would take "<" and "&" in a folder name
    // for markup, and may drop the whole text as malformed.
    if (m_capabilities->contains(QStringLiteral("body-markup")))
        body = body.toHtmlEscaped();
    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("vexlo")}};
    if (!notification.icon.isNull())
        hints.insert(QStringLiteral("image-data"), imageData(notification.icon));
    QDBusMessage message = notificationsCall(QStringLiteral("Notify"));
    message << kWho << uint(0) << QStringLiteral("vexlo") << fromUtf8(notification.title) << body << QStringList()
            << hints << int(-1);
    m_sent.erase(std::remove_if(m_sent.begin(), m_sent.end(), [](const QDBusPendingCall& c) { return c.isFinished(); }),
        m_sent.end());
    m_sent.push_back(bus.asyncCall(message, kCallTimeoutMs));
}

void LinuxDesktopSession::flush()
{
    if (m_capabilitiesCall && !m_waiting.empty()) {
        QDBusPendingCall call = *m_capabilitiesCall;
        call.waitForFinished(); // bounded by the call's own time limit
        capabilitiesAnswered(call, m_capabilitiesAsk);
    }
    for (QDBusPendingCall& call : m_sent)
        call.waitForFinished();
    m_sent.clear();
}

// ------------------------------------------------------------ taskbar

void LinuxDesktopSession::setTaskbarProgress(double fraction, bool visible)
{
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction == m_lastFraction && visible == m_lastVisible)
        return;
    QDBusConnection& bus = sessionBus();
    if (!bus.isConnected())
        return;
    m_lastFraction = fraction;
    m_lastVisible = visible;
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/vexlo"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    signal << QString::fromLatin1(kLauncherUri)
           << QVariantMap{{QStringLiteral("progress"), fraction}, {QStringLiteral("progress-visible"), visible}};
    bus.send(signal); // a signal: nobody has to listen
}

// ---------------------------------------------------------------------------

void LogindPower::powerOff()
{
    const QDBusConnection bus = machineSystemBus();
    if (!bus.isConnected())
        return;
    QDBusInterface manager(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), bus);
    if (!manager.isValid())
        return;
    // Waits for logind's answer, so that the request is on its way before the
    // program ends; false: not interactive.
    manager.setTimeout(5000);
    manager.call(QDBus::Block, QStringLiteral("PowerOff"), false);
}

} // namespace vexlo::platform
