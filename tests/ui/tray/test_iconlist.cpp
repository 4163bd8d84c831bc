#include <QBuffer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <functional>

#include "ui/tray/iconlist.h"

using namespace kestrel;

using ListOp = std::function<void(TIconList&)>;
Q_DECLARE_METATYPE(ListOp)

namespace {

// A directory with one entry is all the list looks at; the tag makes icons tell apart.
QByteArray FakeIco(char tag) {
    QByteArray bytes(22, '\0');
    qToLittleEndian<quint16>(1, bytes.data() + 2);
    qToLittleEndian<quint16>(1, bytes.data() + 4);
    bytes.append(QByteArray(8, tag));
    return bytes;
}

// The tags of the slots in order, '-' for an empty slot.
QString Tags(const TIconList& list) {
    QString tags;
    for (int i = 0; i < list.Count(); ++i) {
        const TIcon* icon = list.Get(i);
        tags += icon ? QChar::fromLatin1(icon->Data().back()) : QLatin1Char('-');
    }
    return tags;
}

void Fill(TIconList& list, const char* tags) {
    for (const char* t = tags; *t != '\0'; ++t) {
        list.Add(TIcon(FakeIco(*t)));
    }
}

QByteArray Saved(const TIconList& list) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    list.SaveToStream(buffer);
    return buffer.data();
}

QByteArray Int32(qint32 v) {
    QByteArray raw(4, '\0');
    qToLittleEndian(v, raw.data());
    return raw;
}

}  // namespace

class TestIconList : public QObject {
    Q_OBJECT
private slots:
    void operationsNotifyOnceAndLeaveSlotsInOrder_data() {
        QTest::addColumn<ListOp>("op");
        QTest::addColumn<QString>("order");
        QTest::addColumn<int>("changes");
        const TIcon x(FakeIco('x'));
        QTest::newRow("add") << ListOp([x](TIconList& l) { QCOMPARE(l.Add(x), 3); }) << "abcx" << 1;
        QTest::newRow("put over a slot")
            << ListOp([x](TIconList& l) { l.Put(1, x); }) << "axc" << 1;
        QTest::newRow("put at count appends")
            << ListOp([x](TIconList& l) { l.Put(3, x); }) << "abcx" << 1;
        QTest::newRow("put past count") << ListOp([x](TIconList& l) { l.Put(4, x); }) << "abc" << 0;
        QTest::newRow("insert") << ListOp([x](TIconList& l) { l.Insert(0, x); }) << "xabc" << 1;
        QTest::newRow("delete") << ListOp([](TIconList& l) { l.Delete(1); }) << "ac" << 1;
        QTest::newRow("delete out of range")
            << ListOp([](TIconList& l) { l.Delete(-1); }) << "abc" << 0;
        QTest::newRow("clear") << ListOp([](TIconList& l) { l.Clear(); }) << "" << 1;
        QTest::newRow("exchange") << ListOp([](TIconList& l) { l.Exchange(0, 2); }) << "cba" << 1;
        QTest::newRow("move forward") << ListOp([](TIconList& l) { l.Move(0, 2); }) << "bca" << 1;
        QTest::newRow("move back") << ListOp([](TIconList& l) { l.Move(2, 0); }) << "cab" << 1;
        QTest::newRow("edit an icon in place")
            << ListOp([](TIconList& l) { l.Get(2)->SetData(FakeIco('z')); }) << "abz" << 1;
        QTest::newRow("assign a list") << ListOp([](TIconList& l) {
            TIconList other;
            Fill(other, "pq");
            other.Put(2, TIcon());
            other.Delete(2);
            l.Assign(&other);
        }) << "pq" << 1;
        QTest::newRow("assign none") << ListOp([](TIconList& l) { l.Assign(nullptr); }) << "" << 1;
        QTest::newRow("assign one of its own icons")
            << ListOp([](TIconList& l) { l.Assign(*l.Get(1)); }) << "b" << 1;
        QTest::newRow("brackets nest") << ListOp([x](TIconList& l) {
            l.BeginUpdate();
            l.BeginUpdate();
            l.Add(x);
            l.EndUpdate();
            l.Delete(0);
            l.EndUpdate();
            l.EndUpdate();  // unbalanced: ignored
        }) << "bcx" << 1;
    }
    void operationsNotifyOnceAndLeaveSlotsInOrder() {
        QFETCH(ListOp, op);
        QFETCH(QString, order);
        QFETCH(int, changes);
        TIconList list;
        Fill(list, "abc");
        int seen = 0;
        list.OnChange = [&](TIconList* sender) {
            QCOMPARE(sender, &list);
            ++seen;
        };
        op(list);
        QCOMPARE(Tags(list), order);
        QCOMPARE(seen, changes);
        QCOMPARE(list.UpdateCount(), 0);
    }

