#include "settings/settingskeys.h"

#include "settings/scrambler.h"
#include "text/encodings.h"

namespace kestrel {

int ReadInteger(const TIniFile& ini, const SettingKey& key) {
    Q_ASSERT(key.Type == KeyType::Integer);
    return ini.ReadInteger(key.SectionText(), key.NameText(), key.IntegerDefault());
}

bool ReadBoolean(const TIniFile& ini, const SettingKey& key) {
    Q_ASSERT(key.Type == KeyType::Boolean);
    return ini.ReadBool(key.SectionText(), key.NameText(), key.BooleanDefault());
}

double ReadFloat(const TIniFile& ini, const SettingKey& key) {
    Q_ASSERT(key.Type == KeyType::Float);
    return ini.ReadFloat(key.SectionText(), key.NameText(), key.Default);
}

QString ReadText(const TIniFile& ini, const SettingKey& key) {
    Q_ASSERT(key.Type == KeyType::Text);
    if (key.Scrambled)
        return ReadScrambledText(ini, key.NameText());
    return ini.ReadString(key.SectionText(), key.NameText(), key.TextDefault());
}

FontDesc ReadFont(const TIniFile& ini, const SettingKey& key, FontDesc base) {
    Q_ASSERT(key.Type == KeyType::Font);
    TextToFont(ini.ReadString(key.SectionText(), key.NameText(), FontToText(base)), base);
    return base;
}

quint16 ReadHotKey(const TIniFile& ini, const SettingKey& key) {
    Q_ASSERT(key.Type == KeyType::HotKey);
    return TextToShortCut(ini.ReadString(key.SectionText(), key.NameText(),
                                         ShortCutToText(static_cast<quint16>(key.Default))));
}

void WriteInteger(TIniFile& ini, const SettingKey& key, int value) {
    Q_ASSERT(key.Type == KeyType::Integer);
    ini.WriteInteger(key.SectionText(), key.NameText(), value);
}

void WriteBoolean(TIniFile& ini, const SettingKey& key, bool value) {
    Q_ASSERT(key.Type == KeyType::Boolean);
    ini.WriteBool(key.SectionText(), key.NameText(), value);
}

void WriteFloat(TIniFile& ini, const SettingKey& key, double value) {
    Q_ASSERT(key.Type == KeyType::Float);
    ini.WriteFloat(key.SectionText(), key.NameText(), value);
}

void WriteText(TIniFile& ini, const SettingKey& key, const QString& value) {
    Q_ASSERT(key.Type == KeyType::Text);
    if (key.Scrambled)
        WriteScrambledText(ini, key.NameText(), value);
    else
        ini.WriteString(key.SectionText(), key.NameText(), value);
}

void WriteFont(TIniFile& ini, const SettingKey& key, const FontDesc& value) {
    Q_ASSERT(key.Type == KeyType::Font);
    ini.WriteString(key.SectionText(), key.NameText(), FontToText(value));
}

void WriteHotKey(TIniFile& ini, const SettingKey& key, quint16 value) {
    Q_ASSERT(key.Type == KeyType::HotKey);
    ini.WriteString(key.SectionText(), key.NameText(), ShortCutToText(value));
}

QString ReadScrambledText(const TIniFile& ini, const QString& key) {
    const QByteArray bytes =
        ScrambleText(ini.ReadBytes(keys::ProxyUsername.SectionText(), key, {}), kScrambleKey);
    return ini.Encoding() == FileEncoding::Gbk ? FromCp936(bytes) : QString::fromUtf8(bytes);
}

void WriteScrambledText(TIniFile& ini, const QString& key, const QString& text) {
    const QByteArray bytes = ini.Encoding() == FileEncoding::Gbk ? ToCp936(text) : text.toUtf8();
    ini.WriteBytes(keys::ProxyUsername.SectionText(), key, ScrambleText(bytes, kScrambleKey));
}

}  // namespace kestrel
