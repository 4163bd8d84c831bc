#include "gatewayhistory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <cmath>

#include "history/historystore.h"
#include "quotes/catalogue.h"
#include "ui/mainwindow/mainform.h"

namespace kestrel {

namespace {

// Two days of minutes at most, whatever a server sends.
constexpr qint64 kMaxAnswerBytes = 4 * 1024 * 1024;

}  // namespace

GatewayHistory::GatewayHistory(HistoryStore& store) : Store(store) {
    Http.MaxBodySize = kMaxAnswerBytes;
    Http.AcceptTypes = QStringLiteral("application/json");
    Http.OnDone = [this](TCustomHTTPClient*, const QString&, qint64, QIODevice* stream) {
        Done(stream);
    };
    Http.OnAnyError = [this](TCustomHTTPClient*) { Failed(); };
}

void GatewayHistory::Fill(const QString& ratesUrl, const THTTPProxy& proxy,
                          const QStringList& codes, qint64 startMs) {
    const QUrl page(ratesUrl);
    if (!page.isValid() || (page.scheme() != u"http" && page.scheme() != u"https") ||
        page.host().isEmpty())
        return;
    Base = page.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    Base.setPath(QStringLiteral("/history"));
    Http.Proxy = proxy;
    Pending = codes;
    ToMs = startMs;
    FromMs = startMs - kHoursBeforeMs;
    Next();
}

void GatewayHistory::Next() {
    if (Pending.isEmpty())
        return;
    Asked = Pending.takeFirst();
    QUrl url = Base;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("code"), Asked);
    query.addQueryItem(QStringLiteral("from"), QString::number(FromMs / 1000));
    query.addQueryItem(QStringLiteral("to"), QString::number(ToMs / 1000));
    url.setQuery(query);
    Http.URL = url.toString(QUrl::FullyEncoded);
    if (!Http.Read())
        Pending.clear();
}

void GatewayHistory::Done(QIODevice* stream) {
    const QJsonObject answer =
        QJsonDocument::fromJson(stream ? stream->readAll() : QByteArray()).object();
    const QJsonValue bars = answer.value(QStringLiteral("bars"));
    if (answer.value(QStringLiteral("code")).toString() != Asked || !bars.isArray()) {
        Pending.clear();  // no gateway
        return;
    }
    // A bar goes in as its four prices in order, a millisecond apart, so that the minute kept
    // has the same open, high, low and close.
    const QString source = Base.host();
    QVector<HistoryTick> ticks;
    for (const QJsonValue& bar : bars.toArray()) {
        const QDateTime minute = QDateTime::fromString(
            bar.toObject().value(QStringLiteral("time")).toString(), Qt::ISODate);
        const qint64 ms = minute.isValid() ? minute.toMSecsSinceEpoch() : 0;
        if (ms < FromMs - 60000 || ms > ToMs || ms % 60000 != 0)
            continue;
        qint64 offset = 0;
        for (const char* field : {"open", "high", "low", "close"}) {
            const double price = bar.toObject().value(QLatin1String(field)).toDouble();
            if (std::isfinite(price) && price > 0)
                ticks.push_back({Asked, price, ms + offset++, source});
        }
    }
    if (!ticks.isEmpty())
        Store.Record(std::move(ticks));
    Next();
}

void GatewayHistory::Failed() {
    // Every instrument asked is one a gateway serves: a refusal means none, or one without
    // a history.
    Pending.clear();
}

void TMainForm::FillHistoryFromGateway() {
    if (!History || UseBuiltin || History->CurrentState() == HistoryStore::State::Off)
        return;
    // What the page carries; the ticker computes the rest from it.
    QStringList codes;
    for (const QString& name : SelectedInstruments) {
        if (!IsDerivedInstrument(name) && !InstrumentCode(name).isEmpty())
            codes << InstrumentCode(name);
    }
    codes.removeDuplicates();
    FromGateway = std::make_unique<GatewayHistory>(*History);
    FromGateway->Fill(QuoteHTTP.URL, QuoteHTTP.Proxy, codes, QDateTime::currentMSecsSinceEpoch());
}

}  // namespace kestrel
