// The Linux desktop session against a private dbus-daemon with small fake
// services on their own connections (and their own thread, as separate
// programs would answer): logind's Inhibit (served on the private bus in place
// of the system bus), the desktop portal, the screensaver, the notification
// server and a launcher-entry listener.
#include "platform/LinuxDesktopSession.h"
#include "platform/ProcessLauncher.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <vector>

namespace vexlo::test {

using platform::LinuxDesktopSession;
using Hold = LinuxDesktopSession::Hold;

struct BusCall {
    QString path, interface, member;
    QVariantList arguments;
};

// One fake service object: records every call and answers through `answer`
// (which may also answer nothing).
class FakeService : public QDBusVirtualObject {
public:
    using Answer = std::function<void(const QDBusMessage&, const QDBusConnection&)>;
    explicit FakeService(Answer answer) : m_answer(std::move(answer)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        {
            QMutexLocker lock(&m_mutex);
            m_calls.push_back({message.path(), message.interface(), message.member(), message.arguments()});
        }
        m_answer(message, connection);
        return true;
    }
    std::vector<BusCall> calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }

private:
    Answer m_answer;
    mutable QMutex m_mutex;
    std::vector<BusCall> m_calls;
};

// Receives the launcher-entry signals.
class LauncherListener : public QObject {
    Q_OBJECT
public:
    std::vector<std::pair<QString, QVariantMap>> updates() const
    {
        QMutexLocker lock(&m_mutex);
        return m_updates;
    }
public slots:
    void update(const QString& uri, const QVariantMap& properties)
    {
        QMutexLocker lock(&m_mutex);
        m_updates.emplace_back(uri, properties);
    }

private:
    mutable QMutex m_mutex;
    std::vector<std::pair<QString, QVariantMap>> m_updates;
};

void replyWith(const QDBusMessage& m, const QDBusConnection& c, const QVariant& value) { c.send(m.createReply(value)); }

class DesktopSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_bus = std::make_unique<PrivateBus>(m_dir.path().toStdString());
        m_address = QString::fromStdString(m_bus->address());
        ++m_round;
        ASSERT_FALSE(m_address.isEmpty()) << "no dbus-daemon (scripts/deps installs it)";
        m_thread.start();
    }

    void TearDown() override
    {
        m_session.reset();
        // The fakes go first: their destruction takes them off their
        // connections, which then have nothing left to undo.
        m_thread.quit();
        m_thread.wait();
        m_services.clear();
        m_listener.reset();
        for (const QString& name : m_connections)
            QDBusConnection::disconnectFromBus(name);
        m_connections.clear();
        m_bus.reset();
    }

    QDBusConnection connect(const QString& name)
    {
        const QString unique = QStringLiteral("%1-%2-%3").arg(name).arg(reinterpret_cast<quintptr>(this)).arg(m_round);
        m_connections << unique;
        return QDBusConnection::connectToBus(m_address, unique);
    }

    // Serves `answer` as `busName` at `path` (and below it).
    FakeService* serve(const QString& busName, const QString& path, FakeService::Answer answer)
    {
        auto service = std::make_unique<FakeService>(std::move(answer));
        QDBusConnection c = connect(busName);
        EXPECT_TRUE(c.isConnected());
        EXPECT_TRUE(c.registerVirtualObject(path, service.get(), QDBusConnection::SubPath));
        service->moveToThread(&m_thread); // with what the registration made
        EXPECT_TRUE(c.registerService(busName));
        m_services.push_back(std::move(service));
        return m_services.back().get();
    }

    FakeService* serveLogind(FakeService::Answer answer)
    {
        return serve(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"), std::move(answer));
    }
    // Every request gets the write end of a new pipe, as logind hands out one
    // descriptor per inhibitor; the test keeps the read ends.
    FakeService* serveLogindWithPipe()
    {
        return serveLogind([this](const QDBusMessage& m, const QDBusConnection& c) {
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC) != 0)
                return;
            {
                QMutexLocker lock(&m_pipesMutex);
                m_readEnds.push_back(fds[0]);
            }
            const QDBusUnixFileDescriptor handed(fds[1]); // a copy
            ::close(fds[1]);
            replyWith(m, c, QVariant::fromValue(handed));
        });
    }
    FakeService* servePortal()
    {
        return serve(QStringLiteral("org.freedesktop.portal.Desktop"),
            QStringLiteral("/org/freedesktop/portal/desktop"), [](const QDBusMessage& m, const QDBusConnection& c) {
                if (m.member() == QLatin1String("Inhibit"))
                    replyWith(m, c,
                        QVariant::fromValue(QDBusObjectPath("/org/freedesktop/portal/desktop/request/1_7/vexlo1")));
                else
                    c.send(m.createReply());
            });
    }
    FakeService* serveScreenSaver()
    {
        return serve(QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
            [](const QDBusMessage& m, const QDBusConnection& c) {
                if (m.member() == QLatin1String("Inhibit"))
                    replyWith(m, c, QVariant::fromValue(uint(4711)));
                else
                    c.send(m.createReply());
            });
    }
    FakeService* serveNotifications(const QStringList& capabilities)
    {
        return serve(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            [capabilities](const QDBusMessage& m, const QDBusConnection& c) {
                if (m.member() == QLatin1String("GetCapabilities"))
                    replyWith(m, c, capabilities);
                else
                    replyWith(m, c, QVariant::fromValue(uint(3)));
            });
    }
    LauncherListener* listenToLauncher()
    {
        m_listener = std::make_unique<LauncherListener>();
        m_listener->moveToThread(&m_thread);
        QDBusConnection c = connect(QStringLiteral("listener"));
        EXPECT_TRUE(c.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
            QStringLiteral("Update"), m_listener.get(), SLOT(update(QString, QVariantMap))));
        return m_listener.get();
    }

    // The session under test; logind is asked on the private bus too, unless
    // `withSystemBus` is false (no system bus at all).
    LinuxDesktopSession& session(bool withSystemBus = true)
    {
        const auto privateBus = [this] { return connect(QStringLiteral("client")); };
        LinuxDesktopSession::BusOpener system = privateBus;
        if (!withSystemBus)
            system = [] { return QDBusConnection(QStringLiteral("no-such-bus")); };
        m_session = std::make_unique<LinuxDesktopSession>(system, privateBus);
        return *m_session;
    }

    // The read end of the pipe of inhibitor `i` (0: the first handed out).
    int readEnd(size_t i = 0)
    {
        QMutexLocker lock(&m_pipesMutex);
        return i < m_readEnds.size() ? m_readEnds[i] : -1;
    }
    // True while some process still holds the write end of inhibitor `i`.
    bool pipeHeld(size_t i = 0)
    {
        pollfd p{readEnd(i), POLLIN, 0};
        return p.fd >= 0 && ::poll(&p, 1, 0) == 0;
    }

    QTemporaryDir m_dir;
    int m_round = 0; // one bus per SetUp
    std::unique_ptr<PrivateBus> m_bus;
    QString m_address;
    QThread m_thread;
    QStringList m_connections;
    std::vector<std::unique_ptr<FakeService>> m_services;
    std::unique_ptr<LauncherListener> m_listener;
    std::unique_ptr<LinuxDesktopSession> m_session;
    QMutex m_pipesMutex;
    std::vector<int> m_readEnds;

public:
    ~DesktopSessionTest() override
    {
        for (int fd : m_readEnds)
            ::close(fd);
    }
};

