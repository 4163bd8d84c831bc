#include <sys/mount.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "settings/profile.h"
#include "settings/scrambler.h"
#include "text/encodings.h"

using namespace kestrel;

Q_DECLARE_METATYPE(kestrel::FileEncoding)

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString DataFile(const char* name) {
    return QStringLiteral(KESTREL_TEST_DATA "/") + name;
}

// A small tmpfs on a folder of its own, unmounted again however the test ends.
struct SmallMount {
    QTemporaryDir dir;
    bool mounted = false;

    SmallMount() {
        mounted = dir.isValid() && ::mount("tmpfs", QFile::encodeName(dir.path()).constData(),
                                           "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallMount() {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    bool MakeReadOnly() const {
        return ::mount(nullptr, QFile::encodeName(dir.path()).constData(), nullptr,
                       MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
    }
};

}  // namespace

class TestProfile : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(dir_.isValid());
        path_ = dir_.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u'-' +
                              QString::fromUtf8(QTest::currentDataTag()) + ".ini");
    }

    void integerAndBooleanReading_data();
    void integerAndBooleanReading();
    void floatText_data();
    void floatText();
    void floatReading_data();
    void floatReading();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void layoutKeepsLinesAndPlacesNewKeys();
    void encodingOfTheFileIsKept_data();
    void encodingOfTheFileIsKept();
    void scrambledBytesSurviveInUtf8File();
    void lineBreakInValueIsRefusedAndEarlierKeysStay();
    void refusedWrites_data();
    void refusedWrites();
    void fullOrReadOnlyDiskKeepsTheFile_data();
    void fullOrReadOnlyDiskKeepsTheFile();
    void editWritesAllSectionsInOneGo();
    void editErasesKeys();
    void longValuesAreCutAt2047();
    void snapshotReadsOnceAndEndsWithAWrite();

private:
    QTemporaryDir dir_;
    QString path_;
};

void TestProfile::integerAndBooleanReading_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("integer");   // with default -7
    QTest::addColumn<bool>("boolean");  // with default true
    QTest::newRow("decimal") << QByteArray("42") << 42 << true;
    QTest::newRow("negative") << QByteArray("-5") << -5 << true;
    QTest::newRow("zero is false") << QByteArray("0") << 0 << false;
    QTest::newRow("dollar hex") << QByteArray("$1F") << 31 << true;
    QTest::newRow("0x hex") << QByteArray("0x10") << 16 << true;
    QTest::newRow("0X hex") << QByteArray("0X1a") << 26 << true;
    QTest::newRow("32-bit hex wraps") << QByteArray("$FFFFFFFF") << -1 << true;
    QTest::newRow("blanks around") << QByteArray("  7\t") << 7 << true;
    QTest::newRow("two is true") << QByteArray("2") << 2 << true;
    QTest::newRow("text true") << QByteArray("true") << -7 << true;
    QTest::newRow("text yes") << QByteArray("yes") << -7 << true;
    QTest::newRow("empty") << QByteArray("") << -7 << true;
    QTest::newRow("trailing junk") << QByteArray("12abc") << -7 << true;
    QTest::newRow("prefix only") << QByteArray("$") << -7 << true;
    QTest::newRow("too large") << QByteArray("2147483648") << -7 << true;
    QTest::newRow("smallest int") << QByteArray("-2147483648") << INT_MIN << true;
    QTest::newRow("too much hex") << QByteArray("$100000000") << -7 << true;
}

void TestProfile::integerAndBooleanReading() {
    QFETCH(QByteArray, stored);
    QFETCH(int, integer);
    QFETCH(bool, boolean);
    WriteAll(path_, "[Param]\nKey=" + stored + "\n");
    const TIniFile ini(path_);
    QCOMPARE(ini.ReadInteger("Param", "Key", -7), integer);
    QCOMPARE(ini.ReadBool("Param", "Key", true), boolean);
    QCOMPARE(ini.ReadInteger("Param", "Missing", -7), -7);
}

