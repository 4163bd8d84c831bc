#include <QtTest>

#include <QTranslator>

#include "quotes/catalogue.h"
#include "quotes/quotelines.h"
#include "quotes/quoterecord.h"

using namespace kestrel;

namespace {

// A Latin stand-in for a name, so that nothing can be read off its Chinese.
QString Marked(const QString& source) {
    return QStringLiteral("EN:") + QString::fromLatin1(source.toUtf8().toHex());
}

// Marks every instrument name it is asked for, and only those.
class MarkingTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char*, int) const override {
        if (QByteArrayView(context) != "kestrel::Instrument")
            return {};
        return Marked(QString::fromUtf8(source));
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

class TestShownNames : public QObject {
    Q_OBJECT

private slots:
    void untranslatedNamesAreTheLabels() {
        for (const QString& name : InstrumentCatalogue())
            QCOMPARE(ShownInstrumentName(name), DisplayName(name));
        QCOMPARE(ShownInstrumentName(QStringLiteral("金")), QStringLiteral("金"));
    }

    // Every catalogue name has a translation of its own, and what is shown in another language
    // still carries the instrument's data: its catalogue name and its decimals.
    void translatedNamesKeepTheData() {
        MarkingTranslator translator;
        QCoreApplication::installTranslator(&translator);
        for (const QString& name : InstrumentCatalogue())
            QCOMPARE(ShownInstrumentName(name), Marked(DisplayName(name)));
        QCOMPARE(ShownInstrumentName(QStringLiteral("金")), QStringLiteral("金"));

        QuoteFacts facts;
        facts.Name = QStringLiteral("NYMEX原油");
        facts.Value = 71.456;
        const QuoteRecord record = MakeQuoteRecord(facts);
        QCOMPARE(record.Name, QStringLiteral("NYMEX原油"));
        QCOMPARE(record.Display, Marked(QStringLiteral("纽约原油")));
        QCOMPARE(record.Decimals, 2);
        QVERIFY(FormatQuoteLine(QStringLiteral("现货黄金"), 2345.678)
                    .startsWith(QStringLiteral("【") + Marked(QStringLiteral("现货黄金")) + u'】'));
        QVERIFY(FormatQuoteLine(QStringLiteral("现货黄金"), 2345.678).endsWith(u" 2345.68"));
        QCoreApplication::removeTranslator(&translator);
    }
};

QTEST_GUILESS_MAIN(TestShownNames)
#include "test_shownnames.moc"
