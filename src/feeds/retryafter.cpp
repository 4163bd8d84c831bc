#include "retryafter.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>

namespace kestrel::feeds {

double RetryAfterFrom(const QString& rawHeaders, qint64 nowMs) {
    static const QRegularExpression line(
        QStringLiteral("^retry-after:[ \\t]*([^\\r\\n]*?)[ \\t]*\\r?$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = line.match(rawHeaders);
    if (!m.hasMatch())
        return 0;
    QString value = m.captured(1);
    static const QRegularExpression digits(QStringLiteral("^\\d{1,9}$"));
    if (digits.match(value).hasMatch())
        return value.toDouble();
    // HTTP dates are in GMT by name, which the RFC 2822 reader wants as an offset.
    if (value.endsWith(QStringLiteral(" GMT")))
        value = value.chopped(3) + QStringLiteral("+0000");
    const QDateTime when = QDateTime::fromString(value, Qt::RFC2822Date);
    return when.isValid() ? std::max(0.0, (when.toMSecsSinceEpoch() - nowMs) / 1000.0) : 0;
}

}  // namespace kestrel::feeds
