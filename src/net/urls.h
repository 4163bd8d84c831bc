// URL parts as the HTTP client and the upgrade take them apart.
#pragma once

#include <QString>

namespace kestrel {

struct URLComponents {
    QString Scheme, Host;
    quint16 Port = 0;
    QString UserName, Password, Path, Extra;  // Extra: query and fragment, with their "?" / "#"
};

// Largest size of each part in characters; a longer part makes CrackURL fail.
inline constexpr int kMaxSchemeLength = 32;
inline constexpr int kMaxHostLength = 256;
inline constexpr int kMaxUserNameLength = 128;
inline constexpr int kMaxPasswordLength = 128;
inline constexpr int kMaxPathLength = 2048;
inline constexpr int kMaxExtraLength = 2048;

// Splits a URL ("http://" is assumed when it has no "://"), percent-escapes decoded (as UTF-8).
// The port is the URL's own, else the scheme's default (http 80, https 443, ftp 21, gopher 70,
// anything else 0). A file URL gives its path and no host. On failure parts is left untouched.
bool CrackURL(const QString& url, URLComponents& parts);

// The host of CrackURL; empty when the URL cannot be split.
QString HostFromURL(const QString& url);

// The text after the last "/", "\" or ":" of the URL (the whole URL when there is none); a
// query stays attached, and a URL ending in "/" gives an empty name.
QString FileNameFromURL(const QString& url);

}  // namespace kestrel