TEST_F(DesktopSessionTest, LogindInhibitorIsHeldDuringTheRunAndClosedAfterIt)
{
    FakeService* logind = serveLogindWithPipe();
    FakeService* portal = servePortal();
    FakeService* screenSaver = serveScreenSaver();
    LinuxDesktopSession& s = session();

    s.inhibitSleep();
    EXPECT_EQ(s.hold(), Hold::Asking) << "the request returns before logind answers";
    ASSERT_TRUE(waitFor([&] { return s.hold() == Hold::Logind; }));
    const auto calls = logind->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].interface, "org.freedesktop.login1.Manager");
    EXPECT_EQ(calls[0].member, "Inhibit");
    EXPECT_EQ(calls[0].arguments, (QVariantList{"sleep:idle", "Vexlo", "Converting videos", "block"}));
    s.inhibitSleep(); // held already: nothing more is asked (asking would show at once)
    EXPECT_EQ(s.hold(), Hold::Logind);
    EXPECT_EQ(logind->calls().size(), 1u);
    EXPECT_TRUE(portal->calls().empty());
    EXPECT_TRUE(screenSaver->calls().empty());
    EXPECT_TRUE(pipeHeld()) << "the inhibitor's descriptor is kept open while the run lasts";

    // An engine started during the run does not inherit the inhibitor.
    struct stat st {};
    ASSERT_EQ(::fstat(readEnd(), &st), 0);
    const std::string listing = m_dir.filePath("child-fds").toStdString();
    const auto ended
        = platform::qtProcessLauncher()->runAndWait("/bin/sh", {"-c", "ls -l /proc/$$/fd/ > '" + listing + "'"}, [] {});
    ASSERT_TRUE(ended.started);
    const std::string fds = readFile(listing);
    EXPECT_NE(fds.find("->"), std::string::npos) << fds;
    EXPECT_EQ(fds.find("pipe:[" + std::to_string(st.st_ino) + "]"), std::string::npos) << fds;

    s.allowSleep();
    EXPECT_EQ(s.hold(), Hold::None);
    EXPECT_TRUE(waitFor([&] { return !pipeHeld(); }, std::chrono::seconds(3)))
        << "the descriptor is closed when the run ends";
}

TEST_F(DesktopSessionTest, AnInhibitorGrantedAfterTheRunEndedIsGivenBack)
{
    FakeService* logind = serveLogindWithPipe();
    LinuxDesktopSession& s = session();
    s.inhibitSleep();
    s.allowSleep(); // before logind's answer arrives
    ASSERT_TRUE(waitFor([&] { return readEnd(0) >= 0; }));
    EXPECT_TRUE(waitFor([&] { return !pipeHeld(0); }, std::chrono::seconds(3)));
    EXPECT_EQ(s.hold(), Hold::None);

    // The next run asks anew and holds its own.
    s.inhibitSleep();
    ASSERT_TRUE(waitFor([&] { return s.hold() == Hold::Logind; }));
    EXPECT_EQ(logind->calls().size(), 2u);
    EXPECT_TRUE(pipeHeld(1));
    s.allowSleep();
    EXPECT_TRUE(waitFor([&] { return !pipeHeld(1); }, std::chrono::seconds(3)));
}

