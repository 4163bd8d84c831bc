// The hours before the ticker started, from the gateway its rates page comes from: the minute
// bars the gateway kept, asked for once per instrument at start and put into the ticker's own
// history. A server that answers anything but bars is no gateway and is asked no more.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include "net/httpclient.h"

namespace kestrel {

class HistoryStore;

class GatewayHistory {
public:
    static constexpr qint64 kHoursBeforeMs = 24 * 3600 * 1000LL;

    explicit GatewayHistory(HistoryStore& store);

    // ratesUrl: the page's address; codes: the instruments to ask for. Returns at once; each
    // answer is recorded as it comes.
    void Fill(const QString& ratesUrl, const THTTPProxy& proxy, const QStringList& codes,
              qint64 startMs);
    bool Busy() const { return !Pending.isEmpty() || Http.Busy(); }

private:
    void Next();
    void Done(QIODevice* stream);
    void Failed();

    HistoryStore& Store;
    THTTPClient Http;
    QUrl Base;
    QStringList Pending;
    QString Asked;
    qint64 FromMs = 0, ToMs = 0;
};

}  // namespace kestrel
