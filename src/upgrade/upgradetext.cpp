#include "upgrade/upgradetext.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>

namespace kestrel {

namespace {

constexpr int kFirstLanguageBase = 41000;
constexpr int kLanguageBlock = 50;

// Keys of the languages in the string-table file, by enumeration value (wlAuto has no texts).
constexpr const char* kLanguageKeys[] = {
    "",
    "wlEnglish",
    "wlRussian",
    "wlGerman",
    "wlFrench",
    "wlSpanish",
    "wlPortuguese",
    "wlPortugueseBrazilian",
    "wlItalian",
    "wlDutch",
    "wlDanish",
    "wlSwedish",
    "wlFinnish",
    "wlEstonian",
    "wlUkrainian",
    "wlCzech",
    "wlHungarian",
    "wlRomanian",
    "wlCatalan",
    "wlBasque",
    "wlAfrikaans",
    "wlChineseTraditional",
    "wlChineseSimplified",
    "wlIndonesian",
    "wlMalay",
    "wlIcelandic",
};
static_assert(std::size(kLanguageKeys) == wlIcelandic + 1);

quint16 BaseOf(TUpdaterLanguage language) {
    return quint16(kFirstLanguageBase + kLanguageBlock * (int(language) - 1));
}

std::atomic<quint16> g_languageBase{BaseOf(wlEnglish)};
std::atomic<TUpdaterLanguage> g_programLanguage{wlAuto};

QHash<int, QString> LoadStringTable() {
    QHash<int, QString> table;
    QFile file(QStringLiteral(":/upgrade/upgradetexts.json"));
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject fixed = root.value(QLatin1String("fixed")).toObject();
    for (auto it = fixed.begin(); it != fixed.end(); ++it)
        table.insert(it.key().toInt(), it.value().toString());
    for (int language = wlEnglish; language <= wlIcelandic; ++language) {
        const QJsonArray texts = root.value(QLatin1String(kLanguageKeys[language])).toArray();
        const int base = BaseOf(TUpdaterLanguage(language));
        for (int i = 0; i < texts.size() && i < kUpgradeTextCount; ++i)
            table.insert(base + i, texts.at(i).toString());
    }
    return table;
}

const QHash<int, QString>& StringTable() {
    static const QHash<int, QString> table = LoadStringTable();
    return table;
}

}  // namespace

TUpdaterLanguage ResolveLanguage(const QLocale& locale) {
    switch (locale.language()) {
        case QLocale::English:
            return wlEnglish;
        case QLocale::Russian:
            return wlRussian;
        case QLocale::German:
            return wlGerman;
        case QLocale::French:
            return wlFrench;
        case QLocale::Spanish:
            return wlSpanish;
        case QLocale::Portuguese:
            return locale.territory() == QLocale::Brazil ? wlPortugueseBrazilian : wlPortuguese;
        case QLocale::Italian:
            return wlItalian;
        case QLocale::Dutch:
            return wlDutch;
        case QLocale::Danish:
            return wlDanish;
        case QLocale::Swedish:
            return wlSwedish;
        case QLocale::Finnish:
            return wlFinnish;
        case QLocale::Estonian:
            return wlEstonian;
        case QLocale::Ukrainian:
            return wlUkrainian;
        case QLocale::Czech:
            return wlCzech;
        case QLocale::Hungarian:
            return wlHungarian;
        case QLocale::Romanian:
            return wlRomanian;
        case QLocale::Catalan:
            return wlCatalan;
        case QLocale::Basque:
            return wlBasque;
        case QLocale::Afrikaans:
            return wlAfrikaans;
        case QLocale::Chinese:
            // The script, not the territory, decides: Singapore writes Simplified characters
            // like the mainland, Taiwan, Hong Kong and Macao write Traditional ones.
            return locale.script() == QLocale::SimplifiedHanScript ? wlChineseSimplified
                                                                   : wlChineseTraditional;
        case QLocale::Indonesian:
            return wlIndonesian;
        case QLocale::Malay:
            return wlMalay;
        case QLocale::Icelandic:
            return wlIcelandic;
        default:
            return wlEnglish;
    }
}

void SetProgramLanguage(TUpdaterLanguage language) {
    g_programLanguage.store(language);
}

void SetUpdaterLanguage(TUpdaterLanguage language) {
    if (language <= wlAuto || language > wlIcelandic)
        language = g_programLanguage.load();
    if (language <= wlAuto || language > wlIcelandic)
        language = ResolveLanguage(QLocale::system());
    g_languageBase.store(BaseOf(language));
}

quint16 LanguageBase() {
    return g_languageBase.load();
}

QString UpgradeString(int identifier) {
    return StringTable().value(identifier);
}

QString UpgradeText(int i) {
    return UpgradeString(LanguageBase() + i);
}

QString FormatText(const QString& format, const QVariantList& args) {
    QString out;
    out.reserve(format.size() + 32);
    qsizetype next = 0;  // next argument
    const qsizetype n = format.size();
    for (qsizetype pos = 0; pos < n; ++pos) {
        const QChar c = format.at(pos);
        if (c != u'%' || pos + 1 >= n) {
            out += c;
            continue;
        }
        if (format.at(pos + 1) == u'%') {
            out += u'%';
            ++pos;
            continue;
        }
        // %[-][width][.precision]conversion
        qsizetype p = pos + 1;
        const bool left = format.at(p) == u'-';
        if (left)
            ++p;
        int width = 0;
        while (p < n && format.at(p).isDigit())
            width = width * 10 + format.at(p++).digitValue();
        int precision = -1;
        if (p < n && format.at(p) == u'.') {
            precision = 0;
            ++p;
            while (p < n && format.at(p).isDigit())
                precision = precision * 10 + format.at(p++).digitValue();
        }
        if (p >= n) {
            out += format.mid(pos);
            break;
        }
        const QChar conversion = format.at(p);
        const QVariant arg = next < args.size() ? args.at(next) : QVariant();
        QString field;
        if (conversion == u's') {
            field = arg.toString();
            if (precision >= 0)
                field.truncate(precision);
        } else if (conversion == u'd' || conversion == u'u') {
            const qlonglong value = arg.toLongLong();
            field = QString::number(value < 0 ? -value : value);
            if (precision > field.size())
                field = QString(precision - field.size(), u'0') + field;
            if (value < 0)
                field.prepend(u'-');
        } else if (conversion == u'f') {
            field = QString::number(arg.toDouble(), 'f', precision < 0 ? 6 : precision);
        } else {
            // Not a placeholder these texts use: keep it as it stands.
            out += format.mid(pos, p - pos + 1);
            pos = p;
            continue;
        }
        ++next;
        if (field.size() < width) {
            const QString pad(width - field.size(), u' ');
            field = left ? field + pad : pad + field;
        }
        out += field;
        pos = p;
    }
    return out;
}

QString FormatUpgradeText(int i, const QVariantList& args) {
    return FormatText(UpgradeText(i), args);
}

QString Shown(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

}  // namespace kestrel
