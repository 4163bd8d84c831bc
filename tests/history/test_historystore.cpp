#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "history/historystore.h"

using namespace kestrel;

namespace {

constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kDay = 24 * 60 * kMinute;
constexpr int kWait = 20000;

// A minute well in the past, so that nothing recorded in a test is ahead of the clock.
qint64 BaseMinute() {
    return (QDateTime::currentMSecsSinceEpoch() / kDay - 20) * kDay + 7 * kMinute;
}

struct Tick {
    qint64 atMs;  // from BaseMinute()
    double price;
};

struct Bar {
    qint64 minute;  // from BaseMinute(), in minutes
    double open, high, low, close;
    qint64 lastMs;  // from BaseMinute()
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A small tmpfs on a folder of its own, unmounted again however the test ends.
struct SmallMount {
    QTemporaryDir dir;
    bool mounted = false;
    SmallMount() {
        mounted = dir.isValid() && ::mount("tmpfs", QFile::encodeName(dir.path()).constData(),
                                           "tmpfs", 0, "size=512k") == 0;
    }
    ~SmallMount() {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
};

// Another program's connection to a file, holding it exclusively.
struct ForeignLock {
    sqlite3* db = nullptr;
    explicit ForeignLock(const QString& path) {
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        sqlite3_exec(db,
                     "PRAGMA locking_mode=EXCLUSIVE; CREATE TABLE IF NOT EXISTS mine(x);"
                     "BEGIN EXCLUSIVE; INSERT INTO mine VALUES(1);",
                     nullptr, nullptr, nullptr);
    }
    ~ForeignLock() { sqlite3_close(db); }
};

}  // namespace

Q_DECLARE_METATYPE(QVector<Tick>)
Q_DECLARE_METATYPE(QVector<Bar>)

class TestHistoryStore : public QObject {
    Q_OBJECT
private slots:
    void barsFromTicks_data();
    void barsFromTicks();
    void oldBarsGoAndTheFileStaysSmall();
    void damagedFileIsSetAside_data();
    void damagedFileIsSetAside();
    void lockedFileLeavesTheHistoryOff();
    void fullDiskPausesTheHistory();
    void storesInTwoFoldersAndStateChanges();

private:
    QTemporaryDir dir_;
};

void TestHistoryStore::barsFromTicks_data() {
    QTest::addColumn<QVector<Tick>>("ticks");
    QTest::addColumn<QVector<Bar>>("bars");
    const qint64 s = 1000;
    QTest::newRow("one minute") << QVector<Tick>{{5 * s, 2},
                                                 {20 * s, 3},
                                                 {40 * s, 1},
                                                 {59 * s, 2.5}}
                                << QVector<Bar>{{0, 2, 3, 1, 2.5, 59 * s}};
    QTest::newRow("minute edges") << QVector<Tick>{{kMinute - 1, 1},
                                                   {kMinute, 2},
                                                   {2 * kMinute + 1, 3}}
                                  << QVector<Bar>{{0, 1, 1, 1, 1, kMinute - 1},
                                                  {1, 2, 2, 2, 2, kMinute},
                                                  {2, 3, 3, 3, 3, 2 * kMinute + 1}};
    QTest::newRow("out of order") << QVector<Tick>{{30 * s, 2},
                                                   {10 * s, 1},
                                                   {50 * s, 4},
                                                   {40 * s, 5}}
                                  << QVector<Bar>{{0, 1, 5, 1, 4, 50 * s}};
    QTest::newRow("duplicates") << QVector<Tick>{{10 * s, 1}, {30 * s, 2}, {10 * s, 1}, {30 * s, 2}}
                                << QVector<Bar>{{0, 1, 2, 1, 2, 30 * s}};
    QTest::newRow("a gap") << QVector<Tick>{{0, 1}, {90 * kMinute, 2}}
                           << QVector<Bar>{{0, 1, 1, 1, 1, 0}, {90, 2, 2, 2, 2, 90 * kMinute}};
}

// Each tick comes in a download of its own, as they do.
void TestHistoryStore::barsFromTicks() {
    QFETCH(QVector<Tick>, ticks);
    QFETCH(QVector<Bar>, bars);
    const qint64 base = BaseMinute();
    const QString path = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".sqlite");
    HistoryStore store(path);
    for (const Tick& t : ticks)
        store.Record(
            {{"EURUSD", t.price, base + t.atMs, "portal"}, {"XAUUSD", 2000, base + t.atMs, "ecb"}});
    QVERIFY(store.WaitForWrites(kWait));
    QCOMPARE(store.CurrentState(), HistoryStore::State::On);

