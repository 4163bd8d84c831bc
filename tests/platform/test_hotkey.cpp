#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>

#include "platform/fake/fakehotkey.h"
#include "platform/hotkeylock.h"
#include "platform/x11/x11hotkey.h"
#include "xserver.h"

using namespace kestrel;

namespace {
constexpr quint16 kF8 = 0x77;
constexpr quint16 kQ = 0x51;
constexpr quint16 kZ = 0x5A;
}  // namespace

class TestHotKey : public QObject {
    Q_OBJECT
public:
    explicit TestHotKey(const test::XServer& server) : server_(server) {}

private slots:
    void keysymTable_data();
    void keysymTable();
    void atomBelongsToFirstHolder();
    void fakeDeliversOnlyTheRegisteredKey();
    void x11PressesArriveWithTheirModifiers_data();
    void x11PressesArriveWithTheirModifiers();
    void x11KeyHeldByAnotherClientIsRefused();
    void x11UnregisterGivesTheKeyBack();
    void x11KeyFollowsALayoutSwitch();

private:
    void requireX11();
    static void Press(const QStringList& keys) {
        test::XServer::Run(QStringList{QStringLiteral("xdotool"), QStringLiteral("key")} + keys);
    }

    const test::XServer& server_;
};

void TestHotKey::keysymTable_data() {
    QTest::addColumn<int>("vk");
    QTest::addColumn<quint32>("keysym");
    QTest::newRow("F1") << 0x70 << 0xffbeu;
    QTest::newRow("F8") << 0x77 << 0xffc5u;
    QTest::newRow("F12") << 0x7B << 0xffc9u;
    QTest::newRow("F24") << 0x87 << 0xffd5u;
    QTest::newRow("A") << 0x41 << quint32('a');
    QTest::newRow("Q") << 0x51 << quint32('q');
    QTest::newRow("Z") << 0x5A << quint32('z');
    QTest::newRow("0") << 0x30 << quint32('0');
    QTest::newRow("9") << 0x39 << quint32('9');
    QTest::newRow("numpad 0") << 0x60 << 0xffb0u;
    QTest::newRow("numpad 9") << 0x69 << 0xffb9u;
    QTest::newRow("numpad *") << 0x6A << 0xffaau;
    QTest::newRow("numpad /") << 0x6F << 0xffafu;
    QTest::newRow("Left") << 0x25 << 0xff51u;
    QTest::newRow("Up") << 0x26 << 0xff52u;
    QTest::newRow("Right") << 0x27 << 0xff53u;
    QTest::newRow("Down") << 0x28 << 0xff54u;
    QTest::newRow("Page Up") << 0x21 << 0xff55u;
    QTest::newRow("Page Down") << 0x22 << 0xff56u;
    QTest::newRow("End") << 0x23 << 0xff57u;
    QTest::newRow("Home") << 0x24 << 0xff50u;
    QTest::newRow("Insert") << 0x2D << 0xff63u;
    QTest::newRow("Delete") << 0x2E << 0xffffu;
    QTest::newRow("Space") << 0x20 << 0x20u;
    QTest::newRow("Enter") << 0x0D << 0xff0du;
    QTest::newRow("Tab") << 0x09 << 0xff09u;
    QTest::newRow("Esc") << 0x1B << 0xff1bu;
    QTest::newRow("Backspace") << 0x08 << 0xff08u;
    QTest::newRow(";") << 0xBA << quint32(';');
    QTest::newRow("=") << 0xBB << quint32('=');
    QTest::newRow(",") << 0xBC << quint32(',');
    QTest::newRow("-") << 0xBD << quint32('-');
    QTest::newRow(".") << 0xBE << quint32('.');
    QTest::newRow("/") << 0xBF << quint32('/');
    QTest::newRow("`") << 0xC0 << quint32('`');
    QTest::newRow("[") << 0xDB << quint32('[');
    QTest::newRow("\\") << 0xDC << quint32('\\');
    QTest::newRow("]") << 0xDD << quint32(']');
    QTest::newRow("'") << 0xDE << quint32('\'');
    // Codes without a key of their own, and the gaps between the ranges.
    QTest::newRow("none") << 0x00 << 0u;
    QTest::newRow("shift alone") << 0x10 << 0u;
    QTest::newRow("between 9 and A") << 0x40 << 0u;
    QTest::newRow("after F24") << 0x88 << 0u;
    QTest::newRow("high byte") << 0x177 << 0u;
}

void TestHotKey::keysymTable() {
    QFETCH(int, vk);
    QFETCH(quint32, keysym);
    QCOMPARE(KeysymForVirtualKey(quint16(vk)), keysym);
}

