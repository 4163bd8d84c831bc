#include "net/urls.h"

#include <QUrl>
#include <algorithm>
#include <optional>

#include "net/runtimetext.h"

namespace kestrel {

namespace {

QString PercentDecoded(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

quint16 DefaultPort(const QString& scheme) {
    const QString s = scheme.toLower();
    if (s == u"http")
        return 80;
    if (s == u"https")
        return 443;
    if (s == u"ftp")
        return 21;
    if (s == u"gopher")
        return 70;
    return 0;
}

bool ValidScheme(const QString& scheme) {
    if (scheme.isEmpty() || scheme.size() > kMaxSchemeLength || !scheme.at(0).isLetter()) {
        return false;
    }
    return std::all_of(scheme.begin(), scheme.end(), [](QChar c) {
        return (c.isLetterOrNumber() && c.unicode() < 128) || c == u'+' || c == u'-' || c == u'.';
    });
}

// Splits "host", "host:port", "[v6]" or "[v6]:port"; false for a malformed port.
bool SplitHostPort(const QString& hostPort, QString& host, std::optional<quint16>& port) {
    qsizetype colon = -1;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0)
            return false;
        host = hostPort.mid(1, close - 1);
        if (close + 1 < hostPort.size()) {
            if (hostPort.at(close + 1) != u':')
                return false;
            colon = close + 1;
        }
    } else {
        colon = hostPort.lastIndexOf(u':');
        host = colon < 0 ? hostPort : hostPort.left(colon);
    }
    if (colon < 0 || colon + 1 == hostPort.size())
        return true;
    const QString digits = hostPort.mid(colon + 1);
    bool ok = false;
    const uint value = digits.toUInt(&ok);
    if (!ok || value > 65535 ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); })) {
        return false;
    }
    port = quint16(value);
    return true;
}

}  // namespace

bool CrackURL(const QString& url, URLComponents& parts) {
    const QString full = url.contains(u"://") ? url : QStringLiteral("http://") + url;
    const qsizetype schemeEnd = full.indexOf(u"://");
    URLComponents result;
    result.Scheme = full.left(schemeEnd);
    if (!ValidScheme(result.Scheme))
        return false;
    QString rest = full.mid(schemeEnd + 3);

    if (result.Scheme.compare(u"file", Qt::CaseInsensitive) == 0) {
        if (rest.startsWith(u"localhost/", Qt::CaseInsensitive))
            rest.remove(0, 9);
        result.Path = PercentDecoded(rest);
        if (result.Path.isEmpty() || result.Path.size() > kMaxPathLength)
            return false;
        parts = result;
        return true;
    }

    qsizetype authorityEnd = rest.size();
    for (const QChar c : {u'/', u'?', u'#'}) {
        const qsizetype p = rest.indexOf(c);
        if (p >= 0)
            authorityEnd = std::min(authorityEnd, p);
    }
    QString authority = rest.left(authorityEnd);
    const QString tail = rest.mid(authorityEnd);
    qsizetype extraStart = tail.size();
    for (const QChar c : {u'?', u'#'}) {
        const qsizetype p = tail.indexOf(c);
        if (p >= 0)
            extraStart = std::min(extraStart, p);
    }
    result.Path = PercentDecoded(tail.left(extraStart));
    result.Extra = PercentDecoded(tail.mid(extraStart));

    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(u':');
        result.UserName = PercentDecoded(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0)
            result.Password = PercentDecoded(userInfo.mid(colon + 1));
    }
    std::optional<quint16> port;
    if (!SplitHostPort(authority, result.Host, port))
        return false;
    result.Host = PercentDecoded(result.Host);
    result.Port = port.value_or(DefaultPort(result.Scheme));

    if (result.Host.isEmpty() || result.Host.size() > kMaxHostLength ||
        result.UserName.size() > kMaxUserNameLength ||
        result.Password.size() > kMaxPasswordLength || result.Path.size() > kMaxPathLength ||
        result.Extra.size() > kMaxExtraLength) {
        return false;
    }
    parts = result;
    return true;
}

QString HostFromURL(const QString& url) {
    URLComponents parts;
    return CrackURL(url, parts) ? parts.Host : QString();
}

QString FileNameFromURL(const QString& url) {
    return url.mid(LastDelimiter(url) + 1);
}

}  // namespace kestrel
