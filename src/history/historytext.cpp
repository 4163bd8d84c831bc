#include "history/historytext.h"

#include "text/csv.h"

namespace kestrel {

QString HistoryBarsCsv(const QVector<HistoryBar>& bars,
                       const std::function<QString(qint64)>& timeText) {
    QString csv = QStringLiteral("time,open,high,low,close,source\n");
    for (const HistoryBar& bar : bars) {
        csv += timeText(bar.minuteMs);
        for (const double value : {bar.open, bar.high, bar.low, bar.close})
            csv += u',' + QString::number(value, 'g', 15);
        csv += u',' + CsvField(bar.source) + u'\n';
    }
    return csv;
}

QJsonObject HistoryBarJson(const HistoryBar& bar, const QString& time) {
    return QJsonObject{
        {QStringLiteral("time"), time},       {QStringLiteral("open"), bar.open},
        {QStringLiteral("high"), bar.high},   {QStringLiteral("low"), bar.low},
        {QStringLiteral("close"), bar.close}, {QStringLiteral("source"), bar.source}};
}

}  // namespace kestrel
