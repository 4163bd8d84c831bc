// The stored bars as text for people and other programs: the chart's export, `kestrel --history`
// and the gateway's /history write a bar alike.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector>
#include <functional>

#include "history/historystore.h"

namespace kestrel {

// "time,open,high,low,close,source" and a line per bar: its minute as timeText writes it, the
// prices in up to 15 significant digits, the source quoted where it holds a comma, a quote or a
// line break.
QString HistoryBarsCsv(const QVector<HistoryBar>& bars,
                       const std::function<QString(qint64)>& timeText);

// One bar as a JSON record: time (as given), open, high, low, close, source.
QJsonObject HistoryBarJson(const HistoryBar& bar, const QString& time);

}  // namespace kestrel
