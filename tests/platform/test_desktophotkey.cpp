// The hot key on Wayland: the desktop portal first, then KDE's global shortcut service, then the
// X11 grab. A private bus without service activation stands for the session bus; small services
// in the test stand for the desktop, which is what cannot run here.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/desktop/hotkeychain.h"
#include "privatebus.h"

using namespace kestrel;

namespace {

constexpr quint16 kQ = 0x51;
constexpr quint16 kF8 = 0x77;
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

void Emit(const QDBusConnection& bus, const QString& path, const QString& interface,
          const QString& name, const QVariantList& arguments) {
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    signal.setArguments(arguments);
    bus.send(signal);
}

// The desktop portal's global shortcuts as a desktop offers them.
class FakePortal : public QDBusVirtualObject {
public:
    bool offered = true;  // the running portal has the interface
    uint bindAnswer = 0;  // 0: the user took the key; 1: the user cancelled the dialog
    QString trigger;      // the preferred trigger of the last bind
    QString session;
    QStringList closed;  // the sessions closed

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        const QList<QVariant> args = m.arguments();
        if (m.member() == QLatin1String("Get")) {
            bus.send(offered ? m.createReply(QVariant::fromValue(QDBusVariant(2u)))
                             : m.createErrorReply(QDBusError::UnknownInterface, "no such"));
        } else if (m.member() == QLatin1String("CreateSession")) {
            const QVariantMap options = qdbus_cast<QVariantMap>(args.value(0));
            session =
                kPortalPath + "/session/x/" + options.value("session_handle_token").toString();
            Answer(m, bus, options, 0, {{"session_handle", session}});
        } else if (m.member() == QLatin1String("BindShortcuts")) {
            const QDBusArgument shortcuts = args.value(1).value<QDBusArgument>();
            shortcuts.beginArray();
            while (!shortcuts.atEnd()) {
                QString id;
                QVariantMap properties;
                shortcuts.beginStructure();
                shortcuts >> id >> properties;
                shortcuts.endStructure();
                if (id == QLatin1String("toggle"))
                    trigger = properties.value("preferred_trigger").toString();
            }
            shortcuts.endArray();
            Answer(m, bus, qdbus_cast<QVariantMap>(args.value(3)), bindAnswer, {});
        } else if (m.member() == QLatin1String("Close")) {
            closed.append(m.path());
            bus.send(m.createReply());
        } else {
            return false;
        }
        return true;
    }

private:
    // The reply names the request object; its Response carries the outcome.
    static void Answer(const QDBusMessage& m, const QDBusConnection& bus,
                       const QVariantMap& options, uint response, const QVariantMap& results) {
        const QString request = kPortalPath + "/request/" + m.service().mid(1).replace('.', '_') +
                                '/' + options.value("handle_token").toString();
        bus.send(m.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        Emit(bus, request, "org.freedesktop.portal.Request", "Response", {response, results});
    }
};

// KDE's global shortcut service.
class FakeAccel : public QDBusVirtualObject {
public:
    bool heldElsewhere = false;
    QList<int> keys;
    int inactive = 0;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        const QList<QVariant> args = m.arguments();
        if (m.member() == QLatin1String("doRegister")) {
            bus.send(m.createReply());
        } else if (m.member() == QLatin1String("setShortcut")) {
            keys = qdbus_cast<QList<int>>(args.value(1));
            bus.send(m.createReply(QVariant::fromValue(heldElsewhere ? QList<int>{} : keys)));
        } else if (m.member() == QLatin1String("getComponent")) {
            bus.send(m.createReply(QVariant::fromValue(QDBusObjectPath("/component/kestrel"))));
        } else if (m.member() == QLatin1String("setInactive")) {
            ++inactive;
            bus.send(m.createReply());
        } else {
            return false;
        }
        return true;
    }
};

struct Events {
    QList<QPair<quint16, quint16>> presses;
    QList<bool> settled;
    int refused = 0;

    void Watch(IHotKeyService& service) {
        service.OnHotKey = [this](quint16 vk, quint16 mods) { presses.append({vk, mods}); };
        service.OnSettled = [this](bool bound) { settled.append(bound); };
        service.OnRefused = [this](quint16, quint16) { ++refused; };
    }
};

}  // namespace

class TestDesktopHotKey : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void keyNames_data();
    void keyNames();
    void portalBindsTheKeyAndItsActivationToggles();
    void fallsBackWhenAServiceIsMissingOrRefuses_data();
    void fallsBackWhenAServiceIsMissingOrRefuses();
    void x11SessionsKeepTheGrab();

