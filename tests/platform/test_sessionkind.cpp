// The platform and the ticker surface chosen for each kind of session, and the corner
// arithmetic that turns a layer surface's margins into the position the settings keep.
#include <QtTest>

#include "platform/sessionkind.h"

using namespace kestrel;

Q_DECLARE_METATYPE(kestrel::SessionLack)

class TestSessionKind : public QObject {
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
    void marginsAndCorner_data();
    void marginsAndCorner();
    void drag_data();
    void drag();
};

void TestSessionKind::choice_data() {
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<bool>("wayland");
    QTest::addColumn<bool>("x");
    QTest::addColumn<bool>("layer");
    QTest::addColumn<QByteArray>("platform");
    QTest::addColumn<bool>("surface");
    QTest::addColumn<SessionLack>("lack");
    const auto none = SessionLack::None;
    QTest::newRow("X11 desktop") << QByteArray() << false << true << false << QByteArray() << false
                                 << none;
    QTest::newRow("XWayland, no layer shell")
        << QByteArray() << true << true << false << QByteArray("xcb") << false << none;
    QTest::newRow("XWayland and layer shell")
        << QByteArray() << true << true << true << QByteArray("xcb") << true << none;
    QTest::newRow("layer shell alone")
        << QByteArray() << true << false << true << QByteArray("wayland") << true << none;
    QTest::newRow("neither") << QByteArray() << true << false << false << QByteArray("wayland")
                             << false << SessionLack::NativeWayland;
    // The user's platform is never replaced.
    QTest::newRow("user xcb, layer shell")
        << QByteArray("xcb") << true << true << true << QByteArray() << true << none;
    QTest::newRow("user xcb, no X server")
        << QByteArray("xcb") << true << false << true << QByteArray() << false << none;
    QTest::newRow("user wayland with options, no layer shell")
        << QByteArray("wayland:foo=1") << true << true << false << QByteArray() << false
        << SessionLack::NativeWayland;
    QTest::newRow("user offscreen on a layer-shell desktop")
        << QByteArray("offscreen") << true << true << true << QByteArray() << false << none;
    QTest::newRow("blank user value counts as unset")
        << QByteArray(" ") << true << true << true << QByteArray("xcb") << true << none;
}

void TestSessionKind::choice() {
    QFETCH(QByteArray, user);
    QFETCH(bool, wayland);
    QFETCH(bool, x);
    QFETCH(bool, layer);
    const SessionChoice choice = ChooseSession({user, wayland, x, layer});
    QTEST(choice.Platform, "platform");
    QTEST(choice.LayerSurface, "surface");
    QTEST(choice.Lack, "lack");
}

void TestSessionKind::marginsAndCorner_data() {
    QTest::addColumn<QSize>("output");
    QTest::addColumn<QPoint>("topLeft");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<QPoint>("kept");
    const QSize screen(1920, 1080);
    // A ticker of 230 x 250 at the corner rule's place: 50 from the right, 20 from the bottom.
    QTest::newRow("corner rule") << screen << QPoint(1640, 810) << 50 << 20 << QPoint(1640, 810);
    QTest::newRow("top-left") << screen << QPoint(0, 0) << 1690 << 830 << QPoint(0, 0);
    QTest::newRow("beyond the right and above the top")
        << screen << QPoint(5000, -30) << 0 << 830 << QPoint(1690, 0);
    QTest::newRow("output smaller than the ticker")
        << QSize(200, 100) << QPoint(10, 10) << 0 << 0 << QPoint(0, 0);
}

void TestSessionKind::marginsAndCorner() {
    QFETCH(QSize, output);
    QFETCH(QPoint, topLeft);
    const QSize ticker(230, 250);
    const CornerMargins margins = MarginsForTopLeft(output, ticker, topLeft);
    QTEST(margins.Right, "right");
    QTEST(margins.Bottom, "bottom");
    QTEST(TopLeftForMargins(output, ticker, margins), "kept");
}

void TestSessionKind::drag_data() {
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("bottom");
    QTest::newRow("up and left") << QPoint(1700, 900) << QPoint(1600, 850) << 150 << 70;
    QTest::newRow("down and right, into the corner")
        << QPoint(1700, 900) << QPoint(1740, 910) << 10 << 10;
    QTest::newRow("past the corner") << QPoint(1700, 900) << QPoint(2500, 1300) << 0 << 0;
    QTest::newRow("past the far edges") << QPoint(1700, 900) << QPoint(-900, -900) << 1690 << 830;
}

void TestSessionKind::drag() {
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    const CornerMargins moved =
        DraggedMargins(QSize(1920, 1080), QSize(230, 250), {50, 20}, from, to);
    QTEST(moved.Right, "right");
    QTEST(moved.Bottom, "bottom");
}

QTEST_GUILESS_MAIN(TestSessionKind)
#include "test_sessionkind.moc"
