// Reading prices out of the quote server's rates page.
//
// The page is held as decoded text lines. Nothing here parses HTML: an instrument's row starts on
// the first line whose title attribute begins with the instrument's name, and its price is the
// first non-zero number in one of the eleven lines after it, once the cell tags are stripped.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace kestrel {

// The line a page of made-up prices carries; a real rates page never has it.
inline constexpr char16_t kDemoMarker[] = u"<meta name=\"kestrel-rates\" content=\"demo\">";

// The text of one table-cell line: up to four leading "<...>" tags removed, the rest cut at the
// next "<", blanks and control characters trimmed.
QString StripTags(const QString& line);

// A plain decimal number with optional sign, "." as decimal point and optional exponent, blanks
// and control characters around it allowed. Anything else (and anything out of range) is 0.
long double ReadNumber(QStringView text);

// The page quotes a computed instrument is made from: its base rate (美元人民币, or 美元港币 for
// 香港黄金) and its other quote; empty for an instrument the page quotes itself.
QStringList DerivedLegs(const QString& name);

// The lines of the latest rates page and the lookups on it. A value of 0 means "no value".
// Lookups are answered from an index of the page's title attributes, built on the first lookup
// after the page changes; the class is meant for one thread (the GUI thread).
class RatesPage {
public:
    // Replaces the page (one download).
    void SetLines(QStringList lines);
    // Replaces the page with a downloaded body, decoded by the charset it declares. Servers
    // mislabel GBK pages: when that decoding lacks the chart marker, the body is read as GB18030.
    void SetBody(const QByteArray& body, const QString& contentType = {});
    const QStringList& PageLines() const { return lines_; }
    // The page says its prices are made up (a demo server's random walk).
    bool Demo() const { return demo_; }

    // Drops the page header before the chart marker line (only when that line is not among the
    // first three). False, with the page left as it is, when the page has no marker: bad data.
    bool TrimPageToMarker();

    // The value of a catalogue instrument: derived from other quotes or looked up in the page.
    long double QuoteFor(const QString& name) const;
    // The value quoted in the page under the name (prefix match on the title attribute).
    long double LookupQuote(const QString& name) const;
    // The value of one of the computed instruments (yuan crosses, gold and silver in yuan,
    // Hong Kong gold); 0 for any other name or when an input is missing.
    long double DeriveQuote(const QString& name) const;

    // A row's cells after the name are bid, ask, high, low, change, percent and time. The
    // previous close is the price less the change cell; 0 when the page gives no change ("--")
    // or no price. A computed instrument's is computed from its legs' previous closes as its
    // price is from their prices (0 when a leg has none).
    long double PreviousCloseFor(const QString& name) const;
    // When the quote was made, from the time cell ("yyyy-MM-dd hh:mm:ss", Beijing time). A daily
    // reference rate's cell gives only its date ("yyyy-MM-dd 参考价"): that day's start in Beijing
    // time, never later than the fixing, so that the quote's age is not understated. A computed
    // instrument takes the oldest of its legs' times. Invalid when unknown.
    QDateTime QuoteTimeFor(const QString& name) const;

private:
    struct Title {
        std::u16string_view text;  // from just after the attribute's opening quote to line end
        qsizetype line;
    };

    // What is known of a name looked up in the page; the row's change and time cells are read
    // only when first asked for.
    struct Found {
        long double value = 0.0L;
        qsizetype line = -1;  // the title line, -1 for none
        bool closeRead = false;
        bool timeRead = false;
        long double previousClose = 0.0L;
        QDateTime time;
    };

    void BuildIndex() const;
    long double ValueAfter(qsizetype titleLine) const;
    Found& Find(const QString& name) const;
    long double CloseOf(const QString& name) const;
    QDateTime TimeOf(const QString& name) const;
    // The line of the row's cell `index` (0: bid), or nothing when the row ends before it.
    const QString* Cell(qsizetype titleLine, qsizetype index) const;
    void Invalidate();

    QStringList lines_;
    bool demo_ = false;
    // Every title attribute of the page, sorted by the first few characters of its text and, among
    // equal ones, by line, so that all titles starting with a name form one contiguous run.
    mutable std::vector<Title> titles_;
    mutable bool indexed_ = false;
    mutable QHash<QString, Found> found_;
};

// What makes the instrument N/A on the page: the first leg the page lacks of one computed from
// others, else the instrument itself.
QString MissingLeg(const RatesPage& page, const QString& name);

}  // namespace kestrel
