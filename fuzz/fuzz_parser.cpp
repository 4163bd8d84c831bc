// Any download, however broken, must go through decoding, the parser and the line composer
// without a crash and without a value that cannot be shown. A charset named in a meta tag takes
// the same way as one in the Content-Type header, so the body alone reaches every decoder.
#include <QByteArray>
#include <QTime>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "quotes/catalogue.h"
#include "quotes/quotelines.h"
#include "quotes/ratespage.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    RatesPage page;
    page.SetBody(body);
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