TEST_F(DesktopSessionTest, FallbackOrderWhenLogindCannotHelp)
{
    struct Case {
        const char* name;
        enum { Absent, NoSystemBus, Refuses, Hangs } logind;
        bool portal;
        bool screenSaver;
        Hold expected;
    };
    const Case cases[] = {
        {"logind absent", Case::Absent, true, true, Hold::Portal},
        {"no system bus", Case::NoSystemBus, true, true, Hold::Portal},
        {"logind refuses", Case::Refuses, true, true, Hold::Portal},
        {"logind does not answer", Case::Hangs, true, true, Hold::Portal},
        {"only the screensaver", Case::Absent, false, true, Hold::ScreenSaver},
        {"nothing", Case::Absent, false, false, Hold::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        m_services.clear();
        SetUp();
        FakeService* logind = nullptr;
        if (c.logind == Case::Refuses)
            logind = serveLogind([](const QDBusMessage& m, const QDBusConnection& conn) {
                conn.send(m.createErrorReply(
                    QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), QStringLiteral("not allowed")));
            });
        if (c.logind == Case::Hangs)
            logind = serveLogind([](const QDBusMessage&, const QDBusConnection&) {});
        FakeService* portal = c.portal ? servePortal() : nullptr;
        FakeService* screenSaver = c.screenSaver ? serveScreenSaver() : nullptr;
        LinuxDesktopSession& s = session(c.logind != Case::NoSystemBus);

        testing::internal::CaptureStderr();
        s.inhibitSleep();
        EXPECT_EQ(s.hold(), Hold::Asking);
        const bool settled = waitFor([&] { return s.hold() != Hold::Asking; }, std::chrono::seconds(5));
        const std::string errors = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(settled);
        EXPECT_EQ(s.hold(), c.expected);
        if (logind) {
            EXPECT_EQ(logind->calls().size(), 1u);
        }

        if (c.expected == Hold::Portal) {
            EXPECT_TRUE(errors.empty()) << errors;
            const auto asked = portal->calls();
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0].interface, "org.freedesktop.portal.Inhibit");
            EXPECT_EQ(asked[0].arguments.value(0).toString(), "");
            EXPECT_EQ(asked[0].arguments.value(1).toUInt(), 4u | 8u) << "suspend and idle";
            EXPECT_EQ(
                qdbus_cast<QVariantMap>(asked[0].arguments.value(2)).value("reason").toString(), "Converting videos");
            EXPECT_TRUE(screenSaver->calls().empty());
            s.allowSleep();
            ASSERT_TRUE(waitFor([&] { return portal->calls().size() == 2; }));
            const BusCall close = portal->calls()[1];
            EXPECT_EQ(close.path, "/org/freedesktop/portal/desktop/request/1_7/vexlo1");
            EXPECT_EQ(close.interface, "org.freedesktop.portal.Request");
            EXPECT_EQ(close.member, "Close");
        } else if (c.expected == Hold::ScreenSaver) {
            EXPECT_TRUE(errors.empty()) << errors;
            const auto asked = screenSaver->calls();
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0].member, "Inhibit");
            EXPECT_EQ(asked[0].arguments, (QVariantList{"Vexlo", "Converting videos"}));
            s.allowSleep();
            ASSERT_TRUE(waitFor([&] { return screenSaver->calls().size() == 2; }));
            EXPECT_EQ(screenSaver->calls()[1].member, "UnInhibit");
            EXPECT_EQ(screenSaver->calls()[1].arguments, (QVariantList{uint(4711)}));
        } else {
            EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
            EXPECT_NE(errors.find("awake"), std::string::npos) << errors;
            s.allowSleep();
        }
    }
}

namespace {
struct ImageData {
    int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
    bool alpha = false;
    QByteArray bytes;
};
ImageData readImageData(const QVariant& hint)
{
    ImageData d;
    const QDBusArgument arg = hint.value<QDBusArgument>();
    arg.beginStructure();
    arg >> d.width >> d.height >> d.stride >> d.alpha >> d.bits >> d.channels >> d.bytes;
    arg.endStructure();
    return d;
}
} // namespace

TEST_F(DesktopSessionTest, NotificationArguments)
{
    QImage icon(48, 48, QImage::Format_ARGB32);
    icon.fill(QColor(10, 20, 30, 200));
    const platform::DesktopNotification sent{
        "Conversion completed!", "2 of 3 files converted\n/home/me/R&B <live>/", icon};
    for (const bool markup : {true, false}) {
        SCOPED_TRACE(markup ? "server reads markup" : "plain-text server");
        TearDown();
        m_services.clear();
        SetUp();
        FakeService* server
            = serveNotifications(markup ? QStringList{"body", "body-markup", "icon-static"} : QStringList{"body"});
        LinuxDesktopSession& s = session();
        s.notify(sent);
        ASSERT_TRUE(waitFor([&] { return server->calls().size() == 2; }));
        const auto calls = server->calls();
        EXPECT_EQ(calls[0].member, "GetCapabilities");
        const BusCall& notify = calls[1];
        EXPECT_EQ(notify.interface, "org.freedesktop.Notifications");
        EXPECT_EQ(notify.member, "Notify");
        const QVariantList& a = notify.arguments;
        ASSERT_EQ(a.size(), 8);
        EXPECT_EQ(a[0].toString(), "Vexlo");
        EXPECT_EQ(a[1].toUInt(), 0u);
        EXPECT_EQ(a[2].toString(), "vexlo");
        EXPECT_EQ(a[3].toString(), "Conversion completed!");
        EXPECT_EQ(a[4].toString(),
            markup ? "2 of 3 files converted\n/home/me/R&amp;B &lt;live&gt;/"
                   : "2 of 3 files converted\n/home/me/R&B <live>/");
        EXPECT_TRUE(a[5].toStringList().isEmpty());
        EXPECT_EQ(a[7].toInt(), -1);
        const QVariantMap hints = qdbus_cast<QVariantMap>(a[6]);
        EXPECT_EQ(hints.value("desktop-entry").toString(), "vexlo");
        const ImageData image = readImageData(hints.value("image-data"));
        EXPECT_EQ(image.width, 48);
        EXPECT_EQ(image.height, 48);
        EXPECT_EQ(image.stride, 48 * 4);
        EXPECT_TRUE(image.alpha);
        EXPECT_EQ(image.bits, 8);
        EXPECT_EQ(image.channels, 4);
        ASSERT_EQ(image.bytes.size(), 48 * 48 * 4);
        EXPECT_EQ(QByteArray(image.bytes.constData(), 4), QByteArray("\x0a\x14\x1e\xc8", 4)) << "RGBA order";

        // The abilities are asked once; the next notification goes at once.
        s.notify({"Conversion aborted!", "0 of 1 files converted", {}});
        ASSERT_TRUE(waitFor([&] { return server->calls().size() == 3; }));
        EXPECT_EQ(server->calls()[2].arguments.value(3).toString(), "Conversion aborted!");
        EXPECT_FALSE(qdbus_cast<QVariantMap>(server->calls()[2].arguments.value(6)).contains("image-data"));
    }
}

