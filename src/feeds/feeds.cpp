#include "feeds.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimeZone>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <optional>

#include "plausibility.h"
#include "quotes/catalogue.h"
#include "text/numbertext.h"

namespace kestrel::feeds {

using namespace Qt::Literals::StringLiterals;

namespace {

// A US dollar leg: the page's pair, its currency, whether the pair counts that currency per
// dollar (美元日元) or dollars per unit of it (欧元美元), and its names at the sources.
struct Leg {
    QString Name;
    QString Currency;
    bool PerDollar;
    const char* PortalSymbol;
    QString BankName;
};

const std::vector<Leg>& Legs() {
    static const std::vector<Leg> legs = {
        {u"欧元美元"_s, u"EUR"_s, false, "fx_seurusd", u"欧元"_s},
        {u"英镑美元"_s, u"GBP"_s, false, "fx_sgbpusd", u"英镑"_s},
        {u"美元日元"_s, u"JPY"_s, true, "fx_susdjpy", u"日元"_s},
        {u"澳元美元"_s, u"AUD"_s, false, "fx_saudusd", u"澳大利亚元"_s},
        {u"美元加元"_s, u"CAD"_s, true, "fx_susdcad", u"加拿大元"_s},
        {u"美元瑞郎"_s, u"CHF"_s, true, "fx_susdchf", u"瑞士法郎"_s},
        {u"纽元美元"_s, u"NZD"_s, false, "fx_snzdusd", u"新西兰元"_s},
        {u"美元人民币"_s, u"CNY"_s, true, "fx_susdcny", QString()},
        {u"美元坡元"_s, u"SGD"_s, true, "fx_susdsgd", u"新加坡元"_s},
        {u"瑞典克郎"_s, u"SEK"_s, true, "fx_susdsek", u"瑞典克朗"_s},
        {u"美元港币"_s, u"HKD"_s, true, "fx_susdhkd", u"港币"_s},
    };
    return legs;
}

const Leg* LegOf(const QString& currency) {
    for (const Leg& leg : Legs()) {
        if (leg.Currency == currency)
            return &leg;
    }
    return nullptr;
}

// Field positions of one kind of statement.
struct Layout {
    int Fields, Latest, High, Low, PrevClose, Time, Date;
};
constexpr Layout kFxSpot{18, 8, 6, 7, 3, 0, 17};
constexpr Layout kDollarIndex{11, 8, 6, 7, 3, 0, 10};
constexpr Layout kFutures{14, 0, 4, 5, 7, 6, 12};

struct PortalSymbol {
    const char* Symbol;
    QString Name;
    const Layout* Fields;
};

const std::vector<PortalSymbol>& PortalTable() {
    static const std::vector<PortalSymbol> table = [] {
        std::vector<PortalSymbol> t = {{"DINIW", u"美元指数"_s, &kDollarIndex}};
        for (const Leg& leg : Legs())
            t.push_back({leg.PortalSymbol, leg.Name, &kFxSpot});
        t.push_back({"hf_CL", u"NYMEX原油"_s, &kFutures});
        t.push_back({"hf_OIL", u"布伦特原油"_s, &kFutures});
        t.push_back({"hf_NG", u"天然气"_s, &kFutures});
        t.push_back({"hf_XAU", u"现货黄金"_s, &kFutures});
        t.push_back({"hf_XAG", u"现货白银"_s, &kFutures});
        return t;
    }();
    return table;
}

const QTimeZone& BeijingTime() {
    static const QTimeZone zone(8 * 3600);
    return zone;
}

// Dates as YYYY-MM-DD (the bank also writes . or /), times as HH:MM:SS.
QDate DateOf(const QString& text) {
    static const QRegularExpression form(u"^(\\d{4})[-./](\\d{1,2})[-./](\\d{1,2})$"_s);
    const QRegularExpressionMatch m = form.match(text.trimmed());
    return m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())
                        : QDate();
}

QTime TimeOf(const QString& text) {
    static const QRegularExpression form(u"^\\d{1,2}:\\d{2}:\\d{2}$"_s);
    return form.match(text.trimmed()).hasMatch() ? QTime::fromString(text.trimmed(), u"H:mm:ss")
                                                 : QTime();
}

// Reads one statement's fields; a reason when the line must not be trusted.
std::optional<std::string> ReadStatement(const QStringList& f, const Layout& layout, Quote& q) {
    if (f.size() < layout.Fields)
        return "only " + std::to_string(f.size()) + " fields";
    const std::optional<double> latest = PlainNumberValue(f[layout.Latest]);
    if (!latest || *latest <= 0)
        return "no price";
    const QDate date = DateOf(f[layout.Date]);
    const QTime time = TimeOf(f[layout.Time]);
    if (!date.isValid() || !time.isValid())
        return "no date and time where they belong";
    const double high = PlainNumberValue(f[layout.High]).value_or(0);
    const double low = PlainNumberValue(f[layout.Low]).value_or(0);
    if (!(low > 0 && low <= *latest && *latest <= high))
        return "latest price outside the day's low and high";
    q.Price = *latest;
    q.High = high;
    q.Low = low;
    q.PrevClose = std::max(0.0, PlainNumberValue(f[layout.PrevClose]).value_or(0));
    q.Time = QDateTime(date, time, BeijingTime());
    return std::nullopt;
}

QString StripTags(QString cell) {
    static const QRegularExpression tag(u"<[^>]*>"_s);
    return cell.remove(tag).replace(u"&nbsp;"_s, u" "_s).trimmed();
}

}  // namespace

