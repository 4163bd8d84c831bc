// Every key of the settings file in one table: its section, name, type, default and limits, and
// whether it is scrambled. The loader, the settings dialog, the window placement and
// `kestrel --show-settings` all take keys and defaults from here, so that a default changed
// here is changed for all of them.
#pragma once

#include <QString>
#include <limits>

#include "settings/fonttext.h"
#include "settings/hotkeytext.h"
#include "settings/profile.h"

namespace kestrel {

enum class KeyType {
    Integer,
    Boolean,
    Float,
    Text,
    Font,    // font text; its default is the window's font made bold and olive
    HotKey,  // hot key text; the default is a shortcut value
};

inline constexpr int kTicksPerSecond = 10;  // the refresh timer ticks every 100 ms

struct SettingKey {
    const char* Section;
    const char* Name;
    KeyType Type;
    double Default = 0;            // integer, boolean, float and hot-key keys
    const char* DefaultText = "";  // text keys
    // What the dialog's control lets the user enter; equal: no bounds.
    double Min = 0;
    double Max = 0;
    // What the loader takes; a value outside is corrected (how, the loader says).
    double LoadMin = -std::numeric_limits<double>::infinity();
    double LoadMax = std::numeric_limits<double>::infinity();
    bool Scrambled = false;  // stored as scrambled bytes in the file's own encoding
    // Left out of `kestrel --show-settings`: the proxy login and the trusted publishing keys.
    bool Reported = true;

