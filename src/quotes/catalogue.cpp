#include "quotes/catalogue.h"

#include <QCoreApplication>
#include <QHash>

namespace kestrel {

const char16_t kDerivedInstruments[] =
    u"人民币黄金,人民币白银,港币人民币,香港黄金,欧元人民币,英镑人民币,日元人民币,澳元人民币,"
    u"加元人民币,瑞郎人民币,纽元人民币,港币人民币,坡元人民币,瑞典克郎人民币";

namespace {

// The shown names of the catalogue, as DisplayName gives them.
constexpr const char* kShownNames[] = {
    QT_TRANSLATE_NOOP("kestrel::Instrument", "美元指数"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "欧元美元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "英镑美元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "美元日元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "澳元美元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "美元加元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "美元瑞郎"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "纽元美元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "美元人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "美元坡元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "瑞典克郎"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "美元港币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "欧元英镑"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "欧元日元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "澳元日元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "英镑日元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "欧元瑞郎"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "欧元加元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "欧元澳元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "英镑港币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "英镑瑞郎"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "英镑坡元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "英镑加元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "英镑澳元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "澳元加元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "澳元瑞郎"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "澳元港币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "加元日元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "瑞郎日元"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "欧元人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "英镑人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "日元人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "澳元人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "加元人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "瑞郎人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "纽元人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "港币人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "坡元人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "瑞典克郎人民币"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "纽约原油"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "布伦特原油"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "天然气"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "现货黄金"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "现货白银"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "人民币黄金"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "人民币白银"),
    QT_TRANSLATE_NOOP("kestrel::Instrument", "香港黄金"),
};

}  // namespace

const QStringList& InstrumentCatalogue() {
    static const QStringList names = {
        QStringLiteral("美元指数"),       QStringLiteral("欧元美元"),
        QStringLiteral("英镑美元"),       QStringLiteral("美元日元"),
        QStringLiteral("澳元美元"),       QStringLiteral("美元加元"),
        QStringLiteral("美元瑞郎"),       QStringLiteral("纽元美元"),
        QStringLiteral("美元人民币"),     QStringLiteral("美元坡元"),
        QStringLiteral("瑞典克郎"),       QStringLiteral("美元港币"),
        QStringLiteral("欧元英镑"),       QStringLiteral("欧元日元"),
        QStringLiteral("澳元日元"),       QStringLiteral("英镑日元"),
        QStringLiteral("欧元瑞郎"),       QStringLiteral("欧元加元"),
        QStringLiteral("欧元澳元"),       QStringLiteral("英镑港币"),
        QStringLiteral("英镑瑞郎"),       QStringLiteral("英镑坡元"),
        QStringLiteral("英镑加元"),       QStringLiteral("英镑澳元"),
        QStringLiteral("澳元加元"),       QStringLiteral("澳元瑞郎"),
        QStringLiteral("澳元港币"),       QStringLiteral("加元日元"),
        QStringLiteral("瑞郎日元"),       QStringLiteral("欧元人民币"),
        QStringLiteral("英镑人民币"),     QStringLiteral("日元人民币"),
        QStringLiteral("澳元人民币"),     QStringLiteral("加元人民币"),
        QStringLiteral("瑞郎人民币"),     QStringLiteral("纽元人民币"),
        QStringLiteral("港币人民币"),     QStringLiteral("坡元人民币"),
        QStringLiteral("瑞典克郎人民币"), QStringLiteral("NYMEX原油"),
        QStringLiteral("布伦特原油"),     QStringLiteral("天然气"),
        QStringLiteral("现货黄金"),       QStringLiteral("现货白银"),
        QStringLiteral("人民币黄金"),     QStringLiteral("人民币白银"),
        QStringLiteral("香港黄金"),
    };
    return names;
}

bool IsDerivedInstrument(const QString& name) {
    static const QStringList derived = QString::fromUtf16(kDerivedInstruments).split(u',');
    return derived.contains(name);
}

QString DisplayName(const QString& name) {
    return name == u"NYMEX原油" ? QStringLiteral("纽约原油") : name;
}

QString ShownInstrumentName(const QString& name) {
    const QString shown = DisplayName(name);
    const QByteArray source = shown.toUtf8();
    for (const char* known : kShownNames) {
        if (source == known)
            return QCoreApplication::translate("kestrel::Instrument", known);
    }
    return shown;
}

int DecimalsFor(const QString& label) {
    if (label.contains(u"日元人民币"))
        return 4;
    for (const char16_t* part : {u"日元", u"黄金", u"白银", u"原油", u"美元指数"}) {
        if (label.contains(QStringView(part)))
            return 2;
    }
    return 4;
}

const QStringList& DefaultSelection() {
    static const QStringList names = {
        QStringLiteral("美元指数"),   QStringLiteral("欧元美元"),   QStringLiteral("英镑美元"),
        QStringLiteral("美元日元"),   QStringLiteral("澳元美元"),   QStringLiteral("美元加元"),
        QStringLiteral("美元人民币"), QStringLiteral("欧元人民币"), QStringLiteral("NYMEX原油"),
        QStringLiteral("现货黄金"),   QStringLiteral("现货白银"),   QStringLiteral("人民币黄金"),
        QStringLiteral("人民币白银"),
    };
    return names;
}

void CheckSelection(QStringList& selection) {
    const QStringList& catalogue = InstrumentCatalogue();
    for (qsizetype i = selection.size() - 1; i >= 0; --i) {
        if (!catalogue.contains(selection.at(i)))
            selection.removeAt(i);
    }
    if (selection.isEmpty())
        selection = DefaultSelection();
}

void QuoteSlots::Reset(qsizetype n) {
    PrevQuotes = QList<long double>(n, 0.0L);
    CurQuotes = QList<long double>(n, 0.0L);
    Closes = QList<long double>(n, 0.0L);
}

QString InstrumentCode(const QString& name) {
    // Currencies by their Chinese short names; a pair is the two codes run together.
    static const QHash<QString, QString> currencies = {
        {QStringLiteral("美元"), QStringLiteral("USD")},
        {QStringLiteral("欧元"), QStringLiteral("EUR")},
        {QStringLiteral("英镑"), QStringLiteral("GBP")},
        {QStringLiteral("日元"), QStringLiteral("JPY")},
        {QStringLiteral("澳元"), QStringLiteral("AUD")},
        {QStringLiteral("加元"), QStringLiteral("CAD")},
        {QStringLiteral("瑞郎"), QStringLiteral("CHF")},
        {QStringLiteral("纽元"), QStringLiteral("NZD")},
        {QStringLiteral("人民币"), QStringLiteral("CNY")},
        {QStringLiteral("坡元"), QStringLiteral("SGD")},
        {QStringLiteral("港币"), QStringLiteral("HKD")},
        {QStringLiteral("瑞典克郎"), QStringLiteral("SEK")},
    };
    static const QHash<QString, QString> others = {
        {QStringLiteral("美元指数"), QStringLiteral("DXY")},
        {QStringLiteral("瑞典克郎"), QStringLiteral("USDSEK")},
        {QStringLiteral("NYMEX原油"), QStringLiteral("CL")},
        {QStringLiteral("布伦特原油"), QStringLiteral("BRENT")},
        {QStringLiteral("天然气"), QStringLiteral("NG")},
        {QStringLiteral("现货黄金"), QStringLiteral("XAUUSD")},
        {QStringLiteral("现货白银"), QStringLiteral("XAGUSD")},
        {QStringLiteral("人民币黄金"), QStringLiteral("XAUCNY_G")},
        {QStringLiteral("人民币白银"), QStringLiteral("XAGCNY_G")},
        {QStringLiteral("香港黄金"), QStringLiteral("XAUHKD_MACE")},
    };
    if (!InstrumentCatalogue().contains(name))
        return {};
    if (const auto it = others.find(name); it != others.end())
        return *it;
    for (auto base = currencies.begin(); base != currencies.end(); ++base) {
        if (!name.startsWith(base.key()))
            continue;
        if (const auto quoted = currencies.find(name.mid(base.key().size()));
            quoted != currencies.end())
            return *base + *quoted;
    }
    return {};
}

}  // namespace kestrel