void TestHotKey::atomBelongsToFirstHolder() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kESTRELmV_HOTKEY.lock"));
    HotKeyAtom first(path);
    HotKeyAtom second(path);
    QCOMPARE(first.Atom(), quint16(0));
    QVERIFY(first.Acquire());
    QVERIFY(first.Atom() != 0);
    QVERIFY(first.Acquire());  // asking again keeps it
    QVERIFY(!second.Acquire());
    QCOMPARE(second.Atom(), quint16(0));
    second.Release();  // a copy that does not own it must not free it for a third
    HotKeyAtom third(path);
    QVERIFY(!third.Acquire());

    first.Release();
    QCOMPARE(first.Atom(), quint16(0));
    QVERIFY(second.Acquire());
    QVERIFY(second.Atom() != 0);
    {
        HotKeyAtom scoped(dir.filePath(QStringLiteral("scoped.lock")));
        QVERIFY(scoped.Acquire());
    }  // released by its destructor
    QVERIFY(HotKeyAtom(dir.filePath(QStringLiteral("scoped.lock"))).Acquire());

    // A lock left behind by a process that no longer runs is taken over.
    const QString stale = dir.filePath(QStringLiteral("stale.lock"));
    QFile file(stale);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("999999999\nkestrel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    file.close();
    QVERIFY(HotKeyAtom(stale).Acquire());

    QVERIFY(HotKeyAtom::DefaultLockPath().endsWith(QStringLiteral("/kESTRELmV_HOTKEY.lock")));
}

void TestHotKey::fakeDeliversOnlyTheRegisteredKey() {
    FakeHotKeyService service;
    QList<QPair<quint16, quint16>> presses;
    service.OnHotKey = [&](quint16 vk, quint16 modifiers) { presses.append({vk, modifiers}); };
    service.Taken.append(quint32(kModControl | kModAlt) << 16 | kQ);

    QVERIFY(!service.Register(kModControl | kModAlt, kQ));
    QVERIFY(!service.IsRegistered());
    QVERIFY(!service.Press(kQ, kModControl | kModAlt));
    QVERIFY(service.Register(0, kF8));
    QVERIFY(!service.Press(kF8, kModShift));
    QVERIFY(service.Press(kF8, 0));
    service.Unregister();
    QVERIFY(!service.Press(kF8, 0));
    QCOMPARE(presses, (QList<QPair<quint16, quint16>>{{kF8, 0}}));
}

void TestHotKey::requireX11() {
    if (!server_.Running())
        QSKIP(qPrintable(server_.Missing));
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("xdotool is not installed");
}

void TestHotKey::x11PressesArriveWithTheirModifiers_data() {
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("vk");
    QTest::addColumn<QStringList>("keys");  // what xdotool types, lock keys toggled around it
    QTest::addColumn<bool>("arrives");
    const QStringList f8{QStringLiteral("F8")};
    QTest::newRow("F8") << 0 << int(kF8) << f8 << true;
    QTest::newRow("F8 with Num Lock on")
        << 0 << int(kF8) << QStringList{"Num_Lock", "F8", "Num_Lock"} << true;
    QTest::newRow("F8 with Caps Lock on")
        << 0 << int(kF8) << QStringList{"Caps_Lock", "F8", "Caps_Lock"} << true;
    QTest::newRow("F8 with both locks on")
        << 0 << int(kF8) << QStringList{"Num_Lock", "Caps_Lock", "F8", "Caps_Lock", "Num_Lock"}
        << true;
    QTest::newRow("Shift+F8 is another key") << 0 << int(kF8) << QStringList{"shift+F8"} << false;
    QTest::newRow("Ctrl+Alt+Q") << int(kModControl | kModAlt) << int(kQ)
                                << QStringList{"ctrl+alt+q"} << true;
    QTest::newRow("Ctrl+Alt+Q with Num Lock on")
        << int(kModControl | kModAlt) << int(kQ)
        << QStringList{"Num_Lock", "ctrl+alt+q", "Num_Lock"} << true;
    QTest::newRow("Ctrl+Q lacks Alt")
        << int(kModControl | kModAlt) << int(kQ) << QStringList{"ctrl+q"} << false;
    QTest::newRow("Shift+Ctrl+Alt+F8") << int(kModShift | kModControl | kModAlt) << int(kF8)
                                       << QStringList{"shift+ctrl+alt+F8"} << true;
}

