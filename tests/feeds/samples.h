// The feed samples of tests/data/feeds are real answers from days long past, and the feed rules
// refuse quotes that old; a test dates them to the moment it pretends it is.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTime>
#include <QTimeZone>
#include <regex>
#include <string>

namespace kestrel::test {

inline QByteArray FeedSample(const QString& name) {
    QFile file(QStringLiteral(KESTREL_TEST_DATA "/feeds/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every date becomes the given day and, when given, every time the given time.
inline std::string Redated(const std::string& text, const QDate& day, const QTime& time = {}) {
    std::string out = std::regex_replace(text, std::regex(R"(\d{4}-\d{2}-\d{2})"),
                                         day.toString(Qt::ISODate).toStdString());
    if (time.isValid())
        out = std::regex_replace(out, std::regex(R"(\b\d{2}:\d{2}:\d{2}\b)"),
                                 time.toString(u"hh:mm:ss").toStdString());
    return out;
}

// The quote service dates its lines in Beijing time.
inline QDateTime BeijingTime(qint64 msSinceEpoch) {
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, QTimeZone(8 * 3600));
}

// The portal sample as of `ms`, and the reference rates of the local day before (today's are
// fixed in the afternoon).
inline std::string PortalSampleAt(const std::string& portal, qint64 ms) {
    const QDateTime at = BeijingTime(ms);
    return Redated(portal, at.date(), at.time());
}
inline std::string EcbSampleAt(qint64 ms) {
    return Redated(FeedSample(QStringLiteral("ecb.xml")).toStdString(),
                   QDateTime::fromMSecsSinceEpoch(ms).date().addDays(-1));
}

}  // namespace kestrel::test