    QString SectionText() const { return QString::fromLatin1(Section); }
    QString NameText() const { return QString::fromLatin1(Name); }
    constexpr int IntegerDefault() const { return static_cast<int>(Default); }
    constexpr bool BooleanDefault() const { return Default != 0; }
    QString TextDefault() const { return QString::fromUtf8(DefaultText); }
};

namespace keys {

// [Param]
inline constexpr SettingKey Interval{.Section = "Param",
                                     .Name = "Interval",
                                     .Type = KeyType::Integer,
                                     .Default = 10,
                                     .Min = 5,
                                     .Max = 600,
                                     // Below one second the ticker would download without
                                     // pause; above the top the countdown length overflows.
                                     .LoadMin = 1,
                                     .LoadMax = std::numeric_limits<int>::max() / kTicksPerSecond};
inline constexpr SettingKey LineSpacing{.Section = "Param",
                                        .Name = "LineSpacing",
                                        .Type = KeyType::Float,
                                        .Default = 1,
                                        .Min = 0.5,
                                        .Max = 3,
                                        .LoadMin = 0.1,
                                        .LoadMax = 3};
inline constexpr SettingKey ThreeD{.Section = "Param", .Name = "3D", .Type = KeyType::Boolean};
// 0 红跌绿涨, 1 红涨绿跌, 2 蓝涨橙跌, 3 低调 (uncoloured).
inline constexpr SettingKey ColorMode{
    .Section = "Param", .Name = "ColorMode", .Type = KeyType::Integer, .Min = 0, .Max = 3};
inline constexpr SettingKey WaitTimeOut{
    .Section = "Param", .Name = "WaitTimeOut", .Type = KeyType::Integer, .Default = 5};
inline constexpr SettingKey DisplayTime{
    .Section = "Param", .Name = "DisplayTime", .Type = KeyType::Boolean, .Default = 1};
inline constexpr SettingKey DisplayProgressBar{
    .Section = "Param", .Name = "DisplayProgressBar", .Type = KeyType::Boolean, .Default = 1};
// The change and percent since the previous close on each quote line.
inline constexpr SettingKey ShowChange{
    .Section = "Param", .Name = "ShowChange", .Type = KeyType::Boolean};
// ▲, ▼ or － before each price.
inline constexpr SettingKey ShowArrows{
    .Section = "Param", .Name = "ShowArrows", .Type = KeyType::Boolean};
// A small curve of the last hours at the end of each quote line.
inline constexpr SettingKey ShowSparkline{
    .Section = "Param", .Name = "ShowSparkline", .Type = KeyType::Boolean};
inline constexpr SettingKey Font{.Section = "Param", .Name = "Font", .Type = KeyType::Font};
inline constexpr SettingKey HotKey{
    .Section = "Param", .Name = "HotKey", .Type = KeyType::HotKey, .Default = VK_F8};
inline constexpr SettingKey AutoPrompt{
    .Section = "Param", .Name = "AutoPrompt", .Type = KeyType::Boolean, .Default = 1};
inline constexpr SettingKey PromptInterval{.Section = "Param",
                                           .Name = "PromptInterval",
                                           .Type = KeyType::Integer,
                                           .Default = 10,
                                           .Min = 1,
                                           .Max = 999};
inline constexpr SettingKey UseMonitor{
    .Section = "Param", .Name = "UseMonitor", .Type = KeyType::Boolean};
inline constexpr SettingKey MonitorCcy{
    .Section = "Param", .Name = "MonitorCcy", .Type = KeyType::Text};
inline constexpr SettingKey MonitorPrice{
    .Section = "Param", .Name = "MonitorPrice", .Type = KeyType::Float};
inline constexpr SettingKey AlarmSound{
    .Section = "Param", .Name = "AlarmSound", .Type = KeyType::Boolean};
// A desktop notification when an alarm rule fires.
inline constexpr SettingKey AlarmNotify{
    .Section = "Param", .Name = "AlarmNotify", .Type = KeyType::Boolean, .Default = 1};
// A command run when an alarm rule fires; empty: none.
inline constexpr SettingKey AlarmCommand{
    .Section = "Param", .Name = "AlarmCommand", .Type = KeyType::Text};
// 0: the system's proxy, 1: none, anything else: ProxyAddress:ProxyPort.
inline constexpr SettingKey ProxyType{
    .Section = "Param", .Name = "ProxyType", .Type = KeyType::Integer};
inline constexpr SettingKey ProxyAddress{
    .Section = "Param", .Name = "ProxyAddress", .Type = KeyType::Text};
// Text as typed; the loader reads a port in TCP's range from it, else 8080.
inline constexpr SettingKey ProxyPort{.Section = "Param",
                                      .Name = "ProxyPort",
                                      .Type = KeyType::Text,
                                      .Default = 8080,
                                      .LoadMin = 1,
                                      .LoadMax = 65535};
inline constexpr SettingKey ProxyUsername{.Section = "Param",
                                          .Name = "ProxyUsername",
                                          .Type = KeyType::Text,
                                          .Scrambled = true,
                                          .Reported = false};
inline constexpr SettingKey ProxyPassword{.Section = "Param",
                                          .Name = "ProxyPassword",
                                          .Type = KeyType::Text,
                                          .Scrambled = true,
                                          .Reported = false};
// Empty: no rates page, the ticker reads the public feeds itself.
inline constexpr SettingKey RatesURL{.Section = "Param", .Name = "RatesURL", .Type = KeyType::Text};
// The upgrade information file.
inline constexpr SettingKey UpdateURL{
    .Section = "Param",
    .Name = "UpdateURL",
    .Type = KeyType::Text,
    .DefaultText = "https://kestrel.example.org/kestrelmv/kestrelmv.inf"};
// Publishing keys trusted besides the built-in one, ";"-separated.
inline constexpr SettingKey UpgradeKeys{
    .Section = "Param", .Name = "UpgradeKeys", .Type = KeyType::Text, .Reported = false};

// Days of one-minute bars the price history keeps; 0: no history. A value outside the limits is
// the default.
inline constexpr SettingKey HistoryDays{.Section = "Param",
                                        .Name = "HistoryDays",
                                        .Type = KeyType::Integer,
                                        .Default = 30,
                                        .LoadMin = 0,
                                        .LoadMax = 365};

// The language of the windows: auto (the desktop's), zh_CN or en; read at start-up, before the
// window, and neither in the table below nor in `kestrel --show-settings`.
inline constexpr SettingKey Language{.Section = "Param",
                                     .Name = "Language",
                                     .Type = KeyType::Text,
                                     .DefaultText = "auto",
                                     .Reported = false};

// [Sources], the feeds read when RatesURL is empty
inline constexpr SettingKey SourceOrder{
    .Section = "Sources", .Name = "Order", .Type = KeyType::Text, .DefaultText = "portal,ecb"};
inline constexpr SettingKey PortalURL{.Section = "Sources",
                                      .Name = "PortalURL",
                                      .Type = KeyType::Text,
                                      .DefaultText = "https://hq.sinajs.cn/list="};
inline constexpr SettingKey EcbURL{
    .Section = "Sources",
    .Name = "EcbURL",
    .Type = KeyType::Text,
    .DefaultText = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml"};
inline constexpr SettingKey BocURL{.Section = "Sources",
                                   .Name = "BocURL",
                                   .Type = KeyType::Text,
                                   .DefaultText = "https://www.boc.cn/sourcedb/whpj/"};

// [Form]
inline constexpr SettingKey Alpha{.Section = "Form", .Name = "Alpha", .Type = KeyType::Boolean};
inline constexpr SettingKey NotRunWeekEnd{
    .Section = "Form", .Name = "NotRunWeekEnd", .Type = KeyType::Boolean};
// Negative or beyond the screen: no stored position.
inline constexpr SettingKey PosX{
    .Section = "Form", .Name = "Pos_X", .Type = KeyType::Integer, .Default = -1};
inline constexpr SettingKey PosY{
    .Section = "Form", .Name = "Pos_Y", .Type = KeyType::Integer, .Default = -1};
inline constexpr SettingKey Top{.Section = "Form", .Name = "Top", .Type = KeyType::Boolean};

// [Chart], the chart windows' last place and size; no stored position (negative) or one off the
// screens places a chart beside the ticker.
inline constexpr SettingKey ChartPosX{
    .Section = "Chart", .Name = "Pos_X", .Type = KeyType::Integer, .Default = -1};
inline constexpr SettingKey ChartPosY{
    .Section = "Chart", .Name = "Pos_Y", .Type = KeyType::Integer, .Default = -1};
inline constexpr SettingKey ChartWidth{.Section = "Chart",
                                       .Name = "Width",
                                       .Type = KeyType::Integer,
                                       .Default = 720,
                                       .LoadMin = 320,
                                       .LoadMax = 8192};
inline constexpr SettingKey ChartHeight{.Section = "Chart",
                                        .Name = "Height",
                                        .Type = KeyType::Integer,
                                        .Default = 420,
                                        .LoadMin = 240,
                                        .LoadMax = 8192};

}  // namespace keys

// The whole table, in the order of the file's sections.
inline constexpr const SettingKey* kSettingKeys[] = {
    &keys::Interval,
    &keys::LineSpacing,
    &keys::ThreeD,
    &keys::ColorMode,
    &keys::WaitTimeOut,
    &keys::DisplayTime,
    &keys::DisplayProgressBar,
    &keys::ShowChange,
    &keys::ShowArrows,
    &keys::ShowSparkline,
    &keys::Font,
    &keys::HotKey,
    &keys::AutoPrompt,
    &keys::PromptInterval,
    &keys::UseMonitor,
    &keys::MonitorCcy,
    &keys::MonitorPrice,
    &keys::AlarmSound,
    &keys::AlarmNotify,
    &keys::AlarmCommand,
    &keys::ProxyType,
    &keys::ProxyAddress,
    &keys::ProxyPort,
    &keys::ProxyUsername,
    &keys::ProxyPassword,
    &keys::RatesURL,
    &keys::UpdateURL,
    &keys::UpgradeKeys,
    &keys::HistoryDays,
    &keys::SourceOrder,
    &keys::PortalURL,
    &keys::EcbURL,
    &keys::BocURL,
    &keys::Alpha,
    &keys::NotRunWeekEnd,
    &keys::PosX,
    &keys::PosY,
    &keys::Top,
    &keys::ChartPosX,
    &keys::ChartPosY,
    &keys::ChartWidth,
    &keys::ChartHeight,
};

// [Alarms]: the rules, one key each, numbered from 1 without gaps.
inline constexpr char kAlarmsSection[] = "Alarms";
inline constexpr char kAlarmKeyPrefix[] = "Alarm";

// The hot key used when the stored one names no key.
inline constexpr quint16 kDefaultHotKey = static_cast<quint16>(keys::HotKey.Default);
// The proxy port used when the stored one is empty or out of range.
inline constexpr int kDefaultProxyPort = static_cast<int>(keys::ProxyPort.Default);

// Reading and writing a key under its section and name; a missing or unreadable value reads as
// the key's default. A text key that is scrambled is unscrambled on reading and scrambled on
// writing.
int ReadInteger(const TIniFile& ini, const SettingKey& key);
bool ReadBoolean(const TIniFile& ini, const SettingKey& key);
double ReadFloat(const TIniFile& ini, const SettingKey& key);
QString ReadText(const TIniFile& ini, const SettingKey& key);
// The stored font applied over base, the default quote font the caller derived.
FontDesc ReadFont(const TIniFile& ini, const SettingKey& key, FontDesc base);
// 0 when the stored text names no key.
quint16 ReadHotKey(const TIniFile& ini, const SettingKey& key);

// Into an edit, written with the edit's other keys at its Commit.
void WriteInteger(TIniEdit& edit, const SettingKey& key, int value);
void WriteBoolean(TIniEdit& edit, const SettingKey& key, bool value);
void WriteFloat(TIniEdit& edit, const SettingKey& key, double value);
void WriteText(TIniEdit& edit, const SettingKey& key, const QString& value);
void WriteFont(TIniEdit& edit, const SettingKey& key, const FontDesc& value);
void WriteHotKey(TIniEdit& edit, const SettingKey& key, quint16 value);

// Param/ProxyUsername and Param/ProxyPassword by name: scrambled bytes in the file's own
// encoding.
QString ReadScrambledText(const TIniFile& ini, const QString& key);
void WriteScrambledText(TIniEdit& edit, const QString& key, const QString& text);
void WriteScrambledText(TIniFile& ini, const QString& key, const QString& text);

}  // namespace kestrel
