// Breaking and cutting the failure lines: where a line may end, and what a cut tip keeps.
#include <QtTest>

#include "quotes/messages.h"

using namespace kestrel;

class TestMessages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void breaking_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");  // characters per line
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("host name whole")
            << "原因：数据源均已失效（欧洲央行：Could not resolve host www.ecb.europa.eu）" << 18
            << QStringList{"原因：数据源均已失效（欧洲央行：", "Could not resolve", "host",
                           "www.ecb.europa.eu）"};
        QTest::newRow("never after an opening bracket")
            << "数据源均已失效（新浪财经：HTTP 500）" << 9
            << QStringList{"数据源均已失效", "（新浪财经：", "HTTP 500）"};
        QTest::newRow("address and number whole")
            << "原因：127.0.0.1:8936 上没有报价服务（连接被拒绝）" << 17
            << QStringList{"原因：127.0.0.1:8936", "上没有报价服务（连接被拒绝）"};
        QTest::newRow("address wider than a line, on lines of its own")
            << "原因：127.0.0.1:8936 上" << 10 << QStringList{"原因：", "127.0.0.1:", "8936 上"};
        QTest::newRow("clauses packed")
            << "原因：服务器应答 HTTP 500" << 40 << QStringList{"原因：服务器应答 HTTP 500"};
        QTest::newRow("long clause between characters")
            << "原因：甲乙丙丙丁戊己庚辛壬癸" << 5
            << QStringList{"原因：甲乙", "丙丙丁戊己", "庚辛壬癸"};
        QTest::newRow("word wider than a line")
            << "abcdefghij" << 4 << QStringList{"abcd", "efgh", "ij"};
    }
    void breaking() {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QStringList, lines);
        QCOMPARE(BreakMessage(text, [&](const QString& s) { return s.size() <= width; }), lines);
    }

    void cutting_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("cut");
        const QString sources =
            "原因：数据源均已失效（新浪财经：HTTP 500；欧洲央行：www.ecb.europa.eu 拒绝连接）";
        QTest::newRow("fits") << sources << 63 << sources;
        QTest::newRow("at a clause, bracket closed")
            << sources << 30 << "原因：数据源均已失效（新浪财经：HTTP 500…）";
        QTest::newRow("before the bracket") << sources << 16 << "原因：数据源均已失效…";
        QTest::newRow("one long clause") << "甲乙丙丁戊己庚辛" << 5 << "甲乙丙丁…";
    }
    void cutting() {
        QFETCH(QString, text);
        QFETCH(int, length);
        QFETCH(QString, cut);
        QCOMPARE(CutMessage(text, length), cut);
    }
};

QTEST_MAIN(TestMessages)
#include "test_messages.moc"