void TestProfile::floatText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("one") << 1.0 << "1";
    QTest::newRow("one and a half") << 1.5 << "1.5";
    QTest::newRow("price") << 7.8912 << "7.8912";
    QTest::newRow("smallest fixed") << 0.0001 << "0.0001";
    QTest::newRow("below 0.0001") << 0.00001 << "1E-5";
    QTest::newRow("small with digits") << 0.0000125 << "1.25E-5";
    QTest::newRow("negative") << -2.25 << "-2.25";
    QTest::newRow("binary noise") << 0.1 + 0.2 << "0.3";
    QTest::newRow("fifteen digits") << 123456789012345.0 << "123456789012345";
    QTest::newRow("large") << 1e20 << "1E+20";
    QTest::newRow("rounded to 15 digits") << 2.0 / 3.0 << "0.666666666666667";
    QTest::newRow("zero") << 0.0 << "0";
}

void TestProfile::floatText() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(FloatToText(value), text);
    TIniFile ini(path_);
    ini.WriteFloat("Param", "F", value);
    QCOMPARE(ini.ReadString("Param", "F", {}), text);
    QCOMPARE(ini.ReadFloat("Param", "F", 99), text.toDouble());
}

void TestProfile::floatReading_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("value");  // with default 99
    QTest::newRow("point last") << "5." << 5.0;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("signed exponent") << "+.5e-3" << 0.0005;
    QTest::newRow("exponent without point") << " 2E3 " << 2000.0;
    QTest::newRow("lone point") << "." << 99.0;
    QTest::newRow("lone exponent") << "e5" << 99.0;
    QTest::newRow("exponent without digits") << "1e+" << 99.0;
    QTest::newRow("two points") << "1.2.3" << 99.0;
    QTest::newRow("comma") << "1,5" << 99.0;
    QTest::newRow("hexadecimal") << "0x10" << 99.0;
    QTest::newRow("two signs") << "--1" << 99.0;
    QTest::newRow("inner blank") << "1 5" << 99.0;
    QTest::newRow("infinity") << "inf" << 99.0;
    QTest::newRow("overflow") << "1e400" << 99.0;
    QTest::newRow("full-width digit") << "１" << 99.0;
}

void TestProfile::floatReading() {
    QFETCH(QString, stored);
    QFETCH(double, value);
    TIniFile ini(path_);
    ini.WriteString("Param", "F", stored);
    QCOMPARE(ini.ReadFloat("Param", "F", 99), value);
}

void TestProfile::valuesRoundTrip_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "http://127.0.0.1:8936/rates/index.aspx";
    QTest::newRow("chinese") << "人民币黄金";
    QTest::newRow("empty") << "";
    QTest::newRow("blanks around") << "  spaced  ";
    QTest::newRow("quoted") << "\"quoted\"";
    QTest::newRow("single quoted") << "'x'";
    QTest::newRow("equals and semicolon") << "a=b;c";
    QTest::newRow("outside GBK") << "😀 €";
}

void TestProfile::valuesRoundTrip() {
    QFETCH(QString, value);
    TIniFile ini(path_);
    ini.WriteString("Param", "Text", value);
    ini.WriteInteger("Param", "Int", -123);
    ini.WriteBool("Form", "Flag", true);
    QCOMPARE(ini.ReadString("param", "TEXT", "default"), value);
    QCOMPARE(ini.ReadInteger("PARAM", "int", 0), -123);
    QCOMPARE(ini.ReadBool("form", "flag", false), true);
    QCOMPARE(ini.FileName(), path_);
}

