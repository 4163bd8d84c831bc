#include "app/session.h"

#include "net/httpclient.h"
#include "platform/fonts.h"
#include "platform/linux/curltransfer.h"

namespace kestrel {

void InstallPlatformServices() {
    InstallCurlTransfer();
}

FontDesc WindowFontDesc() {
    FontDesc font;
    font.Name = WindowFontFamily();
    font.Size = 9;  // 12 pixels at 96 dots per inch
    font.Charset = 134;
    return font;
}

Settings LoadStartupSettings(const ProgramFiles& files, const QStringList& currentSelection) {
    return LoadSettings(files.IniPath, files.CcyPath, WindowFontDesc(), currentSelection);
}

void ConfigureQuoteClient(THTTPClient& http, const Settings& settings) {
    http.URL = settings.RatesURL;
    http.Referer = settings.RatesURL;
    http.UseCache = false;
    http.SetWaitTimeout(settings.WaitTimeoutMs);
    switch (settings.AccessType) {
        case ProxyAccess::atPreconfig:
            http.Proxy.AccessType = THTTPAccessType::atPreconfig;
            break;
        case ProxyAccess::atDirect:
            http.Proxy.AccessType = THTTPAccessType::atDirect;
            break;
        case ProxyAccess::atUseProxy:
            http.Proxy.AccessType = THTTPAccessType::atUseProxy;
            http.Proxy.ProxyServer = settings.ProxyServer;
            http.Proxy.ProxyPort = settings.ProxyPortNumber;
            break;
    }
}

}  // namespace kestrel
