// The information file and the version check: key marks, the list of files with their digests,
// version numbers and dates, the numbers the download loop shows, and when a signed file is
// trusted.
#include <QtTest>

#include "upgrade/infofile.h"
#include "upgrade/minisign.h"
#include "upgrade/upgradetext.h"
#include "upgradekeys.h"

using namespace kestrel;

class TestInfoFile : public QObject {
    Q_OBJECT
private slots:
    void infoValue_data();
    void infoValue();
    void files_data();
    void files();
    void newer_data();
    void newer();
    void versionDates_data();
    void versionDates();
    void downloadNumbers();
    void safeNames_data();
    void safeNames();
    void trust_data();
    void trust();
    void manyUrlsRefusedQuickly();
    void refusedTargets_data();
    void refusedTargets();
};

namespace {

const QByteArray kDigest = QByteArray(64, 'a');

}  // namespace

void TestInfoFile::infoValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("multiLine");
    QTest::addColumn<QString>("expected");
    QTest::newRow("capital mark, value keeps its case") << "#VERSION=0.91Beta\r\n"
                                                        << "version" << false << "0.91Beta";
    QTest::newRow("mid-line mark, ends at a tab") << "see #method=2\tlater"
                                                  << "method" << false << "2";
    QTest::newRow("not trimmed, ends with the file") << "#url= a b "
                                                     << "url" << false << " a b ";
    QTest::newRow("first of two") << "#version=1\n#version=2\n"
                                  << "version" << false << "1";
    QTest::newRow("url0 is not url") << "#url0=x\n"
                                     << "url" << false << "";
    QTest::newRow("two-line message") << "#message={第一行\r\n第二行}#x"
                                      << "message" << true << "第一行\r\n第二行";
    QTest::newRow("message without {") << "#message=\n{text}"
                                       << "message" << true << "";
    QTest::newRow("message without }") << "#Message={open"
                                       << "message" << true << "open";
}

void TestInfoFile::infoValue() {
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(bool, multiLine);
    QFETCH(QString, expected);
    QCOMPARE(InfoValue(text, name, multiLine), expected);
}

void TestInfoFile::files_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QStringList>("digests");  // hex; "-" none
    const QString good = QString(64, u'a');
    QTest::newRow("A, B, C gives A and C") << "#url=A\n#url1=B\n#url2=C\n"
                                           << QStringList{"A", "C"} << QStringList{"-", "-"};
    QTest::newRow("numbered from 1, a gap ends") << "#url1=B\n#url2=C\n#url4=E\n"
                                                 << QStringList{"B", "C"} << QStringList{"-", "-"};
    QTest::newRow("url and url0, then from 3")
        << "#url=A\n#url0=Z\n#url2=X\n#url3=C\n"
        << QStringList{"A", "Z", "C"} << QStringList{"-", "-", "-"};
    QTest::newRow("digest beside its address")
        << "#url=A\n#url.sha256=" + good + "\n#url2=C\n#url2.SHA256=" + good.toUpper()
        << QStringList{"A", "C"} << QStringList{good, good};
    QTest::newRow("a malformed digest never matches") << "#url1=B\n#url1.sha256=abc\n"
                                                      << QStringList{"B"} << QStringList{"bad"};
}

void TestInfoFile::files() {
    QFETCH(QString, text);
    QFETCH(QStringList, urls);
    QFETCH(QStringList, digests);
    const QList<UpgradeFile> files = InfoFiles(text);
    QCOMPARE(files.size(), urls.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        QCOMPARE(files[i].URL, urls[i]);
        if (digests[i] == u"-")
            QVERIFY(files[i].Sha256.isEmpty());
        else if (digests[i] == u"bad")
            QVERIFY(!files[i].Sha256.isEmpty() && files[i].Sha256.size() != 32);
        else
            QCOMPARE(files[i].Sha256.toHex(), digests[i].toLatin1());
    }
}

void TestInfoFile::newer_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("byNumber");
    QTest::addColumn<bool>("newer");
    QTest::newRow("0.91") << "#version=0.91" << true << true;
    QTest::newRow("0.100 counts as a number") << "#version=0.100" << true << true;
    QTest::newRow("0.90") << "#version=0.90" << true << false;
    QTest::newRow("0.90.0.0") << "#version=0.90.0.0" << true << false;
    QTest::newRow("no mark") << "#url=x" << true << false;
    QTest::newRow("0.9a compares as text") << "#version=0.9a" << true << true;
    QTest::newRow("1.0b") << "#version=1.0b" << true << true;
    QTest::newRow("0.89") << "#version=0.89" << true << false;
    QTest::newRow("day after") << "#date=04/23/2012" << false << true;
    QTest::newRow("same day") << "#date=4/22/2012" << false << false;
    QTest::newRow("day before") << "#date=04/21/2012" << false << false;
    QTest::newRow("no date is today") << "#url=x" << false << true;
    QTest::newRow("bad date is today") << "#date=13/01/2011" << false << true;
}