void TestProfile::layoutKeepsLinesAndPlacesNewKeys() {
    WriteAll(path_, "; kept\r\n[param]\r\nINTERVAL = 5\r\nother=x\r\n\r\n[Form]\r\nTop=1");
    TIniFile ini(path_);
    ini.WriteInteger("Param", "Interval", 7);
    ini.WriteString("Param", "HotKey", "F9");
    ini.WriteBool("Form", "Alpha", true);
    ini.WriteString("New", "Key", "v");
    // Several keys at once: replaced where they stand, new ones in order, a new section too.
    ini.WriteIntegers("Form", {{"Pos_X", -3}, {"top", 0}, {"Pos_Y", 4}});
    ini.WriteIntegers("Pair", {{"A", 1}, {"B", 2}});
    QCOMPARE(ReadAll(path_),
             QByteArray("; kept\r\n[param]\r\nINTERVAL =7\r\nother=x\r\nHotKey=F9\r\n"
                        "\r\n[Form]\r\nTop=0\r\nAlpha=1\r\nPos_X=-3\r\nPos_Y=4\r\n\r\n[New]\r\n"
                        "Key=v\r\n\r\n[Pair]\r\nA=1\r\nB=2\r\n"));
    QCOMPARE(ini.ReadInteger("Param", "Interval", 0), 7);
}

void TestProfile::encodingOfTheFileIsKept_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<FileEncoding>("encoding");
    QTest::newRow("gbk") << DataFile("settings-gbk.ini") << FileEncoding::Gbk;
    QTest::newRow("utf8") << DataFile("settings-utf8.ini") << FileEncoding::Utf8;
    QTest::newRow("new file") << QString() << FileEncoding::Gbk;
}

void TestProfile::encodingOfTheFileIsKept() {
    QFETCH(QString, source);
    QFETCH(FileEncoding, encoding);
    if (!source.isEmpty())
        QVERIFY(QFile::copy(source, path_));
    TIniFile ini(path_);
    if (!source.isEmpty()) {
        QCOMPARE(ini.ReadString("Param", "MonitorCcy", {}), QStringLiteral("欧元美元"));
    }
    ini.WriteString("Param", "MonitorCcy", QStringLiteral("现货黄金"));
    ini.WriteString("Param", "Added", QStringLiteral("宋体"));
    const QByteArray bytes = ReadAll(path_);
    QCOMPARE(DecodeFileBytes(bytes).encoding, encoding);
    QVERIFY(bytes.contains(EncodeFileText(QStringLiteral("MonitorCcy=现货黄金"), encoding)));
    QCOMPARE(ini.ReadString("Param", "Added", {}), QStringLiteral("宋体"));
    if (!source.isEmpty())
        QCOMPARE(ini.ReadBool("Form", "Top", false), true);
}

void TestProfile::scrambledBytesSurviveInUtf8File() {
    QVERIFY(QFile::copy(DataFile("settings-utf8.ini"), path_));
    TIniFile ini(path_);
    // Scrambled UTF-8 is no longer valid UTF-8; neither it nor the Chinese values may suffer.
    const QByteArray secret = ScrambleText(QStringLiteral("张三 密码").toUtf8(), kScrambleKey);
    QByteArray everyByte;
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            everyByte += static_cast<char>(b);
    }
    ini.WriteBytes("Param", "ProxyUsername", secret);
    ini.WriteBytes("Param", "ProxyPassword", everyByte);
    QCOMPARE(ini.ReadBytes("Param", "ProxyUsername", {}), secret);
    QCOMPARE(ini.ReadBytes("Param", "ProxyPassword", {}), everyByte);
    QCOMPARE(ini.ReadString("Param", "MonitorCcy", {}), QStringLiteral("欧元美元"));
    ini.WriteString("Param", "Font", QStringLiteral("宋体,12,,0,clRed,134"));
    QCOMPARE(ini.ReadString("Param", "Font", {}), QStringLiteral("宋体,12,,0,clRed,134"));
    QCOMPARE(ini.ReadBytes("Param", "ProxyUsername", {}), secret);
    QCOMPARE(ScrambleText(ini.ReadBytes("Param", "ProxyUsername", {}), kScrambleKey),
             QStringLiteral("张三 密码").toUtf8());
}

void TestProfile::lineBreakInValueIsRefusedAndEarlierKeysStay() {
    TIniFile ini(path_);
    ini.WriteString("Param", "First", "1");
    const QByteArray before = ReadAll(path_);
    QVERIFY_THROWS_EXCEPTION(WriteError, ini.WriteBytes("Param", "Second", "a\nb=c"));
    QVERIFY_THROWS_EXCEPTION(WriteError, ini.WriteString("Param", "Second", "a\rb"));
    QCOMPARE(ReadAll(path_), before);
    QCOMPARE(ini.ReadString("Param", "First", {}), QStringLiteral("1"));
}