void TestHotKey::x11PressesArriveWithTheirModifiers() {
    requireX11();
    QFETCH(int, modifiers);
    QFETCH(int, vk);
    QFETCH(QStringList, keys);
    QFETCH(bool, arrives);

    X11HotKeyService service;
    QList<QPair<quint16, quint16>> presses;
    service.OnHotKey = [&](quint16 key, quint16 mods) { presses.append({key, mods}); };
    QVERIFY(service.Register(quint16(modifiers), quint16(vk)));
    Press(keys);
    // A press that must not arrive is followed by one that must, so the test does not have to
    // guess how long to wait for nothing.
    const QString expected = modifiers ? QStringLiteral("ctrl+alt+q") : QStringLiteral("F8");
    if (!arrives && modifiers == (kModControl | kModAlt))
        Press({expected});
    else if (!arrives)
        Press({QStringLiteral("F8")});
    QTRY_COMPARE(presses.size(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(presses.size(), 1);
    QCOMPARE(presses.first(), qMakePair(quint16(vk), quint16(modifiers)));
}

void TestHotKey::x11KeyHeldByAnotherClientIsRefused() {
    requireX11();
    // The other client grabs the key only with Num Lock on: a grab that would work in some lock
    // states and not in others is refused as a whole.
    xcb_connection_t* other = xcb_connect(qPrintable(server_.Display), nullptr);
    QVERIFY(!xcb_connection_has_error(other));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, KeysymForVirtualKey(kF8));
    QVERIFY(codes && codes[0] != XCB_NO_SYMBOL);
    const xcb_keycode_t f8 = codes[0];
    std::free(codes);
    xcb_key_symbols_free(symbols);
    QVERIFY(
        !xcb_request_check(other, xcb_grab_key_checked(other, 1, root, XCB_MOD_MASK_2, f8,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));

    X11HotKeyService service;
    int presses = 0;
    int refusals = 0;
    service.OnHotKey = [&](quint16, quint16) { ++presses; };
    service.OnRefused = [&](quint16 vk, quint16 mods) {
        QCOMPARE(vk, kF8);
        QCOMPARE(mods, quint16(0));
        ++refusals;
    };
    QTest::failOnWarning(QRegularExpression(".*"));
    QVERIFY(!service.Register(0, kF8));
    QCOMPARE(refusals, 1);

    // What this client grabbed before the refusal was given back: the other client can now
    // take F8 without Num Lock.
    QVERIFY(!xcb_request_check(
        other,
        xcb_grab_key_checked(other, 1, root, 0, f8, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    xcb_disconnect(other);  // the server drops its grabs with it
    QTRY_VERIFY(service.Register(0, kF8));
    Press({QStringLiteral("F8")});
    QTRY_COMPARE(presses, 1);
}

void TestHotKey::x11UnregisterGivesTheKeyBack() {
    requireX11();
    // Grabs only exclude other clients, so the other holder is a connection of its own.
    xcb_connection_t* other = xcb_connect(qPrintable(server_.Display), nullptr);
    QVERIFY(!xcb_connection_has_error(other));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
    const auto otherGrabs = [&](quint16 mask, quint16 vk) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, KeysymForVirtualKey(vk));
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        xcb_generic_error_t* error = xcb_request_check(
            other, xcb_grab_key_checked(other, 1, root, mask, code, XCB_GRAB_MODE_ASYNC,
                                        XCB_GRAB_MODE_ASYNC));
        std::free(error);
        if (!error)
            xcb_ungrab_key(other, code, root, mask);
        return !error;
    };
    const quint16 ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    {
        X11HotKeyService service;
        QVERIFY(service.Register(0, kF8));
        QVERIFY(!otherGrabs(0, kF8));
        QVERIFY(!otherGrabs(XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK, kF8));
        // Registering another key replaces the first one.
        QVERIFY(service.Register(kModControl | kModAlt, kQ));
        QVERIFY(otherGrabs(0, kF8));
        QVERIFY(!otherGrabs(ctrlAlt | XCB_MOD_MASK_2, kQ));
        service.Unregister();
        service.Unregister();
        QVERIFY(otherGrabs(ctrlAlt, kQ));
        QVERIFY(!service.Register(0, 0x40));  // a code without a key
        QVERIFY(service.Register(0, kF8));
    }  // and the destructor gives it back
    QVERIFY(otherGrabs(0, kF8));
    xcb_key_symbols_free(symbols);
    xcb_disconnect(other);
}

// A grab holds a key code; after a switch to a layout where the letter sits on another key the
// hot key is still the letter.
void TestHotKey::x11KeyFollowsALayoutSwitch() {
    requireX11();
    if (QStandardPaths::findExecutable(QStringLiteral("setxkbmap")).isEmpty())
        QSKIP("setxkbmap is not installed");
    const auto layout = [](const char* name) {
        test::XServer::Run({QStringLiteral("setxkbmap"), QString::fromLatin1(name)});
    };
    layout("us");
    X11HotKeyService service;
    int presses = 0;
    service.OnHotKey = [&](quint16, quint16) { ++presses; };
    QVERIFY(service.Register(kModControl | kModAlt, kZ));
    Press({QStringLiteral("ctrl+alt+z")});
    QTRY_COMPARE(presses, 1);

    // German keyboards swap Y and Z.
    layout("de");
    QTest::qWait(500);
    Press({QStringLiteral("ctrl+alt+z")});
    QTRY_COMPARE(presses, 2);
    // The key that carried Z before is Y now, and no longer the hot key.
    Press({QStringLiteral("ctrl+alt+y"), QStringLiteral("ctrl+alt+z")});
    QTRY_COMPARE(presses, 3);
    QCoreApplication::processEvents();
    QCOMPARE(presses, 3);
    layout("us");
}

int main(int argc, char** argv) {
    test::XServer server;
    if (!server.Running())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestHotKey test(server);
    return QTest::qExec(&test, argc, argv);
}

#include "test_hotkey.moc"