void TestInfoFile::newer() {
    QFETCH(QString, text);
    QFETCH(bool, byNumber);
    QFETCH(bool, newer);
    const auto control =
        byNumber ? TUpdaterVersionControl::byNumber : TUpdaterVersionControl::byDate;
    QCOMPARE(IsNewerVersion(text, control, "0.90", "04/22/2012", QDate(2024, 5, 1)), newer);
}

void TestInfoFile::versionDates_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected");
    const QDate today(2024, 5, 1);
    QTest::newRow("padded") << "04/22/2012" << QDate(2012, 4, 22);
    QTest::newRow("unpadded") << "4/2/2012" << QDate(2012, 4, 2);
    QTest::newRow("leap day") << "02/29/2012" << QDate(2012, 2, 29);
    QTest::newRow("no leap day") << "02/29/2013" << today;
    QTest::newRow("day first is no month") << "22/04/2012" << today;
    QTest::newRow("one slash") << "04/2012" << today;
    QTest::newRow("letters") << "Apr/22/2012" << today;
    QTest::newRow("empty") << "" << today;
}

void TestInfoFile::versionDates() {
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    QCOMPARE(ParseVersionDate(text, QDate(2024, 5, 1)), expected);
    if (expected != QDate(2024, 5, 1))
        QCOMPARE(ParseVersionDate(FormatVersionDate(expected)), expected);
}

void TestInfoFile::downloadNumbers() {
    QCOMPARE(FormatVersionDate(QDate(2012, 4, 22)), QStringLiteral("04/22/2012"));
    // Three files, half of the second done: 33 for the first, 16 of the second.
    QCOMPARE(int(TotalPercent(1, 3, 50)), 49);
    QCOMPARE(int(TotalPercent(2, 3, 100)), 100);
    QCOMPARE(int(TotalPercent(0, 0, 50)), 0);
    SetUpdaterLanguage(wlChineseSimplified);
    QCOMPARE(TimeLeftText(3725), QStringLiteral("估计剩余时间: 1:02:05"));
    QCOMPARE(TimeLeftText(-7), QStringLiteral("估计剩余时间: 0:00:00"));
}

void TestInfoFile::safeNames_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "http://h/d/kestrel"
                           << "kestrel";
    QTest::newRow("escaped blank kept as written") << "http://h/new%20file.txt"
                                                   << "new%20file.txt";
    QTest::newRow("escaped slash") << "http://h/a%2F..%2Fb"
                                   << "";
    QTest::newRow("escaped backslash") << "http://h/a%5cb"
                                       << "";
    QTest::newRow("dot dot") << "http://h/d/%2E%2E"
                             << "";
    QTest::newRow("hidden file") << "http://h/.bashrc"
                                 << "";
    QTest::newRow("folder address") << "http://h/d/"
                                    << "";
    QTest::newRow("control character") << "http://h/a%0Ab"
                                       << "";
}

void TestInfoFile::safeNames() {
    QFETCH(QString, url);
    QFETCH(QString, name);
    QCOMPARE(SafeDownloadName(url), name);
}

