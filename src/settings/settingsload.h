// The settings as the main window applies them: every key of the settings file read with its
// default, the few corrections made on loading, and the values derived from them. Also the
// selection file, the text of `kestrel --show-settings` and the weekend rule of start-up.
#pragma once

#include <QDate>
#include <QHash>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "net/transfer.h"
#include "settings/fonttext.h"
#include "settings/hotkeytext.h"
#include "settings/profile.h"
#include "settings/settingskeys.h"

namespace kestrel {

// [Chart]: the chart windows' last frame position and size, the size within its bounds; a
// negative position is none.
QRect ReadChartPlace(const TIniFile& ini);

// Param/Language: the desktop's language, Chinese or English.
enum class UiLanguage { Auto, Chinese, English };

struct Settings {
    // As read (after the corrections noted); the defaults are the table's.
    // [Param]
    int Interval = keys::Interval.IntegerDefault();
    double LineSpacing = keys::LineSpacing.Default;
    bool ThreeD = keys::ThreeD.BooleanDefault();
    int ColorMode = keys::ColorMode.IntegerDefault();
    int WaitTimeOut = keys::WaitTimeOut.IntegerDefault();  // seconds
    bool DisplayTime = keys::DisplayTime.BooleanDefault();
    bool DisplayProgressBar = keys::DisplayProgressBar.BooleanDefault();
    bool ShowChange = keys::ShowChange.BooleanDefault();
    bool ShowArrows = keys::ShowArrows.BooleanDefault();
    bool ShowSparkline = keys::ShowSparkline.BooleanDefault();
    FontDesc Font;
    quint16 HotKey = kDefaultHotKey;  // a text that names no key is the default
    bool AutoPrompt = keys::AutoPrompt.BooleanDefault();
    int PromptInterval = keys::PromptInterval.IntegerDefault();  // minutes
    bool UseMonitor = keys::UseMonitor.BooleanDefault();
    QString MonitorCcy;
    long double MonitorPrice = keys::MonitorPrice.Default;
    bool AlarmSound = keys::AlarmSound.BooleanDefault();
    bool AlarmNotify = keys::AlarmNotify.BooleanDefault();
    QString AlarmCommand;
    int ProxyType = keys::ProxyType.IntegerDefault();
    QString ProxyAddress;
    QString ProxyPort;  // text as stored
    // The proxy login, unscrambled. The password comes from the file, or from the secret store
    // (ProxyPasswordLookup) when the file holds none.
    QString ProxyUsername;
    QString ProxyPassword;
    QString RatesURL = keys::RatesURL.TextDefault();
    QString UpdateURL = keys::UpdateURL.TextDefault();
    // [Sources]
    QStringList SourceOrder;  // known names only, each once; empty or none known: the default
    QString PortalURL = keys::PortalURL.TextDefault();
    QString EcbURL = keys::EcbURL.TextDefault();
    QString BocURL = keys::BocURL.TextDefault();
    QString UpgradeKeys;
    int HistoryDays = keys::HistoryDays.IntegerDefault();  // 0: no price history
    UiLanguage Language = UiLanguage::Auto;
    // [Alarms]: each rule's key and its line as stored, unreadable ones too (the rules' own
    // parser judges them); read from Alarm1 up to the first missing number.
    QList<std::pair<QString, QString>> Alarms;
    // [Aliases]: the user's short names, (catalogue name, short name) in the file's order; see
    // ReadAliases.
    QList<std::pair<QString, QString>> Aliases;
    // [Form]
    bool Alpha = keys::Alpha.BooleanDefault();
    bool NotRunWeekEnd = keys::NotRunWeekEnd.BooleanDefault();
    int Pos_X = keys::PosX.IntegerDefault();
    int Pos_Y = keys::PosY.IntegerDefault();
    bool Top = keys::Top.BooleanDefault();
    // [Chart]
    QRect ChartPlace{keys::ChartPosX.IntegerDefault(), keys::ChartPosY.IntegerDefault(),
                     keys::ChartWidth.IntegerDefault(), keys::ChartHeight.IntegerDefault()};

    // effective values
    int TicksPerInterval = Interval * kTicksPerSecond;
    HotKeyRegistration HotKeyReg{0, kDefaultHotKey};
    int WaitTimeoutMs = WaitTimeOut * 1000;
    THTTPAccessType AccessType =
        THTTPAccessType::atPreconfig;  // atUseProxy: ProxyServer:ProxyPortNumber
    QString ProxyServer;
    int ProxyPortNumber = kDefaultProxyPort;
    QStringList Selection;
};

// "auto", "zh_CN" or "en" in any letter case, blanks around it ignored; anything else is Auto.
UiLanguage ParseUiLanguage(const QString& text);
// The value Param/Language stores for a choice.
QString UiLanguageText(UiLanguage language);
// Param/Language of the settings file at iniPath; Auto when it is missing or unreadable.
UiLanguage ReadUiLanguage(const QString& iniPath);

// [Aliases]: NAME=SHORT, a short name the user gives an instrument of the catalogue.
inline constexpr char kAliasesSection[] = "Aliases";
inline constexpr int kMaxAliasLength = 8;  // characters

// True for a short name that can stand for an instrument: not empty, at most kMaxAliasLength
// characters, no control character.
bool IsUsableAlias(const QString& shortName);

// The catalogue's spelling of an instrument name in any letter case; empty when it names none.
QString CatalogueName(const QString& name);

// The aliases of [Aliases] in the file's order, the name in the catalogue's spelling and the
// short name without blanks around it. A key that names no instrument, a blank short name (no
// alias) and one that is not usable are passed over; a name given twice counts once, the first.
QList<std::pair<QString, QString>> ReadAliases(const TIniFile& ini);
// The aliases of the settings by instrument name.
QHash<QString, QString> AliasesOf(const Settings& settings);

// The catalogue name a trader may mean: the name (any letter case), the name shown, the short
// name of `aliases` or the code (any letter case), blanks around it dropped; empty for none.
QString InstrumentNamed(const QString& given, const QHash<QString, QString>& aliases);

// Finds the proxy password that the settings file at iniPath keeps in the desktop's secret
// store; empty when there is none. Installed by the platform at start-up; without one the file
// is the only place.
using ProxyPasswordLookup = std::function<QString(const QString& iniPath)>;
void SetProxyPasswordLookup(ProxyPasswordLookup lookup);

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

// The feeds that [Sources] Order names ("portal,ecb"), in its order: the known names only
// (portal, ecb, boc, in any case, blanks around them ignored), each once; the default order when
// it names none of them.
QStringList ParseSourceOrder(const QString& text);

// One name per line, CR LF line ends, in the existing file's encoding (GBK for a new file),
// replacing the file at once. Throws CreateFileError when refused.
void WriteSelectionFile(const QString& ccyPath, const QStringList& selection);

// "[Param]", "[Sources]", "[Form]", "[Alarms]" (when there are rules), "[Aliases]" (when there are
// aliases) and "[Effective]" sections of
// Key=value lines, "\n" line ends, one blank line between two sections: the reported keys of the
// table in its order, then the values derived from them. Values are written as the settings file
// encodes them.
QString FormatSettingsReport(const Settings& settings);

// True when an automatic start ("-AUTO" or "/AUTO", any case, blanks and control characters
// around it ignored) falls on a Saturday or Sunday and the weekend rule is on.
bool ShouldEndAutomaticStart(const QString& firstArgument, bool notRunWeekEnd, QDate today);

}  // namespace kestrel
