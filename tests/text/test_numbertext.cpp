// The checked conversions of command-line and query numbers: what a strtol would let through
// (spaces, trailing bytes, overflow wrapped to a limit) is refused.
#include <QTest>

#include "text/numbertext.h"

using namespace kestrel;

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void wholeNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("expected");  // -1: refused
        QTest::newRow("plain") << "8936" << qint64(8936);
        QTest::newRow("low bound") << "0" << qint64(0);
        QTest::newRow("high bound") << "65535" << qint64(65535);
        QTest::newRow("above") << "65536" << qint64(-1);
        QTest::newRow("negative") << "-1" << qint64(-1);
        QTest::newRow("empty") << "" << qint64(-1);
        QTest::newRow("sign alone") << "+" << qint64(-1);
        QTest::newRow("leading space") << " 80" << qint64(-1);
        QTest::newRow("trailing bytes") << "80x" << qint64(-1);
        QTest::newRow("fraction") << "80.5" << qint64(-1);
        QTest::newRow("overflow") << "99999999999999999999" << qint64(-1);
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("８０") << qint64(-1);
    }
    void wholeNumber() {
        QFETCH(QString, text);
        QFETCH(qint64, expected);
        QCOMPARE(ToWholeNumber(text, 0, 65535).value_or(-1), expected);
    }

    void plainNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");  // -1: refused
        QTest::newRow("whole") << "10" << 10.0;
        QTest::newRow("fraction") << "0.25" << 0.25;
        QTest::newRow("below") << "0.01" << -1.0;
        QTest::newRow("above") << "100.5" << -1.0;
        QTest::newRow("infinite") << "1e400" << -1.0;
        QTest::newRow("word") << "inf" << -1.0;
        QTest::newRow("hex") << "0x10" << -1.0;
        QTest::newRow("trailing space") << "10 " << -1.0;
    }
    void plainNumber() {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(ToPlainNumber(text, 0.05, 100).value_or(-1), expected);
    }
};

QTEST_APPLESS_MAIN(TestNumberText)
#include "test_numbertext.moc"
