#include "settings/settingsload.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <limits>

#include "quotes/catalogue.h"
#include "settings/encodings.h"
#include "settings/profile.h"
#include "settings/scrambler.h"

namespace kestrel {

namespace {

const QString kParam = QStringLiteral("Param");
const QString kForm = QStringLiteral("Form");

// value × factor without leaving the range of int.
int SaturatedProduct(int value, int factor) {
    const qint64 product = static_cast<qint64>(value) * factor;
    return static_cast<int>(std::clamp<qint64>(product, std::numeric_limits<int>::min(),
                                               std::numeric_limits<int>::max()));
}

QString Flag(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

ProxyPasswordLookup& PasswordLookup() {
    static ProxyPasswordLookup lookup;
    return lookup;
}

QString AccessName(ProxyAccess access) {
    switch (access) {
        case ProxyAccess::atDirect:
            return QStringLiteral("atDirect");
        case ProxyAccess::atUseProxy:
            return QStringLiteral("atUseProxy");
        case ProxyAccess::atPreconfig:
            break;
    }
    return QStringLiteral("atPreconfig");
}

}  // namespace

std::optional<QStringList> ReadSelectionFile(const QString& ccyPath) {
    QFile file(ccyPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return SplitLines(DecodeFileBytes(file.readAll()).text);
}

CreateFileError::CreateFileError(const QString& path, const QString& reason)
    : WriteError(path, QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason)) {}

void WriteSelectionFile(const QString& ccyPath, const QStringList& selection) {
    FileEncoding encoding = FileEncoding::Gbk;
    if (QFile existing(ccyPath); existing.open(QIODevice::ReadOnly)) {
        encoding = DecodeFileBytes(existing.readAll()).encoding;
    }
    QString text;
    for (const QString& name : selection)
        text += name + QStringLiteral("\r\n");
    const QByteArray bytes = EncodeFileText(text, encoding);
    QSaveFile file(ccyPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw CreateFileError(ccyPath, file.errorString());
    }
}

Settings LoadSettings(const QString& iniPath, const QString& ccyPath, const FontDesc& windowFont,
                      const QStringList& currentSelection, const QString& currentProxyServer,
                      int currentProxyPort) {
    const TIniFile ini(iniPath);
    Settings s;

    s.Selection = ReadSelectionFile(ccyPath).value_or(currentSelection);
    CheckSelection(s.Selection);

    // Below one second the ticker would download without pause; above the limit the
    // countdown length would overflow.
    s.Interval = std::clamp(ini.ReadInteger(kParam, QStringLiteral("Interval"), 10), 1,
                            std::numeric_limits<int>::max() / kTicksPerSecond);
    s.TicksPerInterval = s.Interval * kTicksPerSecond;

    s.LineSpacing = ini.ReadFloat(kParam, QStringLiteral("LineSpacing"), 1.0);
    if (!(s.LineSpacing >= 0.1 && s.LineSpacing <= 3))
        s.LineSpacing = 1.0;

    s.ThreeD = ini.ReadBool(kParam, QStringLiteral("3D"), false);
    s.ColorMode = ini.ReadInteger(kParam, QStringLiteral("ColorMode"), 0);
    s.WaitTimeOut = ini.ReadInteger(kParam, QStringLiteral("WaitTimeOut"), 5);
    s.WaitTimeoutMs = SaturatedProduct(s.WaitTimeOut, 1000);
    s.DisplayTime = ini.ReadBool(kParam, QStringLiteral("DisplayTime"), true);
    s.DisplayProgressBar = ini.ReadBool(kParam, QStringLiteral("DisplayProgressBar"), true);

    s.Font = DefaultQuoteFont(windowFont);
    TextToFont(ini.ReadString(kParam, QStringLiteral("Font"), FontToText(s.Font)), s.Font);

    s.Alpha = ini.ReadBool(kForm, QStringLiteral("Alpha"), false);
    s.NotRunWeekEnd = ini.ReadBool(kForm, QStringLiteral("NotRunWeekEnd"), false);

    s.HotKey = TextToShortCut(
        ini.ReadString(kParam, QStringLiteral("HotKey"), ShortCutToText(kDefaultHotKey)));
    if (s.HotKey == 0)
        s.HotKey = kDefaultHotKey;
    s.HotKeyReg = HotKeyValues(s.HotKey);

    s.AutoPrompt = ini.ReadBool(kParam, QStringLiteral("AutoPrompt"), true);
    s.PromptInterval = ini.ReadInteger(kParam, QStringLiteral("PromptInterval"), 10);
    s.UseMonitor = ini.ReadBool(kParam, QStringLiteral("UseMonitor"), false);
    s.MonitorCcy = ini.ReadString(kParam, QStringLiteral("MonitorCcy"), {});
    s.MonitorPrice = ini.ReadFloat(kParam, QStringLiteral("MonitorPrice"), 0);
    s.AlarmSound = ini.ReadBool(kParam, QStringLiteral("AlarmSound"), false);

    s.ProxyType = ini.ReadInteger(kParam, QStringLiteral("ProxyType"), 0);
    s.ProxyAddress = ini.ReadString(kParam, QStringLiteral("ProxyAddress"), {});
    s.ProxyPort = ini.ReadString(kParam, QStringLiteral("ProxyPort"), {});
    s.ProxyServer = currentProxyServer;
    s.ProxyPortNumber = currentProxyPort;
    if (s.ProxyType == 0) {
        s.AccessType = ProxyAccess::atPreconfig;
    } else if (s.ProxyType == 1) {
        s.AccessType = ProxyAccess::atDirect;
    } else {
        s.AccessType = ProxyAccess::atUseProxy;
        s.ProxyServer = s.ProxyAddress;
        s.ProxyPortNumber = ParseIntegerText(s.ProxyPort).value_or(kDefaultProxyPort);
        // No port outside TCP's range reaches a proxy; a hand-written one counts as none.
        if (s.ProxyPortNumber < 1 || s.ProxyPortNumber > 65535)
            s.ProxyPortNumber = kDefaultProxyPort;
    }
    s.ProxyUsername = ReadScrambledText(ini, QStringLiteral("ProxyUsername"));
    s.ProxyPassword = ReadScrambledText(ini, QStringLiteral("ProxyPassword"));
    // The secret store is asked only when a login will be used.
    if (s.AccessType == ProxyAccess::atUseProxy && !s.ProxyUsername.isEmpty() &&
        s.ProxyPassword.isEmpty() && PasswordLookup())
        s.ProxyPassword = PasswordLookup()(iniPath);

    s.RatesURL =
        ini.ReadString(kParam, QStringLiteral("RatesURL"), QString::fromLatin1(kDefaultRatesURL));
    s.UpdateURL =
        ini.ReadString(kParam, QStringLiteral("UpdateURL"), QString::fromLatin1(kDefaultUpdateURL));
    s.UpgradeKeys = ini.ReadString(kParam, QStringLiteral("UpgradeKeys"), QString());

    const QString sources = QStringLiteral("Sources");
    for (const QString& name : ini.ReadString(sources, QStringLiteral("Order"), {}).split(u',')) {
        const QString known = name.trimmed().toLower();
        if ((known == u"portal" || known == u"ecb" || known == u"boc") &&
            !s.SourceOrder.contains(known))
            s.SourceOrder << known;
    }
    if (s.SourceOrder.isEmpty())
        s.SourceOrder = QString::fromLatin1(kDefaultSourceOrder).split(u',');
    s.PortalURL = ini.ReadString(sources, QStringLiteral("PortalURL"), s.PortalURL);
    s.EcbURL = ini.ReadString(sources, QStringLiteral("EcbURL"), s.EcbURL);
    s.BocURL = ini.ReadString(sources, QStringLiteral("BocURL"), s.BocURL);

    s.Pos_X = ini.ReadInteger(kForm, QStringLiteral("Pos_X"), -1);
    s.Pos_Y = ini.ReadInteger(kForm, QStringLiteral("Pos_Y"), -1);
    s.Top = ini.ReadBool(kForm, QStringLiteral("Top"), false);
    return s;
}

QString FormatSettingsReport(const Settings& s) {
    QString out;
    const auto line = [&out](const char* key, const QString& value) {
        out += QLatin1String(key) + u'=' + value + u'\n';
    };
    out += QStringLiteral("[Param]\n");
    line("Interval", QString::number(s.Interval));
    line("LineSpacing", FloatToText(s.LineSpacing));
    line("3D", Flag(s.ThreeD));
    line("ColorMode", QString::number(s.ColorMode));
    line("WaitTimeOut", QString::number(s.WaitTimeOut));
    line("DisplayTime", Flag(s.DisplayTime));
    line("DisplayProgressBar", Flag(s.DisplayProgressBar));
    line("Font", FontToText(s.Font));
    line("HotKey", ShortCutToText(s.HotKey));
    line("AutoPrompt", Flag(s.AutoPrompt));
    line("PromptInterval", QString::number(s.PromptInterval));
    line("UseMonitor", Flag(s.UseMonitor));
    line("MonitorCcy", s.MonitorCcy);
    line("MonitorPrice", FloatToText(static_cast<double>(s.MonitorPrice)));
    line("AlarmSound", Flag(s.AlarmSound));
    line("ProxyType", QString::number(s.ProxyType));
    line("ProxyAddress", s.ProxyAddress);
    line("ProxyPort", s.ProxyPort);
    line("RatesURL", s.RatesURL);
    line("UpdateURL", s.UpdateURL);
    out += QStringLiteral("\n[Sources]\n");
    line("Order", s.SourceOrder.join(u','));
    line("PortalURL", s.PortalURL);
    line("EcbURL", s.EcbURL);
    line("BocURL", s.BocURL);
    out += QStringLiteral("\n[Form]\n");
    line("Alpha", Flag(s.Alpha));
    line("NotRunWeekEnd", Flag(s.NotRunWeekEnd));
    line("Pos_X", QString::number(s.Pos_X));
    line("Pos_Y", QString::number(s.Pos_Y));
    line("Top", Flag(s.Top));
    out += QStringLiteral("\n[Effective]\n");
    line("TicksPerInterval", QString::number(s.TicksPerInterval));
    line("HotKeyModifiers", QString::number(s.HotKeyReg.Modifiers));
    line("HotKeyVirtualKey", QString::number(s.HotKeyReg.VirtualKey));
    line("WaitTimeoutMs", QString::number(s.WaitTimeoutMs));
    line("ProxyAccessType", AccessName(s.AccessType));
    line("ProxyServer", s.ProxyServer);
    line("ProxyPortNumber", QString::number(s.ProxyPortNumber));
    line("Selection", s.Selection.join(u','));
    return out;
}

bool ShouldEndAutomaticStart(const QString& firstArgument, bool notRunWeekEnd, QDate today) {
    if (!notRunWeekEnd || !today.isValid())
        return false;
    const int day = today.dayOfWeek();
    if (day != Qt::Saturday && day != Qt::Sunday)
        return false;
    // Blanks and control characters are everything up to the space.
    qsizetype begin = 0;
    qsizetype end = firstArgument.size();
    while (begin < end && firstArgument.at(begin).unicode() <= u' ')
        ++begin;
    while (end > begin && firstArgument.at(end - 1).unicode() <= u' ')
        --end;
    const QString argument = firstArgument.mid(begin, end - begin).toUpper();
    return argument == u"-AUTO" || argument == u"/AUTO";
}

void SetProxyPasswordLookup(ProxyPasswordLookup lookup) {
    PasswordLookup() = std::move(lookup);
}

QString ReadScrambledText(const TIniFile& ini, const QString& key) {
    const QByteArray bytes = ScrambleText(ini.ReadBytes(kParam, key, {}), kScrambleKey);
    return ini.Encoding() == FileEncoding::Gbk ? FromCp936(bytes) : QString::fromUtf8(bytes);
}

void WriteScrambledText(TIniFile& ini, const QString& key, const QString& text) {
    const QByteArray bytes = ini.Encoding() == FileEncoding::Gbk ? ToCp936(text) : text.toUtf8();
    ini.WriteBytes(kParam, key, ScrambleText(bytes, kScrambleKey));
}

}  // namespace kestrel
