#include "settings/settingsload.h"

#include <QFile>
#include <algorithm>
#include <limits>

#include "net/files.h"
#include "quotes/catalogue.h"
#include "settings/profile.h"
#include "text/encodings.h"

namespace kestrel {

namespace {

// A bound of the table as an int.
int Bound(double value) {
    return static_cast<int>(value);
}

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

QString AccessName(THTTPAccessType access) {
    switch (access) {
        case THTTPAccessType::atDirect:
            return QStringLiteral("atDirect");
        case THTTPAccessType::atUseProxy:
            return QStringLiteral("atUseProxy");
        case THTTPAccessType::atPreconfig:
            break;
    }
    return QStringLiteral("atPreconfig");
}

}  // namespace

bool IsUsableAlias(const QString& shortName) {
    if (shortName.isEmpty() || shortName.toUcs4().size() > kMaxAliasLength)
        return false;
    return std::none_of(shortName.cbegin(), shortName.cend(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

QString CatalogueName(const QString& name) {
    for (const QString& known : InstrumentCatalogue()) {
        if (known.compare(name, Qt::CaseInsensitive) == 0)
            return known;
    }
    return {};
}

QHash<QString, QString> AliasesOf(const Settings& settings) {
    QHash<QString, QString> aliases;
    for (const auto& [name, shortName] : settings.Aliases)
        aliases.insert(name, shortName);
    return aliases;
}

QString InstrumentNamed(const QString& given, const QHash<QString, QString>& aliases) {
    const QString text = given.trimmed();
    if (text.isEmpty())
        return {};
    if (const QString name = CatalogueName(text); !name.isEmpty())
        return name;
    for (const QString& name : InstrumentCatalogue()) {
        if (DisplayName(name) == text || ShownInstrumentName(name) == text ||
            aliases.value(name) == text ||
            InstrumentCode(name).compare(text, Qt::CaseInsensitive) == 0)
            return name;
    }
    return {};
}

QList<std::pair<QString, QString>> ReadAliases(const TIniFile& ini) {
    const QString section = QString::fromLatin1(kAliasesSection);
    QList<std::pair<QString, QString>> aliases;
    QStringList seen;
    for (const QString& key : ini.ReadKeys(section)) {
        const QString name = CatalogueName(key.trimmed());
        if (name.isEmpty() || seen.contains(name))
            continue;
        seen += name;
        const QString shortName = ini.ReadString(section, key, {}).trimmed();
        if (IsUsableAlias(shortName))
            aliases.append({name, shortName});
    }
    return aliases;
}

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
    if (QString reason; !ReplaceFileBytes(ccyPath, bytes, &reason))
        throw CreateFileError(ccyPath, reason);
}

QStringList ParseSourceOrder(const QString& text) {
    QStringList order;
    for (const QString& name : text.split(u',')) {
        const QString known = name.trimmed().toLower();
        if ((known == u"portal" || known == u"ecb" || known == u"boc") && !order.contains(known))
            order << known;
    }
    return order.isEmpty() ? keys::SourceOrder.TextDefault().split(u',') : order;
}

UiLanguage ParseUiLanguage(const QString& text) {
    const QString name = text.trimmed().toLower();
    if (name == u"zh_cn")
        return UiLanguage::Chinese;
    if (name == u"en")
        return UiLanguage::English;
    return UiLanguage::Auto;
}

QString UiLanguageText(UiLanguage language) {
    switch (language) {
        case UiLanguage::Chinese:
            return QStringLiteral("zh_CN");
        case UiLanguage::English:
            return QStringLiteral("en");
        case UiLanguage::Auto:
            break;
    }
    return keys::Language.TextDefault();
}

UiLanguage ReadUiLanguage(const QString& iniPath) {
    return ParseUiLanguage(ReadText(TIniFile::Snapshot(iniPath), keys::Language));
}

Settings LoadSettings(const QString& iniPath, const QString& ccyPath, const FontDesc& windowFont,
                      const QStringList& currentSelection, const QString& currentProxyServer,
                      int currentProxyPort) {
    const TIniFile ini = TIniFile::Snapshot(iniPath);
    Settings s;

    s.Selection = ReadSelectionFile(ccyPath).value_or(currentSelection);
    CheckSelection(s.Selection);

    s.Interval = std::clamp(ReadInteger(ini, keys::Interval), Bound(keys::Interval.LoadMin),
                            Bound(keys::Interval.LoadMax));
    s.TicksPerInterval = s.Interval * kTicksPerSecond;

    s.LineSpacing = ReadFloat(ini, keys::LineSpacing);
    if (!(s.LineSpacing >= keys::LineSpacing.LoadMin && s.LineSpacing <= keys::LineSpacing.LoadMax))
        s.LineSpacing = keys::LineSpacing.Default;

    s.ThreeD = ReadBoolean(ini, keys::ThreeD);
    s.ColorMode = ReadInteger(ini, keys::ColorMode);
    s.WaitTimeOut = ReadInteger(ini, keys::WaitTimeOut);
    s.WaitTimeoutMs = SaturatedProduct(s.WaitTimeOut, 1000);
    s.DisplayTime = ReadBoolean(ini, keys::DisplayTime);
    s.DisplayProgressBar = ReadBoolean(ini, keys::DisplayProgressBar);
    s.ShowChange = ReadBoolean(ini, keys::ShowChange);
    s.ShowArrows = ReadBoolean(ini, keys::ShowArrows);
    s.ShowSparkline = ReadBoolean(ini, keys::ShowSparkline);

    s.Font = ReadFont(ini, keys::Font, DefaultQuoteFont(windowFont));

    s.Alpha = ReadBoolean(ini, keys::Alpha);
    s.NotRunWeekEnd = ReadBoolean(ini, keys::NotRunWeekEnd);

    s.HotKey = ReadHotKey(ini, keys::HotKey);
    if (s.HotKey == 0)
        s.HotKey = kDefaultHotKey;
    s.HotKeyReg = HotKeyValues(s.HotKey);

    s.AutoPrompt = ReadBoolean(ini, keys::AutoPrompt);
    s.PromptInterval = ReadInteger(ini, keys::PromptInterval);
    s.UseMonitor = ReadBoolean(ini, keys::UseMonitor);
    s.MonitorCcy = ReadText(ini, keys::MonitorCcy);
    s.MonitorPrice = ReadFloat(ini, keys::MonitorPrice);
    s.AlarmSound = ReadBoolean(ini, keys::AlarmSound);
    s.AlarmNotify = ReadBoolean(ini, keys::AlarmNotify);
    s.AlarmCommand = ReadText(ini, keys::AlarmCommand);
    const QString alarms = QString::fromLatin1(kAlarmsSection);
    for (int number = 1;; ++number) {
        const QString key = QLatin1String(kAlarmKeyPrefix) + QString::number(number);
        // A missing key reads as whichever default is given; a stored one reads the same.
        const QString line = ini.ReadString(alarms, key, QStringLiteral("0"));
        if (line == u"0" && ini.ReadString(alarms, key, QStringLiteral("1")) == u"1")
            break;
        s.Alarms.append({key, line});
    }
    s.Aliases = ReadAliases(ini);

    s.ProxyType = ReadInteger(ini, keys::ProxyType);
    s.ProxyAddress = ReadText(ini, keys::ProxyAddress);
    s.ProxyPort = ReadText(ini, keys::ProxyPort);
    s.ProxyServer = currentProxyServer;
    s.ProxyPortNumber = currentProxyPort;
    if (s.ProxyType == 0) {
        s.AccessType = THTTPAccessType::atPreconfig;
    } else if (s.ProxyType == 1) {
        s.AccessType = THTTPAccessType::atDirect;
    } else {
        s.AccessType = THTTPAccessType::atUseProxy;
        s.ProxyServer = s.ProxyAddress;
        s.ProxyPortNumber = ParseIntegerText(s.ProxyPort).value_or(kDefaultProxyPort);
        // No port outside TCP's range reaches a proxy; a hand-written one counts as none.
        if (s.ProxyPortNumber < keys::ProxyPort.LoadMin ||
            s.ProxyPortNumber > keys::ProxyPort.LoadMax)
            s.ProxyPortNumber = kDefaultProxyPort;
    }
    s.ProxyUsername = ReadText(ini, keys::ProxyUsername);
    s.ProxyPassword = ReadText(ini, keys::ProxyPassword);
    // The secret store is asked only when a login will be used.
    if (s.AccessType == THTTPAccessType::atUseProxy && !s.ProxyUsername.isEmpty() &&
        s.ProxyPassword.isEmpty() && PasswordLookup())
        s.ProxyPassword = PasswordLookup()(iniPath);

    s.RatesURL = ReadText(ini, keys::RatesURL);
    s.UpdateURL = ReadText(ini, keys::UpdateURL);
    s.UpgradeKeys = ReadText(ini, keys::UpgradeKeys);
    s.Language = ParseUiLanguage(ReadText(ini, keys::Language));
    s.HistoryDays = ReadInteger(ini, keys::HistoryDays);
    if (s.HistoryDays < keys::HistoryDays.LoadMin || s.HistoryDays > keys::HistoryDays.LoadMax)
        s.HistoryDays = keys::HistoryDays.IntegerDefault();

    s.SourceOrder = ParseSourceOrder(ReadText(ini, keys::SourceOrder));
    s.PortalURL = ReadText(ini, keys::PortalURL);
    s.EcbURL = ReadText(ini, keys::EcbURL);
    s.BocURL = ReadText(ini, keys::BocURL);

    s.Pos_X = ReadInteger(ini, keys::PosX);
    s.Pos_Y = ReadInteger(ini, keys::PosY);
    s.Top = ReadBoolean(ini, keys::Top);
    s.ChartPlace = ReadChartPlace(ini);
    return s;
}

QRect ReadChartPlace(const TIniFile& ini) {
    const auto bounded = [&ini](const SettingKey& key) {
        return std::clamp(ReadInteger(ini, key), Bound(key.LoadMin), Bound(key.LoadMax));
    };
    return QRect(ReadInteger(ini, keys::ChartPosX), ReadInteger(ini, keys::ChartPosY),
                 bounded(keys::ChartWidth), bounded(keys::ChartHeight));
}

namespace {

// The loaded value of a reported key, as the settings file encodes it.
QString ReportedValue(const Settings& s, const SettingKey& key) {
    const std::pair<const SettingKey*, QString> values[] = {
        {&keys::Interval, QString::number(s.Interval)},
        {&keys::LineSpacing, FloatToText(s.LineSpacing)},
        {&keys::ThreeD, Flag(s.ThreeD)},
        {&keys::ColorMode, QString::number(s.ColorMode)},
        {&keys::WaitTimeOut, QString::number(s.WaitTimeOut)},
        {&keys::DisplayTime, Flag(s.DisplayTime)},
        {&keys::DisplayProgressBar, Flag(s.DisplayProgressBar)},
        {&keys::ShowChange, Flag(s.ShowChange)},
        {&keys::ShowArrows, Flag(s.ShowArrows)},
        {&keys::ShowSparkline, Flag(s.ShowSparkline)},
        {&keys::Font, FontToText(s.Font)},
        {&keys::HotKey, ShortCutToText(s.HotKey)},
        {&keys::AutoPrompt, Flag(s.AutoPrompt)},
        {&keys::PromptInterval, QString::number(s.PromptInterval)},
        {&keys::UseMonitor, Flag(s.UseMonitor)},
        {&keys::MonitorCcy, s.MonitorCcy},
        {&keys::MonitorPrice, FloatToText(static_cast<double>(s.MonitorPrice))},
        {&keys::AlarmSound, Flag(s.AlarmSound)},
        {&keys::AlarmNotify, Flag(s.AlarmNotify)},
        {&keys::AlarmCommand, s.AlarmCommand},
        {&keys::ProxyType, QString::number(s.ProxyType)},
        {&keys::ProxyAddress, s.ProxyAddress},
        {&keys::ProxyPort, s.ProxyPort},
        {&keys::RatesURL, s.RatesURL},
        {&keys::UpdateURL, s.UpdateURL},
        {&keys::HistoryDays, QString::number(s.HistoryDays)},
        {&keys::SourceOrder, s.SourceOrder.join(u',')},
        {&keys::PortalURL, s.PortalURL},
        {&keys::EcbURL, s.EcbURL},
        {&keys::BocURL, s.BocURL},
        {&keys::Alpha, Flag(s.Alpha)},
        {&keys::NotRunWeekEnd, Flag(s.NotRunWeekEnd)},
        {&keys::PosX, QString::number(s.Pos_X)},
        {&keys::PosY, QString::number(s.Pos_Y)},
        {&keys::Top, Flag(s.Top)},
        {&keys::ChartPosX, QString::number(s.ChartPlace.x())},
        {&keys::ChartPosY, QString::number(s.ChartPlace.y())},
        {&keys::ChartWidth, QString::number(s.ChartPlace.width())},
        {&keys::ChartHeight, QString::number(s.ChartPlace.height())},
    };
    for (const auto& [k, value] : values) {
        if (k == &key)
            return value;
    }
    Q_ASSERT_X(false, "ReportedValue", key.Name);
    return {};
}

}  // namespace

QString FormatSettingsReport(const Settings& s) {
    QString out;
    const auto line = [&out](const char* key, const QString& value) {
        out += QLatin1String(key) + u'=' + value + u'\n';
    };
    const char* section = nullptr;
    for (const SettingKey* key : kSettingKeys) {
        if (!key->Reported)
            continue;
        if (!section || qstrcmp(section, key->Section) != 0) {
            section = key->Section;
            out += QLatin1String(out.isEmpty() ? "[" : "\n[") + QLatin1String(section) +
                   QLatin1String("]\n");
        }
        line(key->Name, ReportedValue(s, *key));
    }
    if (!s.Alarms.isEmpty()) {
        out += u'\n' + QLatin1String("[") + QLatin1String(kAlarmsSection) + QLatin1String("]\n");
        for (const auto& [key, value] : s.Alarms)
            out += key + u'=' + value + u'\n';
    }
    if (!s.Aliases.isEmpty()) {
        out += u'\n' + QLatin1String("[") + QLatin1String(kAliasesSection) + QLatin1String("]\n");
        for (const auto& [name, shortName] : s.Aliases)
            out += name + u'=' + shortName + u'\n';
    }
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

}  // namespace kestrel