void TestProfile::refusedWrites_data() {
    QTest::addColumn<QString>("target");
    QTest::newRow("parent is a file") << QStringLiteral("plain-file/kestrel.ini");
    QTest::newRow("folder refuses") << QStringLiteral("/proc/kestrel-settings-test.ini");
    QTest::newRow("unreadable existing path") << QStringLiteral("a-folder");
}

void TestProfile::refusedWrites() {
    QFETCH(QString, target);
    WriteAll(dir_.filePath("plain-file"), "not a folder");
    QVERIFY(QDir(dir_.path()).mkpath("a-folder"));
    const QString path = target.startsWith(u'/') ? target : dir_.filePath(target);
    TIniFile ini(path);
    try {
        ini.WriteInteger("Param", "Interval", 5);
        QFAIL("write was not refused");
    } catch (const WriteError& e) {
        QCOMPARE(e.Path(), path);
        QCOMPARE(QString::fromStdString(e.what()), "Unable to write to " + path);
    }
    QCOMPARE(ini.ReadInteger("Param", "Interval", 10), 10);
    QVERIFY(QFileInfo(dir_.filePath("a-folder")).isDir());
}

void TestProfile::fullOrReadOnlyDiskKeepsTheFile_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("batch");
    QTest::newRow("full, one key") << false << false;
    QTest::newRow("full, edit") << false << true;
    QTest::newRow("read-only, one key") << true << false;
    QTest::newRow("read-only, edit") << true << true;
}

