#include <QtTest>

#include "platform/sessionnotes.h"

using namespace kestrel;

class TestSessionNotes : public QObject {
    Q_OBJECT

private slots:
    void noteSaysWhatTheSessionCannotDo_data() {
        QTest::addColumn<QString>("waylandDisplay");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("layerSurface");
        QTest::addColumn<bool>("hotKeyBound");
        QTest::addColumn<bool>("windowNote");
        QTest::addColumn<bool>("keyNote");
        // An X11 session whose grab failed hears of it otherwise (another program holds it).
        QTest::newRow("X11") << QString() << "xcb" << false << false << false << false;
        QTest::newRow("XWayland, key from the desktop") << "wayland-0"
                                                        << "xcb" << false << true << false << false;
        QTest::newRow("XWayland, no key") << "wayland-0"
                                          << "xcb" << false << false << false << true;
        QTest::newRow("layer surface, no key") << "wayland-1"
                                               << "wayland" << true << false << false << true;
        QTest::newRow("plain Wayland window, key from the desktop")
            << "wayland-0"
            << "wayland-egl" << false << true << true << false;
        QTest::newRow("plain Wayland window, no key")
            << "wayland-0"
            << "wayland" << false << false << true << true;
    }

    void noteSaysWhatTheSessionCannotDo() {
        QFETCH(QString, waylandDisplay);
        QFETCH(QString, platform);
        QFETCH(bool, windowNote);
        QFETCH(bool, keyNote);
        QFETCH(bool, layerSurface);
        QFETCH(bool, hotKeyBound);
        const QString note =
            SessionNote(DescribeSession(waylandDisplay, platform, layerSurface), hotKeyBound);
        QCOMPARE(note.contains(QStringLiteral("置顶")), windowNote);
        QCOMPARE(note.contains(QStringLiteral("kestrel --toggle")), keyNote);
        QCOMPARE(note.isEmpty(), !windowNote && !keyNote);
        // The tray shows 63 characters: the whole note has to fit, and next to short news.
        QVERIFY(TrayTip(QStringLiteral("演示牌价"), note).size() <= 63);
    }

    void newsComesFirstAndTheNoteOnlyWhereItFits() {
        const QString note = SessionNote(DescribeSession("wayland-0", "wayland", false), false);
        QCOMPARE(TrayTip(QString(), note), note);
        QVERIFY(TrayTip(QStringLiteral("演示牌价"), note).startsWith(QStringLiteral("演示牌价")));
        QVERIFY(TrayTip(QStringLiteral("演示牌价"), note).endsWith(note));
        const QString longNews = QStringLiteral("原因：") + QString(30, u'长');
        QCOMPARE(TrayTip(longNews, note), longNews);
        QCOMPARE(TrayTip(QStringLiteral("演示牌价"), QString()), QStringLiteral("演示牌价"));
    }
};

QTEST_GUILESS_MAIN(TestSessionNotes)
#include "test_sessionnotes.moc"
