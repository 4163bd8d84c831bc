#include "quotes/ratespage.h"

#include <QTimeZone>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "quotes/catalogue.h"
#include "quotes/markethours.h"
#include "text/encodings.h"
#include "text/numbertext.h"

namespace kestrel {

namespace {

constexpr QStringView kChartMarker = u"货币走势图";
// Cannot overlap itself, so the next occurrence can be searched after the end of the last one.
constexpr QStringView kTitlePrefix = u"title=\"";

// Titles are sorted on this many leading characters only: whole title texts run to the end of
// their line, and comparing those made sorting a line full of titles quadratic. Every instrument
// name is shorter than this.
constexpr size_t kTitleKeyLength = 16;

// The page's values are read past at most this many lines after the title line.
constexpr qsizetype kValueLines = 11;
constexpr int kStripRounds = 4;

constexpr long double kGramsPerOunce = 31.1035L;
constexpr long double kOuncesPerTael = 1.203354L;
constexpr long double kHongKongFineness = 0.99L;
constexpr long double kMacesPerTael = 10.0L;

bool IsBlank(QChar c) {
    return c.unicode() <= u' ';
}

QStringView TrimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

std::u16string_view U16(QStringView text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

std::u16string_view SortKey(std::u16string_view titleText) {
    return titleText.substr(0, kTitleKeyLength);
}

}  // namespace

QString StripTags(const QString& line) {
    QString text = line;
    for (int round = 0; round < kStripRounds; ++round) {
        const qsizetype open = text.indexOf(u'<');
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(u'>');
        if (close >= open)
            text.remove(open, close - open + 1);
    }
    const qsizetype open = text.indexOf(u'<');
    if (open >= 0)
        text.truncate(open);
    const QStringView trimmed = TrimBlanks(text);
    return trimmed.size() == text.size() ? text : trimmed.toString();
}

long double ReadNumber(QStringView text) {
    text = TrimBlanks(text);
    if (!IsPlainNumber(text))
        return 0.0L;
    // from_chars takes no leading "+", and the number is pure ASCII by now.
    if (text.startsWith(u'+'))
        text = text.sliced(1);
    const std::string ascii = text.toLatin1().toStdString();
    long double value = 0.0L;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || end != ascii.data() + ascii.size())
        return 0.0L;
    return value;
}

void RatesPage::SetLines(QStringList lines) {
    lines_ = std::move(lines);
    demo_ = std::any_of(lines_.cbegin(), lines_.cend(), [](const QString& line) {
        return line.contains(QStringView(kDemoMarker));
    });
    Invalidate();
}

void RatesPage::SetBody(const QByteArray& body, const QString& contentType) {
    QString text = DecodePage(body, contentType);
    if (!text.contains(kChartMarker)) {
        QString gb18030 = FromCp936(body);
        if (gb18030.contains(kChartMarker))
            text = std::move(gb18030);
    }
    SetLines(SplitLines(text));
}

bool RatesPage::TrimPageToMarker() {
    for (qsizetype k = 0; k < lines_.size(); ++k) {
        if (!lines_.at(k).contains(kChartMarker))
            continue;
        if (k > 2) {
            lines_.erase(lines_.begin(), lines_.begin() + k);
            Invalidate();
        }
        return true;
    }
    return false;
}

void RatesPage::Invalidate() {
    titles_.clear();
    found_.clear();
    indexed_ = false;
}

void RatesPage::BuildIndex() const {
    // The last line of the page is never a title line (nor a value line).
    const qsizetype titleLines = lines_.size() - 1;
    for (qsizetype i = 0; i < titleLines; ++i) {
        const QStringView line = lines_.at(i);
        for (qsizetype at = line.indexOf(kTitlePrefix); at >= 0;
             at = line.indexOf(kTitlePrefix, at + kTitlePrefix.size())) {
            titles_.push_back({U16(line.sliced(at + kTitlePrefix.size())), i});
        }
    }
    // Titles were collected in line order, which the stable sort keeps among equal keys.
    std::stable_sort(titles_.begin(), titles_.end(), [](const Title& a, const Title& b) {
        return SortKey(a.text) < SortKey(b.text);
    });
    indexed_ = true;
}

long double RatesPage::ValueAfter(qsizetype titleLine) const {
    const qsizetype last = std::min(titleLine + kValueLines, lines_.size() - 2);
    for (qsizetype i = titleLine + 1; i <= last; ++i) {
        const long double value = ReadNumber(StripTags(lines_.at(i)));
        if (value != 0.0L)
            return value;
    }
    return 0.0L;
}

RatesPage::Found& RatesPage::Find(const QString& name) const {
    // Never filled in: its line says there is no row.
    static Found none;
    const QStringView key = TrimBlanks(name);
    if (key.isEmpty())
        return none;
    if (!indexed_)
        BuildIndex();
    const QString keyText = key.toString();
    if (const auto known = found_.find(keyText); known != found_.end())
        return *known;

    // The run of titles whose key starts with the name's own key; a name longer than a key is
    // then checked against the whole title text.
    const std::u16string_view prefix = U16(key);
    const std::u16string_view head = SortKey(prefix);
    auto it =
        std::lower_bound(titles_.begin(), titles_.end(), head,
                         [](const Title& t, std::u16string_view h) { return SortKey(t.text) < h; });
    Found found;
    for (; it != titles_.end() && SortKey(it->text).starts_with(head); ++it) {
        if ((found.line < 0 || it->line < found.line) && it->text.starts_with(prefix))
            found.line = it->line;
    }
    found.value = found.line < 0 ? 0.0L : ValueAfter(found.line);
    return *found_.insert(keyText, found);
}

const QString* RatesPage::Cell(qsizetype titleLine, qsizetype index) const {
    // As for the value: never past the value lines, never the page's last line, and a short
    // row ends at the next title.
    const qsizetype i = titleLine + 1 + index;
    if (index >= kValueLines || i > lines_.size() - 2)
        return nullptr;
    for (qsizetype k = titleLine + 1; k <= i; ++k) {
        if (lines_.at(k).contains(kTitlePrefix))
            return nullptr;
    }
    return &lines_.at(i);
}

namespace {

constexpr qsizetype kChangeCell = 4;
constexpr qsizetype kTimeCell = 6;
const QTimeZone& Beijing() {
    static const QTimeZone zone(8 * 3600);
    return zone;
}

// The number written by `count` ASCII digits from `from`, or -1.
int Digits(QStringView text, qsizetype from, qsizetype count) {
    int number = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return -1;
        number = number * 10 + (text[i].unicode() - u'0');
    }
    return number;
}

// "yyyy-MM-dd hh:mm:ss" or "yyyy-MM-dd 参考价" in Beijing time; invalid otherwise. Read by
// hand: the format parsers cost more than the whole rest of a refresh.
QDateTime ReadQuoteTime(QStringView text) {
    if (text.size() < 12 || text[4] != u'-' || text[7] != u'-' || !IsBlank(text[10]))
        return {};
    const int year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    const QStringView rest = TrimBlanks(text.sliced(11));
    QTime time(0, 0);
    if (rest != u"参考价") {
        if (rest.size() != 8 || rest[2] != u':' || rest[5] != u':')
            return {};
        time = QTime(Digits(rest, 0, 2), Digits(rest, 3, 2), Digits(rest, 6, 2));
    }
    const QDate date(year, month, day);
    if (year < 0 || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Beijing());
}

}  // namespace

