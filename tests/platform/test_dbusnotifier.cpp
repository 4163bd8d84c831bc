// Notifications through a real notification service: dunst on a private X server and a private
// session bus, asked through dunstctl what it showed. And a bus without the service.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "platform/dbus/dbusnotifier.h"
#include "privatebus.h"
#include "xserver.h"

using namespace kestrel;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

struct Outcome {
    int calls = 0;
    bool shown = false;
    quint32 id = 0;
    INotifier::Done Callback() {
        return [this](bool ok, quint32 number) {
            ++calls;
            shown = ok;
            id = number;
        };
    }
};

QByteArray Dunstctl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("dunstctl"), args);
    p.waitForFinished(10000);
    return p.readAllStandardOutput();
}

// dunstctl history: the messages closed so far, by id.
QHash<quint32, QJsonObject> History() {
    QHash<quint32, QJsonObject> byId;
    const QJsonArray list =
        QJsonDocument::fromJson(Dunstctl({QStringLiteral("history")}))["data"][0].toArray();
    for (const QJsonValue& entry : list) {
        QJsonObject fields;
        const QJsonObject object = entry.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            fields.insert(it.key(), it.value().toObject().value(QStringLiteral("data")));
        byId.insert(static_cast<quint32>(fields["id"].toInt()), fields);
    }
    return byId;
}

}  // namespace

class TestDBusNotifier : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void withoutServiceFailsSoonAndWaitsOnNothing();
    void dunstShowsTheMessageAndReportsTheAction();

private:
    QTemporaryDir dir_;
    std::unique_ptr<test::XServer> x_;
    QProcess bus_;
    QProcess dunst_;
};

void TestDBusNotifier::initTestCase() {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        QSKIP("dbus-daemon is not installed");
    const QString address = test::StartPrivateBus(bus_, dir_);
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestDBusNotifier::cleanupTestCase() {
    dunst_.terminate();
    dunst_.waitForFinished(5000);
    bus_.terminate();
    bus_.waitForFinished(5000);
}

void TestDBusNotifier::withoutServiceFailsSoonAndWaitsOnNothing() {
    // A call the bus cannot deliver fails well before the notifier's own time limit.
    DBusNotifier notifier(QDBusConnection::sessionBus(), std::chrono::seconds(60));
    Outcome outcome;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("was not shown"));
    notifier.Notify("欧元美元 1.1002", "高于 1.1000", NotifyUrgency::Critical, {},
                    outcome.Callback());
    QCOMPARE(outcome.calls, 0);
    QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 5000);
    QVERIFY(!outcome.shown);

    // Without any bus the same, later as well.
    DBusNotifier offline(QDBusConnection(QStringLiteral("no bus")));
    Outcome none;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No session bus"));
    offline.Notify("欧元美元 1.1002", "高于 1.1000", NotifyUrgency::Normal, {}, none.Callback());
    QCOMPARE(none.calls, 0);
    QTRY_COMPARE(none.calls, 1);
    QVERIFY(!none.shown);
}

void TestDBusNotifier::dunstShowsTheMessageAndReportsTheAction() {
    if (QStandardPaths::findExecutable("dunst").isEmpty())
        QSKIP("dunst is not installed");
    x_ = std::make_unique<test::XServer>();
    if (!x_->Running())
        QSKIP(qPrintable(x_->Missing));
    // The urgency shows in the message's format; the icon is found by its name.
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::darkCyan);
    QVERIFY(icon.save(dir_.filePath("kestrel.png")));
    QFile rc(dir_.filePath("dunstrc"));
    QVERIFY(rc.open(QIODevice::WriteOnly));
    rc.write("[global]\nicon_path = " + dir_.path().toUtf8() +
             "\n[urgency_low]\nformat = \"low %s\"\n[urgency_normal]\nformat = \"normal %s\"\n"
             "[urgency_critical]\nformat = \"critical %s\"\n");
    rc.close();
    dunst_.start("dunst", {"-config", rc.fileName()});
    QDBusConnectionInterface* names = QDBusConnection::sessionBus().interface();
    QTRY_VERIFY_WITH_TIMEOUT(names->isServiceRegistered(kService), 10000);

    DBusNotifier notifier;
    QList<QPair<quint32, QString>> invoked;
    notifier.OnActionInvoked = [&](INotifier* sender, quint32 id, const QString& key) {
        QCOMPARE(sender, &notifier);
        invoked.append({id, key});
    };
    const QList<NotifyAction> actions{{"default", "显示牌价窗口"}, {"silence", "关闭警报"}};
    Outcome critical;
    notifier.Notify("欧元美元 1.1002", "高于 1.1000", NotifyUrgency::Critical, actions,
                    critical.Callback());
    QTRY_COMPARE_WITH_TIMEOUT(critical.calls, 1, 10000);
    QVERIFY(critical.shown);
    QVERIFY(critical.id != 0);

    Dunstctl({"action", "0"});
    QTRY_COMPARE_WITH_TIMEOUT(invoked, (QList<QPair<quint32, QString>>{{critical.id, "default"}}),
                              10000);

    Outcome normal;
    notifier.Notify("欧元美元 1.1002", "涨跌幅 ≥ 0.5%", NotifyUrgency::Normal, {},
                    normal.Callback());
    QTRY_COMPARE_WITH_TIMEOUT(normal.calls, 1, 10000);
    QVERIFY(normal.shown);

    Dunstctl({"close-all"});
    QHash<quint32, QJsonObject> shown;
    QTRY_VERIFY_WITH_TIMEOUT((shown = History()).contains(normal.id), 10000);
    QVERIFY(shown.contains(critical.id));
    const QJsonObject first = shown[critical.id];
    QCOMPARE(first["appname"].toString(), "Kestrel");
    QCOMPARE(first["summary"].toString(), "欧元美元 1.1002");
    QCOMPARE(first["body"].toString(), "高于 1.1000");
    QCOMPARE(first["message"].toString(), "critical 欧元美元 1.1002");
    QCOMPARE(first["icon_path"].toString(), dir_.filePath("kestrel.png"));
    QCOMPARE(shown[normal.id]["message"].toString(), "normal 欧元美元 1.1002");
}

QTEST_GUILESS_MAIN(TestDBusNotifier)
#include "test_dbusnotifier.moc"