void TestInfoFile::trust_data() {
    QTest::addColumn<QByteArray>("info");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("change");   // what happens between signing and checking
    QTest::addColumn<QString>("refusal");  // the start of the reason; empty when trusted
    const QByteArray good = "#version=0.91\r\n#url=https://h/kestrel\r\n#url.sha256=" + kDigest;
    const QString comment = QStringLiteral("kestrelmv version=0.91 expires=2030-01-01");
    QTest::newRow("signed") << good << comment << ""
                            << "";
    QTest::newRow("a byte changed") << good << comment << "byte"
                                    << "the signature does not match";
    QTest::newRow("another key") << good << comment << "key"
                                 << "the signature was made by key";
    QTest::newRow("comment changed") << good << comment << "comment"
                                     << "the trusted comment was";
    QTest::newRow("no signature") << good << comment << "nosig"
                                  << "it has no signature";
    QTest::newRow("expired") << good << "kestrelmv version=0.91 expires=2026-01-01"
                             << ""
                             << "it expired";
    QTest::newRow("signed version differs") << good << "kestrelmv version=0.92 expires=2030-01-01"
                                            << ""
                                            << "its signed version";
    QTest::newRow("not a version")
        << QByteArray("#version=zzz\n#url=http://h/k\n#url.sha256=" + kDigest)
        << "kestrelmv version=zzz expires=2030-01-01"
        << ""
        << "its version";
    QTest::newRow("other comment") << good << "timestamp:1 file:kestrelmv.inf"
                                   << ""
                                   << "its trusted comment";
    QTest::newRow("local file") << QByteArray(
                                       "#version=0.91\n#url=file:///etc/passwd\n"
                                       "#url.sha256=" +
                                       kDigest)
                                << comment << ""
                                << "it names the address file:///etc/passwd";
    QTest::newRow("digest missing")
        << QByteArray("#version=0.91\n#url=http://h/kestrel\n#url.sha256=" + kDigest +
                      "\n#url0=http://h/kestrel-quoted\n")
        << comment << ""
        << "it gives no SHA-256 digest for http://h/kestrel-quoted";
    QTest::newRow("web page needs no digest")
        << QByteArray("#version=0.91\n#method=2\n#url=https://h/new\n") << comment << ""
        << "";
}

void TestInfoFile::trust() {
    QFETCH(QByteArray, info);
    QFETCH(QString, comment);
    QFETCH(QString, change);
    QFETCH(QString, refusal);
    const MinisignSecretKey key = TestKey();
    QVERIFY(!key.secret.isEmpty());
    QByteArray signature = MinisignSign(info, key, comment);
    QList<MinisignKey> keys{MinisignPublicOf(key)};
    if (change == u"byte")
        info[info.size() - 1] = 'b';
    else if (change == u"key")
        keys = {MinisignPublicOf(MinisignGenerate())};
    else if (change == u"comment")
        signature.replace("expires=2030", "expires=2031");
    else if (change == u"nosig")
        signature.clear();
    const QString reason = InfoRefusal(info, signature, keys, QDate(2026, 12, 8));
    if (refusal.isEmpty())
        QCOMPARE(reason, QString());
    else
        QVERIFY2(reason.startsWith(refusal), qPrintable(reason));
}

// A file of 100,000 addresses is read in linear time and refused for its length.
void TestInfoFile::manyUrlsRefusedQuickly() {
    QByteArray info = "#version=0.91\n#url=http://h/kestrel\n#url.sha256=" + kDigest + '\n';
    for (int i = 2; i <= 100000; ++i)
        info += "#url" + QByteArray::number(i) + "=http://h/f" + QByteArray::number(i) + '\n';
    const MinisignSecretKey key = TestKey();
    const QByteArray signature =
        MinisignSign(info, key, QStringLiteral("kestrelmv version=0.91 expires=2030-01-01"));
    QElapsedTimer timer;
    timer.start();
    const QString reason = InfoRefusal(info, signature, {MinisignPublicOf(key)}, QDate(2026, 1, 1));
    QVERIFY2(reason.startsWith(QStringLiteral("it lists more than 300 files")), qPrintable(reason));
    // A generous bound: the quadratic search took minutes.
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(InfoFiles(QString::fromLatin1(info)).size(), kMaxInfoFiles + 1);
}

void TestInfoFile::refusedTargets_data() {
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QString>("refused");
    QTest::newRow("program and companion")
        << QStringList{"http://h/kestrel", "http://h/kestrel-quoted"} << "";
    QTest::newRow("settings file")
        << QStringList{"http://h/kestrel", "http://h/kestrel.ini"} << "kestrel.ini";
    QTest::newRow("selection file") << QStringList{"http://h/kestrel.ccy"} << "kestrel.ccy";
    QTest::newRow("program in capitals") << QStringList{"http://h/KESTREL"} << "KESTREL";
    QTest::newRow("unsafe name") << QStringList{"http://h/..%2Fkestrel"} << "http://h/..%2Fkestrel";
}

void TestInfoFile::refusedTargets() {
    QFETCH(QStringList, urls);
    QFETCH(QString, refused);
    QList<UpgradeFile> files;
    for (const QString& url : urls)
        files.append({url, QByteArray(32, 'x')});
    QCOMPARE(RefusedTarget(files, QStringLiteral("kestrel")), refused);
}

QTEST_GUILESS_MAIN(TestInfoFile)
#include "test_infofile.moc"
