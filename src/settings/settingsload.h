// The settings as the main window applies them: every key of the settings file read with its
// default, the few corrections made on loading, and the values derived from them. Also the
// selection file, the text of `kestrel --show-settings` and the weekend rule of start-up.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "settings/fonttext.h"
#include "settings/hotkeytext.h"
#include "settings/profile.h"

namespace kestrel {

// How the transfers reach the network.
enum class ProxyAccess {
    atPreconfig,  // the system's configured proxy
    atDirect,     // no proxy
    atUseProxy,   // ProxyServer:ProxyPortNumber
};

// No rates page: the ticker reads the public feeds itself.
inline constexpr char kDefaultRatesURL[] = "";
inline constexpr char kDefaultSourceOrder[] = "portal,ecb";
inline constexpr char kDefaultPortalURL[] = "https://hq.sinajs.cn/list=";
inline constexpr char kDefaultEcbURL[] =
    "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
inline constexpr char kDefaultBocURL[] = "https://www.boc.cn/sourcedb/whpj/";
inline constexpr char kDefaultUpdateURL[] = "https://kestrel.example.org/kestrelmv/kestrelmv.inf";
inline constexpr int kTicksPerSecond = 10;  // the refresh timer ticks every 100 ms
inline constexpr int kDefaultProxyPort = 8080;

struct Settings {
    // [Param], as read (after the corrections noted)
    int Interval = 10;       // seconds; below 1 is taken as 1
    double LineSpacing = 1;  // outside 0.1..3 is taken as 1
    bool ThreeD = false;     // key "3D"
    int ColorMode = 0;
    int WaitTimeOut = 5;  // seconds
    bool DisplayTime = true;
    bool DisplayProgressBar = true;
    FontDesc Font;
    quint16 HotKey = kDefaultHotKey;  // a text that names no key is F8
    bool AutoPrompt = true;
    int PromptInterval = 10;  // minutes
    bool UseMonitor = false;
    QString MonitorCcy;
    long double MonitorPrice = 0;
    bool AlarmSound = false;
    int ProxyType = 0;
    QString ProxyAddress;
    QString ProxyPort;  // text as stored
    // The proxy login, unscrambled. The password comes from the file, or from the secret store
    // (ProxyPasswordLookup) when the file holds none.
    QString ProxyUsername;
    QString ProxyPassword;
    QString RatesURL = QString::fromLatin1(kDefaultRatesURL);
    QString UpdateURL = QString::fromLatin1(kDefaultUpdateURL);  // the upgrade information file
    // [Sources], the feeds read when RatesURL is empty
    QStringList SourceOrder;  // known names only, each once; empty or none known: the default
    QString PortalURL = QString::fromLatin1(kDefaultPortalURL);
    QString EcbURL = QString::fromLatin1(kDefaultEcbURL);
    QString BocURL = QString::fromLatin1(kDefaultBocURL);
    QString UpgradeKeys;  // publishing keys trusted besides the built-in one, ";"-separated
    // [Form]
    bool Alpha = false;
    bool NotRunWeekEnd = false;
    int Pos_X = -1;
    int Pos_Y = -1;
    bool Top = false;

    // effective values
    int TicksPerInterval = 10 * kTicksPerSecond;
    HotKeyRegistration HotKeyReg{0, kDefaultHotKey};
    int WaitTimeoutMs = 5000;
    ProxyAccess AccessType = ProxyAccess::atPreconfig;
    QString ProxyServer;
    int ProxyPortNumber = kDefaultProxyPort;
    QStringList Selection;
};

// Finds the proxy password that the settings file at iniPath keeps in the desktop's secret
// store; empty when there is none. Installed by the platform at start-up; without one the file
// is the only place.
using ProxyPasswordLookup = std::function<QString(const QString& iniPath)>;
void SetProxyPasswordLookup(ProxyPasswordLookup lookup);

// Param/ProxyUsername and Param/ProxyPassword: scrambled bytes in the file's own encoding.
QString ReadScrambledText(const TIniFile& ini, const QString& key);
void WriteScrambledText(TIniFile& ini, const QString& key, const QString& text);

// Reads the settings file at iniPath and the selection file at ccyPath. A missing selection
// file keeps currentSelection; either way the selection is then checked against the catalogue
// (an empty one becomes the default list). In the proxy modes 0 and 1 the current proxy server
// and port are kept. windowFont is the base of the default quote font.
Settings LoadSettings(const QString& iniPath, const QString& ccyPath, const FontDesc& windowFont,
                      const QStringList& currentSelection, const QString& currentProxyServer = {},
                      int currentProxyPort = kDefaultProxyPort);

// The lines of a selection file (UTF-8 when valid, else GBK; CR LF, LF or CR end a line), or
// nothing when the file does not exist or cannot be read.
std::optional<QStringList> ReadSelectionFile(const QString& ccyPath);

// A selection file the system refused to write: "Cannot create file "<path>". <reason>".
class CreateFileError : public WriteError {
public:
    CreateFileError(const QString& path, const QString& reason);
};

// One name per line, CR LF line ends, in the existing file's encoding (GBK for a new file),
// replacing the file at once. Throws CreateFileError when refused.
void WriteSelectionFile(const QString& ccyPath, const QStringList& selection);

// "[Param]", "[Form]" and "[Effective]" sections of Key=value lines, "\n" line ends, one
// blank line between two sections. Values are written as the settings file encodes them.
QString FormatSettingsReport(const Settings& settings);

// True when an automatic start ("-AUTO" or "/AUTO", any case, blanks and control characters
// around it ignored) falls on a Saturday or Sunday and the weekend rule is on.
bool ShouldEndAutomaticStart(const QString& firstArgument, bool notRunWeekEnd, QDate today);

}  // namespace kestrel