    const QVector<HistoryBar> got = store.Bars("EURUSD", base - kDay, base + kDay);
    QCOMPARE(got.size(), bars.size());
    for (qsizetype i = 0; i < bars.size(); ++i) {
        QCOMPARE(got[i].minuteMs, base + bars[i].minute * kMinute);
        QCOMPARE(got[i].open, bars[i].open);
        QCOMPARE(got[i].high, bars[i].high);
        QCOMPARE(got[i].low, bars[i].low);
        QCOMPARE(got[i].close, bars[i].close);
        QCOMPARE(got[i].lastTickMs, base + bars[i].lastMs);
        QCOMPARE(got[i].source, QStringLiteral("portal"));
    }
    // The range takes the bars whose minute starts within it.
    QCOMPARE(store.Bars("EURUSD", base + 1, base + kDay).size(), bars.size() - 1);
    QCOMPARE(store.Bars("EURUSD", base, base).size(), 1);
    QCOMPARE(store.Bars("XAUUSD", base, base + kDay).size(), bars.size());

    const QDate date = QDateTime::fromMSecsSinceEpoch(base, Qt::UTC).date();
    const QVector<HistoryDay> days = store.Days("EURUSD", date, date);
    QCOMPARE(days.size(), 1);
    QCOMPARE(days[0].close, bars.last().close);
    QCOMPARE(days[0].lastTickMs, base + bars.last().lastMs);
}

// Bars older than the days kept go and their space is used again (the file holds no more than
// the days kept and the one being written); the daily closes stay. The bytes a bar takes bound
// the file: 13 instruments (the default selection) every minute of 30 days, with a year of daily
// closes, must stay under 50 MB.
void TestHistoryStore::oldBarsGoAndTheFileStaysSmall() {
    const QString path = dir_.filePath("prune.sqlite");
    const qint64 start = BaseMinute() - 7 * kMinute - 8 * kDay;
    constexpr int kCodes = 13, kKept = 2;
    {
        HistoryStore store(path, kKept);
        for (int day = 0; day < 6; ++day) {
            QVector<HistoryTick> ticks;
            for (qint64 m = 0; m < 24 * 60; ++m)
                for (int c = 0; c < kCodes; ++c)
                    ticks.push_back({"C" + QString::number(c), 1.0 + (m % 97) * 1e-4 + c,
                                     start + day * kDay + m * kMinute + 1234, "portal"});
            store.Record(ticks);
            QVERIFY(store.WaitForWrites(kWait));
        }
        QCOMPARE(store.CurrentState(), HistoryStore::State::On);
        const qint64 last = start + 6 * kDay - kMinute;
        const QVector<HistoryBar> bars = store.Bars("C3", start, last);
        QVERIFY(!bars.isEmpty());
        QVERIFY(bars.first().minuteMs >= last - kKept * kDay - kMinute);
        QVERIFY(bars.first().minuteMs <= last - kKept * kDay + kMinute * 61);
        QCOMPARE(store.Days("C3", QDate(1970, 1, 1), QDate(9999, 1, 1)).size(), 6);
    }
    QTRY_VERIFY(QFileInfo(path + "-wal").size() == 0 || !QFileInfo::exists(path + "-wal"));
    const qint64 size = QFileInfo(path).size();
    const double perBar = double(size) / (kCodes * (kKept + 1) * 24 * 60);
    const double year = perBar * kCodes * 30 * 24 * 60 + 100.0 * kCodes * 365;
    QVERIFY2(year < 50e6, qPrintable(QString::number(perBar)));
}

void TestHistoryStore::damagedFileIsSetAside_data() {
    QTest::addColumn<bool>("page");
    QTest::newRow("not a database") << false;
    QTest::newRow("a damaged page") << true;
}

void TestHistoryStore::damagedFileIsSetAside() {
    QFETCH(bool, page);
    QTemporaryDir folder;
    const QString path = folder.filePath("history.sqlite");
    const qint64 base = BaseMinute();
    if (page) {
        {
            HistoryStore store(path);
            QVector<HistoryTick> ticks;
            for (int m = 0; m < 3000; ++m)
                ticks.push_back({"EURUSD", 1.1, base + m * kMinute, "portal"});
            store.Record(ticks);
            QVERIFY(store.WaitForWrites(kWait));
        }
        QTRY_VERIFY(!QFileInfo::exists(path + "-wal"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(8 * 4096 + 100);
        f.write(QByteArray(2000, '\xA5'));
    } else {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'k'));
    }
    const QByteArray damaged = ReadAll(path);

    HistoryStore store(path);
    store.Record({{"EURUSD", 1.2, base, "portal"}});
    QVERIFY(store.WaitForWrites(kWait));
    QCOMPARE(store.CurrentState(), HistoryStore::State::SetAside);
    const QString aside =
        path + ".corrupt-" + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QCOMPARE(ReadAll(aside), damaged);
    QVERIFY(!store.Note().isEmpty());
    const QVector<HistoryBar> bars = store.Bars("EURUSD", base, base);
    QCOMPARE(bars.size(), 1);
    QCOMPARE(bars[0].close, 1.2);
}

// Another program's lock leaves the history off for the run and its file as it was.
void TestHistoryStore::lockedFileLeavesTheHistoryOff() {
    QTemporaryDir folder;
    const QString path = folder.filePath("history.sqlite");
    {
        ForeignLock other(path);
        QVERIFY(other.db);
        HistoryStore store(path);
        store.Record({{"EURUSD", 1.2, BaseMinute(), "portal"}});
        QVERIFY(store.WaitForWrites(kWait));
        QCOMPARE(store.CurrentState(), HistoryStore::State::Locked);
        QVERIFY(!store.Note().isEmpty());
        store.Record({{"EURUSD", 1.3, BaseMinute(), "portal"}});
        QVERIFY(store.WaitForWrites(kWait));
    }
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, "SELECT * FROM bars", nullptr, nullptr, nullptr), SQLITE_ERROR);
    sqlite3_close(db);
}