long double RatesPage::CloseOf(const QString& name) const {
    Found& row = Find(name);
    if (row.closeRead || row.line < 0)
        return row.previousClose;
    row.closeRead = true;
    if (const QString* cell = Cell(row.line, kChangeCell); cell && row.value != 0.0L) {
        const QString text = StripTags(*cell);
        const long double close = row.value - ReadNumber(text);
        if (IsPlainNumber(TrimBlanks(text)) && close > 0.0L && std::isfinite(close))
            row.previousClose = close;
    }
    return row.previousClose;
}

QDateTime RatesPage::TimeOf(const QString& name) const {
    Found& row = Find(name);
    if (row.timeRead || row.line < 0)
        return row.time;
    row.timeRead = true;
    if (const QString* cell = Cell(row.line, kTimeCell))
        row.time = ReadQuoteTime(StripTags(*cell));
    return row.time;
}

long double RatesPage::LookupQuote(const QString& name) const {
    return Find(name).value;
}

long double RatesPage::QuoteFor(const QString& name) const {
    const QString key = TrimBlanks(name).toString();
    return IsDerivedInstrument(key) ? DeriveQuote(key) : LookupQuote(key);
}

namespace {

enum class Combine { Times, Over, PerGram, HongKongGold };

struct Recipe {
    const char16_t* name;
    const char16_t* leg;  // besides the base rate: 美元人民币, or 美元港币 for 香港黄金
    Combine how;
};

constexpr Recipe kRecipes[] = {
    {u"人民币黄金", u"现货黄金", Combine::PerGram},
    {u"人民币白银", u"现货白银", Combine::PerGram},
    {u"港币人民币", u"美元港币", Combine::Over},
    {u"香港黄金", u"现货黄金", Combine::HongKongGold},
    {u"欧元人民币", u"欧元美元", Combine::Times},
    {u"英镑人民币", u"英镑美元", Combine::Times},
    {u"日元人民币", u"美元日元", Combine::Over},
    {u"澳元人民币", u"澳元美元", Combine::Times},
    {u"加元人民币", u"美元加元", Combine::Over},
    {u"瑞郎人民币", u"美元瑞郎", Combine::Over},
    {u"纽元人民币", u"纽元美元", Combine::Times},
    {u"坡元人民币", u"美元坡元", Combine::Over},
    {u"瑞典克郎人民币", u"瑞典克郎", Combine::Over},
};

const Recipe* RecipeFor(const QString& name) {
    for (const Recipe& recipe : kRecipes) {
        if (name == QStringView(recipe.name))
            return &recipe;
    }
    return nullptr;
}

QString BaseOf(const Recipe& recipe) {
    return QStringView(recipe.name).contains(u"人民币") ? QStringLiteral("美元人民币")
                                                        : QStringLiteral("美元港币");
}

// The computed value from the legs' values as `leg` gives them; 0 when one is missing.
template <typename Leg>
long double Combined(const Recipe& recipe, const Leg& leg) {
    const long double base = leg(BaseOf(recipe));
    if (!(base > 0.0L))
        return 0.0L;
    const long double other = leg(QString::fromUtf16(recipe.leg));
    long double value = 0.0L;
    switch (recipe.how) {
        case Combine::Times:
            value = base * other;
            break;
        case Combine::Over:
            value = other > 0.0L ? base / other : 0.0L;
            break;
        case Combine::PerGram:
            value = base * other / kGramsPerOunce;
            break;
        case Combine::HongKongGold:
            value = base * (other * kOuncesPerTael) * kHongKongFineness / kMacesPerTael;
            break;
    }
    // Huge page numbers can overflow the product; a price that is not finite is no price.
    return std::isfinite(value) ? value : 0.0L;
}

}  // namespace