    void indexOfFindsTheObjectNotACopy() {
        TIconList list;
        Fill(list, "ab");
        TIcon* b = list.Get(1);
        const TIcon copy(*b);
        QCOMPARE(list.IndexOf(b), 1);
        QCOMPARE(list.IndexOf(&copy), -1);
        list.Exchange(0, 1);
        QCOMPARE(list.IndexOf(b), 0);
        // A copy handed out is not linked to the list.
        int seen = 0;
        list.OnChange = [&](TIconList*) { ++seen; };
        TIcon outside(*list.Get(0));
        outside.SetData(FakeIco('q'));
        QCOMPARE(seen, 0);
    }

    void storedFormRoundTripsByteForByte() {
        TIconList list;
        Fill(list, "ab");
        list.Insert(1, TIcon());  // an empty slot stays empty
        const QByteArray saved = Saved(list);
        const QByteArray ico = FakeIco('a');
        QCOMPARE(saved.left(16), Int32(3) + Int32(ico.size()) + Int32(0) + Int32(ico.size()));
        QCOMPARE(saved.size(), 16 + 2 * ico.size());

        TIconList loaded;
        Fill(loaded, "zz");
        int seen = 0;
        loaded.OnChange = [&](TIconList*) { ++seen; };
        QBuffer in;
        in.setData(saved);
        in.open(QIODevice::ReadOnly);
        QVERIFY(loaded.LoadFromStream(in));
        QCOMPARE(Tags(loaded), QStringLiteral("a-b"));
        QCOMPARE(seen, 1);
        QCOMPARE(Saved(loaded), saved);
        QCOMPARE(Saved(TIconList()), Int32(0));
    }

    void malformedStreamLeavesTheListAlone_data() {
        QTest::addColumn<QByteArray>("stream");
        const QByteArray ico = FakeIco('n');
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("short count") << QByteArray("\x01\x00", 2);
        QTest::newRow("negative count") << Int32(-1);
        QTest::newRow("count without sizes") << Int32(0x7fffffff);
        QTest::newRow("blob cut short") << Int32(1) + Int32(ico.size()) + ico.left(5);
        QTest::newRow("size claims 2 GB") << Int32(1) + Int32(0x7fffffff) + ico;
    }
    void malformedStreamLeavesTheListAlone() {
        QFETCH(QByteArray, stream);
        TIconList list;
        Fill(list, "ab");
        int seen = 0;
        list.OnChange = [&](TIconList*) { ++seen; };
        QBuffer in;
        in.setData(stream);
        in.open(QIODevice::ReadOnly);
        QVERIFY(!list.LoadFromStream(in));
        QCOMPARE(Tags(list), QStringLiteral("ab"));
        QCOMPARE(seen, 0);
    }

    void resourceIconsLoadOnlyFromIcoFiles() {
        QTemporaryDir dir;
        const QString good = dir.filePath("good.ico");
        const QString bad = dir.filePath("bad.ico");
        QFile f(good);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(FakeIco('r'));
        f.close();
        QFile g(bad);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("GIF89a not an icon at all");
        g.close();

        TIconList list;
        Fill(list, "a");
        QCOMPARE(list.AddResource(bad), -1);
        QCOMPARE(list.AddResource(dir.filePath("missing.ico")), -1);
        QVERIFY(!list.InsertResource(5, good));
        QCOMPARE(Tags(list), QStringLiteral("a"));
        QCOMPARE(list.AddResource(good), 1);
        QVERIFY(list.InsertResource(0, good));
        QCOMPARE(Tags(list), QStringLiteral("rar"));
    }
};

QTEST_GUILESS_MAIN(TestIconList)
#include "test_iconlist.moc"
