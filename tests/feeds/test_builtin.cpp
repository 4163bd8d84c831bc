// The ticker's built-in source against a loopback feed server, on a clock of the test's own.
#include <QTest>

#include "feeds/builtin.h"
#include "platform/net/curltransfer.h"
#include "servers/pageserver.h"

using namespace kestrel;
using namespace kestrel::feeds;
using kestrel::test::PageServer;

class TestBuiltin : public QObject {
    Q_OBJECT

private slots:
    // A refused source is asked again no sooner than its answer asked, though its own back-off
    // after one failure would be shorter.
    void aRefusalsRetryAfterPutsOffTheNextAsk() {
        PageServer portal;
        portal.SetPage(QStringLiteral("busy"), 429);
        portal.SetHeader("Retry-After", "120");
        BuiltinSource source(&MakeCurlTransfer);
        qint64 now = 1'800'000'000'000;
        source.Clock = [&now] { return now; };
        source.SetSources({{SourceKind::Portal, portal.Url().toStdString() + "?list=", 5}});
        THTTPProxy direct;
        direct.AccessType = THTTPAccessType::atDirect;
        source.Configure(direct, 10000);
        int reports = 0;
        source.OnRefreshed = [&reports] { ++reports; };
        const auto refresh = [&](qint64 later) {
            now += later;
            const int before = reports;
            source.Refresh();
            return QTest::qWaitFor([&] { return reports > before && !source.Busy(); }, 10000);
        };
        QVERIFY(refresh(0));
        QCOMPARE(portal.Hits(), 1);
        QVERIFY(refresh(60'000));
        QCOMPARE(portal.Hits(), 1);
        QVERIFY(refresh(61'000));
        QCOMPARE(portal.Hits(), 2);
    }
};

QTEST_GUILESS_MAIN(TestBuiltin)
#include "test_builtin.moc"
