#include "historycli.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

#include "history/historystore.h"
#include "history/historytext.h"
#include "quotes/catalogue.h"
#include "quotes/quoterecord.h"
#include "settings/settingsload.h"

namespace kestrel {

namespace {

struct HistoryCliTexts {
    Q_DECLARE_TR_FUNCTIONS(Cli)
};

constexpr qint64 kDayMs = 24 * 60 * 60 * 1000;

void Print(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

void Complain(const QString& text) {
    std::fprintf(stderr, "kestrel: %s\n", text.toUtf8().constData());
}

}  // namespace

int PrintHistory(const Settings& settings, const QString& path, const QString& given,
                 const QString& from, const QString& to, const QByteArray& format) {
    const QString name = InstrumentNamed(given, AliasesOf(settings));
    const QString code = InstrumentCode(name);
    if (code.isEmpty()) {
        Complain(HistoryCliTexts::tr("未知品种：%1").arg(given));
        return 2;
    }
    const auto parse = [](const QString& text) {
        return QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    };
    const QDateTime fromTime = parse(from), toTime = parse(to);
    if ((!from.isEmpty() && !fromTime.isValid()) || (!to.isEmpty() && !toTime.isValid())) {
        Complain(HistoryCliTexts::tr("时间应为 ISO 8601 格式，例如 2026-03-02T09:30:00+08:00"));
        return 2;
    }
    const qint64 toMs =
        to.isEmpty() ? QDateTime::currentMSecsSinceEpoch() : toTime.toMSecsSinceEpoch();
    const qint64 fromMs = from.isEmpty() ? toMs - kDayMs : fromTime.toMSecsSinceEpoch();
    if (!QFileInfo::exists(path)) {
        Complain(HistoryCliTexts::tr("尚无价格历史（%1）").arg(path));
        return 1;
    }

    const QVector<HistoryBar> bars = ReadHistoryBars(path, code, fromMs, toMs);
    if (format == "json") {
        QJsonArray records;
        for (const HistoryBar& bar : bars)
            records.append(HistoryBarJson(bar, IsoLocalTime(bar.minuteMs)));
        Print(QString::fromUtf8(QJsonDocument(records).toJson(QJsonDocument::Compact)) + u'\n');
    } else if (format == "csv") {
        Print(HistoryBarsCsv(bars, [](qint64 ms) { return IsoLocalTime(ms); }));
    } else {
        const int decimals = DecimalsFor(DisplayName(name));
        QString out;
        for (const HistoryBar& bar : bars) {
            QStringList fields{IsoLocalTime(bar.minuteMs)};
            for (const double value : {bar.open, bar.high, bar.low, bar.close})
                fields << QString::number(value, 'f', decimals);
            out += fields.join(u' ') + u' ' + bar.source + u'\n';
        }
        Print(out);
        if (bars.isEmpty())
            Complain(HistoryCliTexts::tr("%1 在此时段没有记录").arg(ShownInstrumentName(name)));
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace kestrel
