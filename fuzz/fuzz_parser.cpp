// Any download, however broken, must go through decoding, the parser and the line composer
// without a crash and without a value that cannot be shown.
#include <QByteArray>
#include <QTime>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "quotes/catalogue.h"
#include "quotes/quotelines.h"
#include "quotes/ratespage.h"
#include "settings/encodings.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    RatesPage page;
    page.SetLines(SplitLines(DecodePage(body)));
    page.TrimPageToMarker();
    for (const QString& name : InstrumentCatalogue()) {
        if (!std::isfinite(page.QuoteFor(name)))
            std::abort();
    }
    QuoteSlots quoteSlots;
    quoteSlots.Reset(InstrumentCatalogue().size());
    const QuoteLines lines =
        BuildQuoteLines(page, InstrumentCatalogue(), quoteSlots, true, QTime(12, 0, 0));
    if (lines.Lines.isEmpty())
        std::abort();
    return 0;
}
