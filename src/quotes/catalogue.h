// The instruments the program knows, which are read from the page and which are computed, how
// many decimals each shows, and the user's selection with its check.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrel {

// The 47 instrument names in the order the settings dialog lists them.
const QStringList& InstrumentCatalogue();

// The comma-separated list of derived instruments (港币人民币 stands in it twice).
extern const char16_t kDerivedInstruments[];

// True when the name equals one item of kDerivedInstruments.
bool IsDerivedInstrument(const QString& name);

// The label shown for an instrument: "NYMEX原油" is shown as "纽约原油", every other name as is.
QString DisplayName(const QString& name);

// The name shown for a catalogue instrument in the language in use: DisplayName's label, or its
// translation ("EUR/USD", "Spot gold"). Any other name (a user's own short name) comes back as is.
QString ShownInstrumentName(const QString& name);

// Two decimals for labels containing 日元, 黄金, 白银, 原油 or 美元指数 but not 日元人民币;
// four otherwise.
int DecimalsFor(const QString& label);

// The 13 names used whenever the checked selection is empty.
const QStringList& DefaultSelection();

// Drops every entry that is not exactly a catalogue name (no trimming, case-sensitive), walking
// from the last entry to the first; an empty result becomes DefaultSelection().
void CheckSelection(QStringList& selection);

// The previous and current value of each selected instrument, same index as the selection, and
// its previous close when the lines show the change since then. 0 means no value.
struct QuoteSlots {
    QList<long double> PrevQuotes;
    QList<long double> CurQuotes;
    QList<long double> Closes;
    // Rises and falls are counted from the previous close, not from the previous download.
    bool SinceClose = false;

    // Sizes the lists to n entries and sets every value to 0.
    void Reset(qsizetype n);
};

// The instrument's code for scripts, in the ISO style of trading screens: EURUSD, XAUUSD, CL;
// gold in yuan per gram XAUCNY_G, Hong Kong gold in dollars per mace (钱) XAUHKD_MACE. Empty for a
// name outside the catalogue.
QString InstrumentCode(const QString& name);

}  // namespace kestrel