private:
    void Offer(bool portal, bool accel);

    QTemporaryDir dir_;
    QProcess bus_;
    QString address_;
    std::unique_ptr<QDBusConnection> desktop_;
    std::unique_ptr<FakePortal> portal_;
    std::unique_ptr<FakeAccel> accel_;
};

void TestDesktopHotKey::initTestCase() {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        QSKIP("dbus-daemon is not installed");
    address_ = test::StartPrivateBus(bus_, dir_);
    QVERIFY(!address_.isEmpty());
    // Before anything in this process talks to a bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    qputenv("WAYLAND_DISPLAY", "wayland-kestrel-test");
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestDesktopHotKey::cleanupTestCase() {
    desktop_.reset();
    QDBusConnection::disconnectFromBus("desktop");
    bus_.terminate();
    bus_.waitForFinished(5000);
}

void TestDesktopHotKey::init() {
    portal_ = std::make_unique<FakePortal>();
    accel_ = std::make_unique<FakeAccel>();
    desktop_ = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(address_, QStringLiteral("desktop")));
    QVERIFY(desktop_->isConnected());
    QVERIFY(desktop_->registerVirtualObject(kPortalPath, portal_.get(), QDBusConnection::SubPath));
    QVERIFY(desktop_->registerVirtualObject("/kglobalaccel", accel_.get()));
}

void TestDesktopHotKey::cleanup() {
    desktop_->unregisterObject(kPortalPath);
    desktop_->unregisterObject("/kglobalaccel");
    desktop_->unregisterService("org.freedesktop.portal.Desktop");
    desktop_->unregisterService("org.kde.kglobalaccel");
    desktop_.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
}

void TestDesktopHotKey::Offer(bool portal, bool accel) {
    if (portal)
        QVERIFY(desktop_->registerService("org.freedesktop.portal.Desktop"));
    if (accel)
        QVERIFY(desktop_->registerService("org.kde.kglobalaccel"));
}

void TestDesktopHotKey::keyNames_data() {
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("vk");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<int>("qtKey");
    QTest::newRow("F8") << 0 << int(kF8) << QStringLiteral("F8") << int(Qt::Key_F8);
    QTest::newRow("Ctrl+Alt+Q") << int(kModControl | kModAlt) << int(kQ)
                                << QStringLiteral("CTRL+ALT+q")
                                << (Qt::ControlModifier | Qt::AltModifier | Qt::Key_Q).toCombined();
    QTest::newRow("Shift+F24") << int(kModShift) << 0x87 << QStringLiteral("SHIFT+F24")
                               << (Qt::ShiftModifier | Qt::Key_F24).toCombined();
    QTest::newRow("Alt+PgDn") << int(kModAlt) << 0x22 << QStringLiteral("ALT+Next")
                              << (Qt::AltModifier | Qt::Key_PageDown).toCombined();
    QTest::newRow("Ctrl+Num 7")
        << int(kModControl) << 0x67 << QStringLiteral("CTRL+KP_7")
        << (Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_7).toCombined();
    QTest::newRow("Ctrl+9") << int(kModControl) << 0x39 << QStringLiteral("CTRL+9")
                            << (Qt::ControlModifier | Qt::Key_9).toCombined();
    QTest::newRow("no key") << int(kModControl) << 0x10 << QString() << 0;
}

void TestDesktopHotKey::keyNames() {
    QFETCH(int, modifiers);
    QFETCH(int, vk);
    QFETCH(QString, trigger);
    QFETCH(int, qtKey);
    QCOMPARE(DesktopTrigger(quint16(modifiers), quint16(vk)), trigger);
    QCOMPARE(QtKeyCode(quint16(modifiers), quint16(vk)), qtKey);
}