std::string PortalSymbols() {
    std::string list;
    // Appended piece by piece: a temporary built from a literal trips GCC 12's -Wrestrict at -O3.
    for (const PortalSymbol& s : PortalTable()) {
        if (!list.empty())
            list += ',';
        list += s.Symbol;
    }
    return list;
}

Parsed ParsePortal(const QByteArray& body) {
    Parsed parsed;
    QStringDecoder decoder("GB18030");
    const QString text = decoder(body);
    static const QRegularExpression statement(u"var hq_str_([A-Za-z0-9_]+)=\"([^\"\\n]*)\";?"_s);
    Repeats repeats;
    for (auto it = statement.globalMatch(text); it.hasNext();)
        repeats.Add(it.next().captured(1).toStdString());
    for (const std::string& symbol : repeats.Repeated())
        parsed.Problems.push_back({symbol, kGivenTwice});
    for (auto it = statement.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const std::string symbol = m.captured(1).toStdString();
        const auto known = std::find_if(PortalTable().begin(), PortalTable().end(),
                                        [&](const PortalSymbol& s) { return symbol == s.Symbol; });
        // An empty statement is the service's way of saying it has no quote for the symbol.
        if (known == PortalTable().end() || m.captured(2).isEmpty() ||
            repeats.Repeated().contains(symbol))
            continue;
        Quote q;
        if (const auto reason = ReadStatement(m.captured(2).split(u','), *known->Fields, q))
            parsed.Problems.push_back({symbol, *reason + ": " + m.captured(2).toStdString()});
        else
            parsed.Quotes[known->Name] = q;
    }
    return parsed;
}

