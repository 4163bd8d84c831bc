// The hours before the start from a gateway: a real kestrel-quoted that has kept the minutes of
// a stand-in quote service hands them to the ticker's own history; a server that is no gateway
// is asked once and left alone.
#include <httplib.h>

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "../../feeds/samples.h"
#include "history/historystore.h"
#include "platform/desktop/platformservices.h"
#include "ui/mainwindow/gatewayhistory.h"

using namespace kestrel;

class TestGatewayHistory : public QObject {
    Q_OBJECT

    httplib::Server portal_;
    std::thread thread_;
    int portalPort_ = 0;
    std::atomic<int> historyAsked_ = 0;
    QTemporaryDir dir_;
    QProcess gateway_;
    int gatewayPort_ = 0;

    QString RatesUrl(int port) const {
        return QStringLiteral("http://127.0.0.1:%1/rates/index.aspx").arg(port);
    }

private slots:
    void initTestCase() {
        InstallPlatformServices();
        QStringEncoder gb18030("GB18030");
        const QByteArray encoded = gb18030(QString::fromUtf8(test::FeedSample(u"portal.txt"_qs)));
        const std::string sample = encoded.toStdString();
        portal_.Get(R"(/list=.*)", [sample](const httplib::Request&, httplib::Response& res) {
            res.set_content(test::PortalSampleAt(sample, QDateTime::currentMSecsSinceEpoch()),
                            "application/javascript; charset=GB18030");
        });
        portal_.Get("/history", [this](const httplib::Request&, httplib::Response& res) {
            ++historyAsked_;
            res.status = 404;
        });
        portalPort_ = portal_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { portal_.listen_after_bind(); });

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("http_proxy"));
        gateway_.setProcessEnvironment(env);
        gateway_.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"),
                       {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--source"),
                        QStringLiteral("portal"), QStringLiteral("--poll"), QStringLiteral("0.2"),
                        QStringLiteral("--portal-url"),
                        QStringLiteral("http://127.0.0.1:%1/list=").arg(portalPort_),
                        QStringLiteral("--history-file"), dir_.filePath(u"gateway.sqlite"_qs)});
        QVERIFY(gateway_.waitForReadyRead(5000));
        gatewayPort_ = QRegularExpression(QStringLiteral(":(\\d+)/"))
                           .match(QString::fromUtf8(gateway_.readAllStandardOutput()))
                           .captured(1)
                           .toInt();
        QVERIFY(gatewayPort_ > 0);
        httplib::Client client("127.0.0.1", gatewayPort_);
        QTRY_VERIFY(client.Get("/history?code=XAUUSD")->body.find("4344.36") != std::string::npos);
    }
    void cleanupTestCase() {
        gateway_.terminate();
        gateway_.waitForFinished(5000);
        portal_.stop();
        if (thread_.joinable())
            thread_.join();
    }

    void fillsFromAGateway() {
        HistoryStore store(dir_.filePath(u"ticker.sqlite"_qs));
        GatewayHistory fill(store);
        const qint64 start = QDateTime::currentMSecsSinceEpoch() + 60000;
        fill.Fill(RatesUrl(gatewayPort_), {}, {u"XAUUSD"_qs, u"USDJPY"_qs}, start);
        QTRY_VERIFY(!fill.Busy());
        QVERIFY(store.WaitForWrites(5000));
        const QVector<HistoryBar> gold =
            store.Bars(u"XAUUSD"_qs, start - GatewayHistory::kHoursBeforeMs, start);
        QVERIFY(!gold.isEmpty());
        QCOMPARE(gold.last().close, 4344.36);
        QCOMPARE(gold.last().high, 4344.36);
        QCOMPARE(gold.last().source, u"127.0.0.1"_qs);
        QVERIFY(!store.Bars(u"USDJPY"_qs, start - GatewayHistory::kHoursBeforeMs, start).isEmpty());
    }

    void leavesOtherServersAlone() {
        HistoryStore store(dir_.filePath(u"other.sqlite"_qs));
        GatewayHistory fill(store);
        fill.Fill(RatesUrl(portalPort_), {}, {u"XAUUSD"_qs, u"EURUSD"_qs, u"USDJPY"_qs},
                  QDateTime::currentMSecsSinceEpoch());
        QTRY_VERIFY(!fill.Busy());
        QCOMPARE(historyAsked_.load(), 1);
    }
};

QTEST_MAIN(TestGatewayHistory)
#include "test_gatewayhistory.moc"