void TestDesktopHotKey::portalBindsTheKeyAndItsActivationToggles() {
    Offer(true, true);
    const auto service = CreateHotKeyService();
    Events events;
    events.Watch(*service);
    QVERIFY(service->Register(kModControl | kModAlt, kQ));
    QTRY_COMPARE(events.settled, QList<bool>{true});
    QCOMPARE(portal_->trigger, QStringLiteral("CTRL+ALT+q"));
    QVERIFY(accel_->keys.isEmpty());

    // Another session's or another shortcut's activation is not ours.
    Emit(*desktop_, kPortalPath, "org.freedesktop.portal.GlobalShortcuts", "Activated",
         {QVariant::fromValue(QDBusObjectPath(kPortalPath + "/session/x/other")), "toggle",
          qulonglong(1), QVariantMap()});
    Emit(*desktop_, kPortalPath, "org.freedesktop.portal.GlobalShortcuts", "Activated",
         {QVariant::fromValue(QDBusObjectPath(portal_->session)), "other", qulonglong(2),
          QVariantMap()});
    Emit(*desktop_, kPortalPath, "org.freedesktop.portal.GlobalShortcuts", "Activated",
         {QVariant::fromValue(QDBusObjectPath(portal_->session)), "toggle", qulonglong(3),
          QVariantMap()});
    QTRY_COMPARE(events.presses.size(), 1);
    QCOMPARE(events.presses.first(), qMakePair(kQ, quint16(kModControl | kModAlt)));

    // A new key closes the old session; presses there no longer count.
    const QString first = portal_->session;
    QVERIFY(service->Register(0, kF8));
    QTRY_COMPARE(events.settled, (QList<bool>{true, true}));
    QCOMPARE(portal_->closed, QStringList{first});
    QCOMPARE(portal_->trigger, QStringLiteral("F8"));
    Emit(*desktop_, kPortalPath, "org.freedesktop.portal.GlobalShortcuts", "Activated",
         {QVariant::fromValue(QDBusObjectPath(first)), "toggle", qulonglong(4), QVariantMap()});
    service->Unregister();
    QTRY_COMPARE(portal_->closed.size(), 2);
    QVERIFY(portal_->closed.last() != first);
    QTest::qWait(100);
    QCOMPARE(events.presses.size(), 1);
}

void TestDesktopHotKey::fallsBackWhenAServiceIsMissingOrRefuses_data() {
    QTest::addColumn<bool>("portal");
    QTest::addColumn<bool>("portalOffersShortcuts");
    QTest::addColumn<uint>("bindAnswer");
    QTest::addColumn<bool>("accel");
    QTest::addColumn<bool>("heldElsewhere");
    QTest::addColumn<bool>("bound");
    QTest::newRow("no portal: KDE's service") << false << false << 0u << true << false << true;
    QTest::newRow("portal without shortcuts") << true << false << 0u << true << false << true;
    QTest::newRow("user declines the portal's dialog")
        << true << true << 1u << true << false << true;
    QTest::newRow("KDE's key held by another action")
        << false << false << 0u << true << true << false;
    QTest::newRow("nothing on the bus") << false << false << 0u << false << false << false;
}

void TestDesktopHotKey::fallsBackWhenAServiceIsMissingOrRefuses() {
    QFETCH(bool, portal);
    QFETCH(bool, accel);
    QFETCH(bool, bound);
    QFETCH(bool, portalOffersShortcuts);
    QFETCH(uint, bindAnswer);
    QFETCH(bool, heldElsewhere);
    portal_->offered = portalOffersShortcuts;
    portal_->bindAnswer = bindAnswer;
    accel_->heldElsewhere = heldElsewhere;
    Offer(portal, accel);

    const auto service = CreateHotKeyService();
    Events events;
    events.Watch(*service);
    // The X11 grab, last in line, has no X server here: the answer is the desktop's.
    QVERIFY(service->Register(kModShift, kF8));
    QTRY_COMPARE(events.settled.size(), 1);
    QCOMPARE(events.settled.first(), bound);
    QCOMPARE(events.refused, accel_->heldElsewhere ? 1 : 0);
    if (accel)
        QCOMPARE(accel_->keys, QList<int>{(Qt::ShiftModifier | Qt::Key_F8).toCombined()});
    if (!bound)
        return;
    Emit(*desktop_, "/component/kestrel", "org.kde.kglobalaccel.Component", "globalShortcutPressed",
         {"kestrel", "toggle", qlonglong(5)});
    QTRY_COMPARE(events.presses.size(), 1);
    QCOMPARE(events.presses.first(), qMakePair(kF8, quint16(kModShift)));
    service->Unregister();
    QTRY_COMPARE(accel_->inactive, 1);
}

void TestDesktopHotKey::x11SessionsKeepTheGrab() {
    // The desktop's services are not even asked where no Wayland display is named.
    Offer(true, true);
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    const auto service = CreateHotKeyService();
    qputenv("WAYLAND_DISPLAY", wayland);
    QVERIFY(!service->AnswersLater());
    QVERIFY(!service->Register(0, kF8));  // no X server either
    QTest::qWait(100);
    QVERIFY(portal_->trigger.isEmpty());
    QVERIFY(accel_->keys.isEmpty());
}

QTEST_GUILESS_MAIN(TestDesktopHotKey)
#include "test_desktophotkey.moc"