Parsed ParseBoc(const QByteArray& body) {
    Parsed parsed;
    const QString text = QString::fromUtf8(body);
    static const QRegularExpression rowForm(
        u"<tr[^>]*>(.*?)</tr>"_s,
        QRegularExpression::DotMatchesEverythingOption | QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression cellForm(
        u"<t[dh][^>]*>(.*?)</t[dh]>"_s,
        QRegularExpression::DotMatchesEverythingOption | QRegularExpression::CaseInsensitiveOption);
    // Columns are found by their header cells, so that a moved column does not go unnoticed.
    const QStringList wanted = {u"货币名称"_s,   u"现汇买入价"_s, u"现汇卖出价"_s,
                                u"中行折算价"_s, u"发布日期"_s,   u"发布时间"_s};
    QList<qsizetype> column;
    std::map<QString, std::pair<double, QDateTime>> perHundred;  // yuan per 100 units
    Repeats repeats;
    for (auto rows = rowForm.globalMatch(text); rows.hasNext();) {
        QStringList cells;
        for (auto c = cellForm.globalMatch(rows.next().captured(1)); c.hasNext();)
            cells << StripTags(c.next().captured(1));
        if (column.isEmpty()) {
            for (const QString& name : wanted)
                column << cells.indexOf(name);
            if (column.contains(-1))
                column.clear();
            continue;
        }
        if (cells.size() <= *std::max_element(column.begin(), column.end()))
            continue;
        const QString currency = cells[column[0]];
        // The middle rate, else the middle of the spot buying and selling rates.
        std::optional<double> rate = PlainNumberValue(cells[column[3]]);
        if (!rate) {
            const auto buy = PlainNumberValue(cells[column[1]]),
                       sell = PlainNumberValue(cells[column[2]]);
            if (buy && sell)
                rate = (*buy + *sell) / 2;
        }
        static const QRegularExpression stamp(u"^(\\S+)(?:\\s+(\\S+))?$"_s);
        const QRegularExpressionMatch when = stamp.match(cells[column[4]]);
        const QDate date = when.hasMatch() ? DateOf(when.captured(1)) : QDate();
        QTime time = TimeOf(cells[column[5]]);
        if (!time.isValid() && when.hasMatch())
            time = TimeOf(when.captured(2));
        if (!rate || *rate <= 0 || !date.isValid() || !time.isValid()) {
            parsed.Problems.push_back(
                {currency.toStdString(), "unreadable row: " + cells.join(u'|').toStdString()});
            continue;
        }
        perHundred[currency] = {*rate, QDateTime(date, time, BeijingTime())};
        repeats.Add(currency.toStdString());
    }
    for (const std::string& currency : repeats.Repeated()) {
        perHundred.erase(QString::fromStdString(currency));
        parsed.Problems.push_back({currency, kGivenTwice});
    }
    if (column.isEmpty())
        parsed.Problems.push_back({"table", "no rates table with the expected header cells"});
    const auto dollar = perHundred.find(u"美元"_s);
    if (dollar == perHundred.end())
        return parsed;
    for (const Leg& leg : Legs()) {
        const bool yuan = leg.Currency == u"CNY"_s;
        const auto it = yuan ? dollar : perHundred.find(leg.BankName);
        if (it == perHundred.end())
            continue;
        // Units of the leg's currency per dollar, from two yuan prices.
        const double perDollar =
            yuan ? dollar->second.first / 100 : dollar->second.first / it->second.first;
        Quote q;
        q.Price = leg.PerDollar ? perDollar : 1 / perDollar;
        q.Time = std::min(it->second.second, dollar->second.second);
        parsed.Quotes[leg.Name] = q;
    }
    return parsed;
}

Parsed ParseEcb(const QByteArray& body) {
    Parsed parsed;
    QXmlStreamReader xml(body);
    QDate date;
    std::map<QString, double> perEuro;
    Repeats repeats;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Cube")
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (a.hasAttribute(u"time"_s))
            date = DateOf(a.value(u"time"_s).toString());
        if (a.hasAttribute(u"currency"_s)) {
            const QString currency = a.value(u"currency"_s).toString();
            const std::optional<double> rate = PlainNumberValue(a.value(u"rate"_s).toString());
            if (rate && *rate > 0) {
                if (repeats.Add(currency.toStdString()))
                    perEuro[currency] = *rate;
            } else {
                parsed.Problems.push_back(
                    {currency.toStdString(),
                     "bad rate " + a.value(u"rate"_s).toString().toStdString()});
            }
        }
    }
    if (xml.hasError() || !date.isValid()) {
        parsed.Problems.push_back(
            {"file", "unreadable reference rate file: " + xml.errorString().toStdString()});
        parsed.Quotes.clear();
        return parsed;
    }
    for (const std::string& currency : repeats.Repeated()) {
        perEuro.erase(QString::fromStdString(currency));
        parsed.Problems.push_back({currency, kGivenTwice});
    }
    const auto dollar = perEuro.find(u"USD"_s);
    if (dollar == perEuro.end())
        return parsed;
    perEuro[u"EUR"_s] = 1;
    // The rates are fixed at about 16:00 in Frankfurt.
    QTimeZone frankfurt("Europe/Berlin");
    const QDateTime fixed(date, QTime(16, 0), frankfurt.isValid() ? frankfurt : QTimeZone(3600));
    for (const Leg& leg : Legs()) {
        const auto it = perEuro.find(leg.Currency);
        if (it == perEuro.end())
            continue;
        const double perDollar = it->second / dollar->second;
        Quote q;
        q.Price = leg.PerDollar ? perDollar : 1 / perDollar;
        q.Time = fixed;
        q.Reference = true;
        parsed.Quotes[leg.Name] = q;
    }
    return parsed;
}

