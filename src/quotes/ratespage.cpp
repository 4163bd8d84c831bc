#include "quotes/ratespage.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "quotes/catalogue.h"
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

long double RatesPage::LookupQuote(const QString& name) const {
    const QStringView key = TrimBlanks(name);
    if (key.isEmpty())
        return 0.0L;
    if (!indexed_)
        BuildIndex();
    const QString keyText = key.toString();
    if (const auto known = found_.constFind(keyText); known != found_.cend())
        return *known;

    // The run of titles whose key starts with the name's own key; a name longer than a key is
    // then checked against the whole title text.
    const std::u16string_view prefix = U16(key);
    const std::u16string_view head = SortKey(prefix);
    auto it =
        std::lower_bound(titles_.begin(), titles_.end(), head,
                         [](const Title& t, std::u16string_view h) { return SortKey(t.text) < h; });
    qsizetype titleLine = -1;
    for (; it != titles_.end() && SortKey(it->text).starts_with(head); ++it) {
        if ((titleLine < 0 || it->line < titleLine) && it->text.starts_with(prefix))
            titleLine = it->line;
    }
    const long double value = titleLine < 0 ? 0.0L : ValueAfter(titleLine);
    found_.insert(keyText, value);
    return value;
}

long double RatesPage::QuoteFor(const QString& name) const {
    const QString key = TrimBlanks(name).toString();
    return IsDerivedInstrument(key) ? DeriveQuote(key) : LookupQuote(key);
}

long double RatesPage::DeriveQuote(const QString& name) const {
    const long double base = LookupQuote(name.contains(u"人民币") ? QStringLiteral("美元人民币")
                                                                  : QStringLiteral("美元港币"));
    if (!(base > 0.0L))
        return 0.0L;

    const auto times = [&](const char16_t* factor) {
        return base * LookupQuote(QString::fromUtf16(factor));
    };
    const auto over = [&](const char16_t* divisor) {
        const long double d = LookupQuote(QString::fromUtf16(divisor));
        return d > 0.0L ? base / d : 0.0L;
    };

    long double value = 0.0L;
    if (name == u"人民币黄金") {
        value = times(u"现货黄金") / kGramsPerOunce;
    } else if (name == u"人民币白银") {
        value = times(u"现货白银") / kGramsPerOunce;
    } else if (name == u"港币人民币") {
        value = over(u"美元港币");
    } else if (name == u"香港黄金") {
        value = base * (LookupQuote(QStringLiteral("现货黄金")) * kOuncesPerTael) *
                kHongKongFineness / kMacesPerTael;
    } else if (name == u"欧元人民币") {
        value = times(u"欧元美元");
    } else if (name == u"英镑人民币") {
        value = times(u"英镑美元");
    } else if (name == u"日元人民币") {
        value = over(u"美元日元");
    } else if (name == u"澳元人民币") {
        value = times(u"澳元美元");
    } else if (name == u"加元人民币") {
        value = over(u"美元加元");
    } else if (name == u"瑞郎人民币") {
        value = over(u"美元瑞郎");
    } else if (name == u"纽元人民币") {
        value = times(u"纽元美元");
    } else if (name == u"坡元人民币") {
        value = over(u"美元坡元");
    } else if (name == u"瑞典克郎人民币") {
        value = over(u"瑞典克郎");
    }
    // Huge page numbers can overflow the product; a price that is not finite is no price.
    return std::isfinite(value) ? value : 0.0L;
}

}  // namespace kestrel