// As root only: a real full file system pauses the history and keeps what it holds.
void TestHistoryStore::fullDiskPausesTheHistory() {
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    SmallMount disk;
    if (!disk.mounted)
        QSKIP("this container may not mount a tmpfs");
    const QString path = disk.dir.filePath("history.sqlite");
    const qint64 base = BaseMinute();
    HistoryStore store(path);
    store.Record({{"EURUSD", 1.1, base, "portal"}});
    QVERIFY(store.WaitForWrites(kWait));
    QCOMPARE(store.CurrentState(), HistoryStore::State::On);

    QFile filler(disk.dir.filePath("filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(4096, 'x');
    while (filler.write(block) > 0) {
    }
    QVector<HistoryTick> ticks;
    for (int m = 1; m < 20000; ++m)
        ticks.push_back({"EURUSD", 1.1, base + m * kMinute, "portal"});
    store.Record(ticks);
    QVERIFY(store.WaitForWrites(kWait));
    QCOMPARE(store.CurrentState(), HistoryStore::State::Full);
    QVERIFY(!store.Note().isEmpty());
    // What was written before stays readable.
    QCOMPARE(store.Bars("EURUSD", base, base).size(), 1);
    filler.close();
    QVERIFY(filler.remove());
}

// Two stores in two folders keep their own ticks; a store gone finishes what it was given; the
// state's changes reach the thread that made the store.
void TestHistoryStore::storesInTwoFoldersAndStateChanges() {
    QTemporaryDir one, two;
    const qint64 base = BaseMinute();
    QStringList seen;
    {
        HistoryStore a(one.filePath("sub/history.sqlite")), b(two.filePath("history.sqlite"));
        a.OnStateChanged = [&] {
            QCOMPARE(QThread::currentThread(), thread());
            seen << "a";
        };
        a.Record({{"EURUSD", 1.1, base, "portal"}});
        b.Record({{"EURUSD", 1.2, base, "ecb"}});
        QTRY_COMPARE(seen, QStringList{"a"});
        QCOMPARE(a.CurrentState(), HistoryStore::State::On);
        QCOMPARE(a.Note(), QString());
        QVERIFY(b.WaitForWrites(kWait));
        QCOMPARE(b.Bars("EURUSD", base, base).value(0).source, QStringLiteral("ecb"));
        QVERIFY(a.WaitForWrites(kWait));
        QCOMPARE(a.Bars("EURUSD", base, base).value(0).close, 1.1);
        a.Record({{"EURUSD", 1.3, base + 1, "portal"}});
    }
    QTRY_COMPARE(
        ReadHistoryBars(one.filePath("sub/history.sqlite"), "EURUSD", base, base).value(0).close,
        1.3);

    HistoryStore off(two.filePath("off/history.sqlite"), 0);
    QCOMPARE(off.CurrentState(), HistoryStore::State::Off);
    off.Record({{"EURUSD", 1.2, base, "ecb"}});
    QVERIFY(off.WaitForWrites(kWait));
    QVERIFY(!QFileInfo::exists(two.filePath("off")));
    QCOMPARE(off.Note(), QString());
}

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "test_historystore.moc"