void AddCrosses(QuoteMap& quotes, qint64 skewMs) {
    struct Cross {
        QString Name, Base, Quoted;
    };
    static const std::vector<Cross> crosses = {
        {u"欧元英镑"_s, u"EUR"_s, u"GBP"_s}, {u"欧元日元"_s, u"EUR"_s, u"JPY"_s},
        {u"澳元日元"_s, u"AUD"_s, u"JPY"_s}, {u"英镑日元"_s, u"GBP"_s, u"JPY"_s},
        {u"欧元瑞郎"_s, u"EUR"_s, u"CHF"_s}, {u"欧元加元"_s, u"EUR"_s, u"CAD"_s},
        {u"欧元澳元"_s, u"EUR"_s, u"AUD"_s}, {u"英镑港币"_s, u"GBP"_s, u"HKD"_s},
        {u"英镑瑞郎"_s, u"GBP"_s, u"CHF"_s}, {u"英镑坡元"_s, u"GBP"_s, u"SGD"_s},
        {u"英镑加元"_s, u"GBP"_s, u"CAD"_s}, {u"英镑澳元"_s, u"GBP"_s, u"AUD"_s},
        {u"澳元加元"_s, u"AUD"_s, u"CAD"_s}, {u"澳元瑞郎"_s, u"AUD"_s, u"CHF"_s},
        {u"澳元港币"_s, u"AUD"_s, u"HKD"_s}, {u"加元日元"_s, u"CAD"_s, u"JPY"_s},
        {u"瑞郎日元"_s, u"CHF"_s, u"JPY"_s},
    };
    // Units of a currency per dollar, from a leg price as the pair is quoted.
    const auto perDollar = [](const Leg& leg, double price) {
        return price > 0 ? (leg.PerDollar ? price : 1 / price) : 0.0;
    };
    for (const Cross& c : crosses) {
        const Leg *base = LegOf(c.Base), *quoted = LegOf(c.Quoted);
        const auto b = quotes.find(base->Name), q = quotes.find(quoted->Name);
        if (b == quotes.end() || q == quotes.end() ||
            std::abs(b->second.ConfirmedMs - q->second.ConfirmedMs) > skewMs)
            continue;
        Quote x;
        // One unit of the base currency in the quoted one: quoted per dollar / base per dollar.
        x.Price = perDollar(*quoted, q->second.Price) / perDollar(*base, b->second.Price);
        const double prevBase = perDollar(*base, b->second.PrevClose);
        if (prevBase > 0)
            x.PrevClose = perDollar(*quoted, q->second.PrevClose) / prevBase;
        x.Time = std::min(b->second.Time, q->second.Time);
        x.Reference = b->second.Reference || q->second.Reference;
        x.ConfirmedMs = std::min(b->second.ConfirmedMs, q->second.ConfirmedMs);
        quotes[c.Name] = x;
    }
}

const QStringList& PageInstruments() {
    static const QStringList names = [] {
        QStringList n;
        for (const QString& name : InstrumentCatalogue()) {
            if (!IsDerivedInstrument(name))
                n << name;
        }
        return n;
    }();
    return names;
}

}  // namespace kestrel::feeds