QStringList DerivedLegs(const QString& name) {
    const Recipe* recipe = RecipeFor(name);
    if (!recipe)
        return {};
    return {BaseOf(*recipe), QString::fromUtf16(recipe->leg)};
}

long double RatesPage::DeriveQuote(const QString& name) const {
    const Recipe* recipe = RecipeFor(name);
    return recipe ? Combined(*recipe, [this](const QString& leg) { return LookupQuote(leg); })
                  : 0.0L;
}

long double RatesPage::PreviousCloseFor(const QString& name) const {
    const QString key = TrimBlanks(name).toString();
    if (!IsDerivedInstrument(key))
        return CloseOf(key);
    const Recipe* recipe = RecipeFor(key);
    return recipe ? Combined(*recipe, [this](const QString& leg) { return CloseOf(leg); }) : 0.0L;
}

QDateTime RatesPage::QuoteTimeFor(const QString& name) const {
    const QString key = TrimBlanks(name).toString();
    if (!IsDerivedInstrument(key))
        return TimeOf(key);
    const Recipe* recipe = RecipeFor(key);
    if (!recipe)
        return {};
    const QDateTime base = TimeOf(BaseOf(*recipe));
    const QDateTime other = TimeOf(QString::fromUtf16(recipe->leg));
    if (!base.isValid() || !other.isValid())
        return {};
    return std::min(base, other);
}

QString MissingLeg(const RatesPage& page, const QString& name) {
    for (const QString& leg : MarketLegs(name)) {
        if (page.QuoteFor(leg) == 0)
            return leg;
    }
    return name;
}

}  // namespace kestrel