TEST_F(DesktopSessionTest, FlushDeliversTheLastNotificationBeforeTheProgramEnds)
{
    FakeService* server = serveNotifications({"body"});
    {
        LinuxDesktopSession& s = session();
        s.notify({"Conversion completed!", "1 of 1 files converted", {}});
        s.flush(); // no event loop runs between the request and the end
        m_session.reset();
    }
    const auto calls = server->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].member, "Notify");
}

TEST_F(DesktopSessionTest, NoNotificationServiceNoNotification)
{
    LinuxDesktopSession& s = session();
    s.inhibitSleep(); // also asks for the notification server's abilities
    s.notify({"Conversion completed!", "1 of 1 files converted", {}});
    s.flush();
    EXPECT_TRUE(waitFor([&] { return s.hold() != Hold::Asking; }, std::chrono::seconds(5)));
    // A server that starts later is found by the next notification.
    FakeService* server = serveNotifications({"body"});
    s.notify({"Conversion aborted!", "0 of 1 files converted", {}});
    ASSERT_TRUE(waitFor([&] { return server->calls().size() == 2; }));
    EXPECT_EQ(server->calls()[1].arguments.value(3).toString(), "Conversion aborted!");
    s.allowSleep();
}

TEST_F(DesktopSessionTest, LauncherEntryMessages)
{
    LinuxDesktopSession& s = session();
    s.setTaskbarProgress(0.0, true); // nobody listens yet: nothing breaks
    LauncherListener* listener = listenToLauncher();
    s.setTaskbarProgress(1.0 / 3, true);
    s.setTaskbarProgress(1.0 / 3, true); // unchanged: not sent again
    s.setTaskbarProgress(2.0 / 3, true);
    s.setTaskbarProgress(1.0, false);
    // A last, different update marks the end: the bus keeps one sender's
    // messages in order, so everything sent before it has arrived with it.
    s.setTaskbarProgress(0.5, true);
    ASSERT_TRUE(waitFor([&] {
        const auto seen = listener->updates();
        return !seen.empty() && seen.back().second.value("progress").toDouble() == 0.5;
    }));
    auto updates = listener->updates();
    updates.pop_back();
    ASSERT_EQ(updates.size(), 3u);
    const std::pair<double, bool> expected[] = {{1.0 / 3, true}, {2.0 / 3, true}, {1.0, false}};
    for (size_t i = 0; i < updates.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(updates[i].first, "application://vexlo.desktop");
        EXPECT_DOUBLE_EQ(updates[i].second.value("progress").toDouble(), expected[i].first);
        EXPECT_EQ(updates[i].second.value("progress-visible").toBool(), expected[i].second);
    }
}

} // namespace vexlo::test

#include "DesktopSessionTest.moc"