// As root, permissions stop no write: only a real full or read-only file system shows whether
// a refused write is caught before the new file takes the old one's place.
void TestProfile::fullOrReadOnlyDiskKeepsTheFile() {
    QFETCH(bool, readOnly);
    QFETCH(bool, batch);
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    SmallMount disk;
    if (!disk.mounted)
        QSKIP("this container may not mount a tmpfs");
    const QString path = disk.dir.filePath("kestrel.ini");
    const QByteArray before =
        "[Param]\r\nInterval=10\r\nProxyType=2\r\nMonitorCcy=\xCF\xD6\xBB\xF5"
        "\r\n\r\n[Sources]\r\nOrder=portal,ecb\r\n\r\n[Form]\r\nPos_X=5\r\n";
    WriteAll(path, before);
    if (readOnly) {
        QVERIFY(disk.MakeReadOnly());
    } else {
        QFile filler(disk.dir.filePath("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) > 0) {
        }
    }

    TIniFile ini(path);
    if (batch) {
        TIniEdit edit(ini);
        edit.WriteInteger("Param", "Interval", 30);
        edit.WriteString("Sources", "Order", "ecb");
        edit.WriteBool("Form", "Top", true);
        QVERIFY_THROWS_EXCEPTION(WriteError, edit.Commit());
    } else {
        QVERIFY_THROWS_EXCEPTION(WriteError, ini.WriteInteger("Param", "Interval", 30));
    }
    QCOMPARE(ReadAll(path), before);
    QStringList expected{"kestrel.ini"};
    if (!readOnly)
        expected.prepend("filler");
    QCOMPARE(QDir(disk.dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

void TestProfile::editWritesAllSectionsInOneGo() {
    WriteAll(path_, "[Param]\r\nInterval=10\r\n\r\n[Form]\r\nTop=0\r\n");
    TIniFile ini(path_);
    TIniEdit edit(ini);
    edit.WriteInteger("Param", "Interval", 30);
    edit.WriteBool("Form", "Top", true);
    edit.WriteString("Sources", "Order", "ecb");
    edit.WriteTextBytes("Param", "Name", QStringLiteral("人"),
                        [](const QByteArray& bytes) { return bytes + '!'; });
    QCOMPARE(ReadAll(path_), QByteArray("[Param]\r\nInterval=10\r\n\r\n[Form]\r\nTop=0\r\n"));
    edit.Commit();
    QCOMPARE(ReadAll(path_),
             QByteArray("[Param]\r\nInterval=30\r\nName=\xC8\xCB!\r\n\r\n[Form]\r\nTop=1\r\n\r\n"
                        "[Sources]\r\nOrder=ecb\r\n"));
    // A bad value refuses the whole edit, the keys before it too.
    edit.WriteInteger("Param", "Interval", 5);
    edit.WriteString("Param", "Bad", "a\nb");
    QVERIFY_THROWS_EXCEPTION(WriteError, edit.Commit());
    QCOMPARE(ini.ReadInteger("Param", "Interval", 0), 30);
}

void TestProfile::editErasesKeys() {
    WriteAll(path_,
             "[Alarms]\r\nAlarm1=a\r\nalarm2 = b\r\nOther=x\r\nAlarm2=dup\r\n\r\n"
             "[Param]\r\nAlarm2=kept\r\nLast=1");
    TIniFile ini(path_);
    QCOMPARE(ini.ReadKeys("ALARMS"), (QStringList{"Alarm1", "alarm2", "Other", "Alarm2"}));
    QCOMPARE(ini.ReadKeys("None"), QStringList());
    TIniEdit edit(ini);
    // Every line of the key goes, in its section only; a write after the erase adds it anew.
    edit.WriteString("Alarms", "Alarm1", "new");
    edit.EraseKey("Alarms", "ALARM2");
    edit.EraseKey("Alarms", "Missing");
    edit.WriteString("Alarms", "Alarm3", "c");
    edit.EraseKey("Param", "Last");
    edit.Commit();
    const QByteArray after(
        "[Alarms]\r\nAlarm1=new\r\nOther=x\r\nAlarm3=c\r\n\r\n"
        "[Param]\r\nAlarm2=kept\r\n");
    QCOMPARE(ReadAll(path_), after);
    // A refused write refuses the erases of its edit too.
    edit.EraseKey("Alarms", "Other");
    edit.WriteString("Alarms", "Bad", "a\nb");
    QVERIFY_THROWS_EXCEPTION(WriteError, edit.Commit());
    QCOMPARE(ReadAll(path_), after);
    // Erasing what is not there makes no file.
    TIniFile missing(dir_.filePath("missing.ini"));
    TIniEdit nothing(missing);
    nothing.EraseKey("Alarms", "Alarm1");
    nothing.Commit();
    QVERIFY(!QFile::exists(missing.FileName()));
}

void TestProfile::longValuesAreCutAt2047() {
    TIniFile ini(path_);
    ini.WriteString("Param", "Long", QString(3000, u'汉'));
    ini.WriteBytes("Param", "Raw", QByteArray(3000, 'x'));
    ini.WriteString("Param", "After", "kept");
    QCOMPARE(ini.ReadString("Param", "Long", {}), QString(2047, u'汉'));
    QCOMPARE(ini.ReadBytes("Param", "Raw", {}).size(), 2047);
    QCOMPARE(ini.ReadString("Param", "After", {}), QStringLiteral("kept"));
}

void TestProfile::snapshotReadsOnceAndEndsWithAWrite() {
    WriteAll(path_, "[Param]\r\nInterval=5\r\nName=\xC8\xCB\r\n");
    TIniFile snapshot = TIniFile::Snapshot(path_);
    WriteAll(path_, "[Param]\r\nInterval=9\r\n");
    QCOMPARE(snapshot.ReadInteger("Param", "Interval", 0), 5);
    QCOMPARE(snapshot.ReadString("Param", "Name", {}), QStringLiteral("人"));
    QCOMPARE(TIniFile(path_).ReadInteger("Param", "Interval", 0), 9);
    // A write goes to the file as it is now, and the snapshot reads the file from then on.
    snapshot.WriteInteger("Param", "Other", 1);
    QCOMPARE(snapshot.ReadInteger("Param", "Interval", 0), 9);
    QCOMPARE(snapshot.ReadString("Param", "Name", QStringLiteral("-")), QStringLiteral("-"));
}

QTEST_GUILESS_MAIN(TestProfile)
#include "test_profile.moc"
