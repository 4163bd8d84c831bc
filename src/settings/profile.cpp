#include "settings/profile.h"

#include <QFile>
#include <QList>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <utility>

#include "net/files.h"
#include "text/encodings.h"
#include "text/numbertext.h"

namespace kestrel {

WriteError::WriteError(const QString& path)
    : WriteError(path, QStringLiteral("Unable to write to %1").arg(path)) {}

WriteError::WriteError(const QString& path, const QString& message)
    : std::runtime_error(message.toStdString()), path_(path) {}

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray TrimBlanks(QByteArrayView bytes) {
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && IsBlank(bytes[begin]))
        ++begin;
    while (end > begin && IsBlank(bytes[end - 1]))
        --end;
    return bytes.sliced(begin, end - begin).toByteArray();
}

bool IsQuoted(const QByteArray& bytes) {
    return bytes.size() >= 2 && (bytes.front() == '"' || bytes.front() == '\'') &&
           bytes.back() == bytes.front();
}

bool IsAscii(const QByteArray& bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

QByteArray EncodeText(FileEncoding encoding, const QString& text) {
    return encoding == FileEncoding::Gbk ? ToCp936(text) : text.toUtf8();
}

// One line of the file: its bytes without the line end, and the line end it had.
struct Line {
    QByteArray text;
    QByteArray end;
};

// The file as lines of bytes. Its encoding only matters for decoding names and text values.
struct IniBytes {
    QList<Line> lines;
    FileEncoding encoding = FileEncoding::Gbk;

    QString Decode(const QByteArray& bytes) const {
        return encoding == FileEncoding::Gbk ? FromCp936(bytes) : QString::fromUtf8(bytes);
    }
    QByteArray Encode(const QString& text) const { return EncodeText(encoding, text); }
};

IniBytes ParseBytes(QByteArray bytes) {
    IniBytes ini;
    if (bytes.startsWith(kUtf8Bom)) {
        // A BOM settles the question even when a scrambled value is not valid UTF-8.
        ini.encoding = FileEncoding::Utf8Bom;
        bytes.remove(0, kUtf8Bom.size());
    } else {
        ini.encoding = DecodeFileBytes(bytes).encoding;
    }
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        const qsizetype endLength = (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
        ini.lines.append({bytes.mid(start, i - start), bytes.mid(i, endLength)});
        i += endLength - 1;
        start = i + 1;
    }
    if (start < n)
        ini.lines.append({bytes.mid(start), {}});
    return ini;
}

enum class ReadMode { ForReading, ForWriting };

// A missing file is empty. An existing file that cannot be read is empty for reading, but
// must not be overwritten by a write that would lose its contents.
IniBytes LoadFile(const QString& path, ReadMode mode) {
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        if (mode == ReadMode::ForWriting)
            throw WriteError(path);
        return {};
    }
    return ParseBytes(file.readAll());
}

std::optional<QByteArray> SectionName(const QByteArray& line) {
    const QByteArray t = TrimBlanks(line);
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.indexOf(']');
    return TrimBlanks(QByteArrayView(t).sliced(1, (close < 0 ? t.size() : close) - 1));
}

// Index of '=' in a key line, or -1 for comments, headers and lines without a key.
qsizetype EqualsIndex(const QByteArray& line) {
    const QByteArray t = TrimBlanks(line);
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('['))
        return -1;
    return line.indexOf('=');
}

bool SameName(const IniBytes& ini, const QByteArray& bytes, const QString& name) {
    return ini.Decode(bytes).compare(name, Qt::CaseInsensitive) == 0;
}

struct Location {
    qsizetype header = -1;   // the section's header line
    qsizetype lastKey = -1;  // the last key line of the section
    qsizetype key = -1;      // the key's line
};

// The first section of that name and the first key of that name in it, as the profile
// functions have always matched them.
Location Find(const IniBytes& ini, const QString& section, const QString& key) {
    Location at;
    bool inSection = false;
    for (qsizetype i = 0; i < ini.lines.size(); ++i) {
        const QByteArray& text = ini.lines[i].text;
        if (const auto name = SectionName(text)) {
            if (inSection)
                break;
            inSection = SameName(ini, *name, section);
            if (inSection)
                at.header = i;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = EqualsIndex(text);
        if (eq < 0)
            continue;
        at.lastKey = i;
        if (at.key < 0 && SameName(ini, TrimBlanks(QByteArrayView(text).first(eq)), key)) {
            at.key = i;
        }
    }
    return at;
}

std::optional<QByteArray> ReadValue(const IniBytes& ini, const QString& section,
                                    const QString& key) {
    const Location at = Find(ini, section, key);
    if (at.key < 0)
        return std::nullopt;
    const QByteArray& text = ini.lines[at.key].text;
    QByteArray value = TrimBlanks(QByteArrayView(text).sliced(text.indexOf('=') + 1));
    if (IsQuoted(value))
        value = value.mid(1, value.size() - 2);
    return value;
}

QByteArray QuoteIfNeeded(const QByteArray& value) {
    if (value.isEmpty())
        return value;
    if (IsBlank(value.front()) || IsBlank(value.back()) || IsQuoted(value)) {
        return '"' + value + '"';
    }
    return value;
}

// Replaces the key where it stands, or adds it at the end of its section (a new section at the
// end of the file).
void SetValue(IniBytes& ini, const QByteArray& lineEnd, const QString& section, const QString& key,
              const QByteArray& value) {
    const Location at = Find(ini, section, key);
    if (at.key >= 0) {
        QByteArray& text = ini.lines[at.key].text;
        text = text.left(text.indexOf('=') + 1) + QuoteIfNeeded(value);
        return;
    }
    const Line keyLine{ini.Encode(key) + '=' + QuoteIfNeeded(value), lineEnd};
    if (at.header >= 0) {
        const qsizetype after = at.lastKey >= 0 ? at.lastKey : at.header;
        if (ini.lines[after].end.isEmpty())
            ini.lines[after].end = lineEnd;
        ini.lines.insert(after + 1, keyLine);
        return;
    }
    if (!ini.lines.isEmpty()) {
        if (ini.lines.back().end.isEmpty())
            ini.lines.back().end = lineEnd;
        if (!TrimBlanks(ini.lines.back().text).isEmpty())
            ini.lines.append({{}, lineEnd});
    }
    ini.lines.append({'[' + ini.Encode(section) + ']', lineEnd});
    ini.lines.append(keyLine);
}

// Removes every line of the key from the first section of that name, which reads see; false
// when there was none.
bool EraseValue(IniBytes& ini, const QString& section, const QString& key) {
    bool inSection = false;
    bool seen = false;
    bool erased = false;
    for (qsizetype i = 0; i < ini.lines.size();) {
        const QByteArray& text = ini.lines[i].text;
        if (const auto name = SectionName(text)) {
            if (seen)
                break;
            inSection = seen = SameName(ini, *name, section);
            ++i;
            continue;
        }
        const qsizetype eq = inSection ? EqualsIndex(text) : -1;
        if (eq >= 0 && SameName(ini, TrimBlanks(QByteArrayView(text).first(eq)), key)) {
            ini.lines.removeAt(i);
            erased = true;
            continue;
        }
        ++i;
    }
    return erased;
}

// Replaces, adds or removes the keys, in their order, in a single replacement of the file.
void WriteValues(const QString& path, const QList<TIniEdit::Value>& values) {
    IniBytes ini = LoadFile(path, ReadMode::ForWriting);
    QByteArray lineEnd("\r\n");
    for (const Line& line : ini.lines) {
        if (!line.end.isEmpty()) {
            lineEnd = line.end;
            break;
        }
    }
    bool changed = false;
    for (const TIniEdit::Value& entry : values) {
        if (!entry.encode) {
            changed = EraseValue(ini, entry.section, entry.key) || changed;
            continue;
        }
        const QByteArray value = entry.encode(ini.encoding);
        if (value.contains('\r') || value.contains('\n') || value.contains('\0')) {
            throw WriteError(path);
        }
        SetValue(ini, lineEnd, entry.section, entry.key, value);
        changed = true;
    }
    if (!changed)
        return;

    QByteArray out;
    for (const Line& line : ini.lines)
        out += line.text + line.end;
    // Bytes that are not UTF-8 in a UTF-8 file would make it read as GBK next time.
    if (ini.encoding == FileEncoding::Utf8Bom ||
        (ini.encoding == FileEncoding::Utf8 && !IsAscii(out) &&
         DecodeFileBytes(out).encoding == FileEncoding::Gbk)) {
        out.prepend(kUtf8Bom);
    }
    if (!ReplaceFileBytes(path, out))
        throw WriteError(path);
}

}  // namespace

struct TIniFile::Contents {
    IniBytes ini;
};

namespace {

IniBytes ReadNow(const QString& path, const std::shared_ptr<const TIniFile::Contents>& held) {
    return held ? held->ini : LoadFile(path, ReadMode::ForReading);
}

}  // namespace

TIniFile TIniFile::Snapshot(const QString& fileName) {
    TIniFile ini(fileName);
    ini.held_ =
        std::make_shared<const Contents>(Contents{LoadFile(fileName, ReadMode::ForReading)});
    return ini;
}

FileEncoding TIniFile::Encoding() const {
    return ReadNow(fileName_, held_).encoding;
}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
    const IniBytes ini = ReadNow(fileName_, held_);
    const auto value = ReadValue(ini, section, key);
    if (!value)
        return defaultValue;
    const QString text = ini.Decode(*value);
    qsizetype length = std::min<qsizetype>(text.size(), kMaxValueLength);
    // Never keep half of a surrogate pair.
    if (length < text.size() && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    return ParseIntegerText(ReadString(section, key, {})).value_or(defaultValue);
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(const QString& section, const QString& key, double defaultValue) const {
    return PlainNumberValue(ReadString(section, key, {})).value_or(defaultValue);
}

QByteArray TIniFile::ReadBytes(const QString& section, const QString& key,
                               const QByteArray& defaultValue) const {
    const auto value = ReadValue(ReadNow(fileName_, held_), section, key);
    return value ? value->left(kMaxValueLength) : defaultValue;
}

QStringList TIniFile::ReadKeys(const QString& section) const {
    const IniBytes ini = ReadNow(fileName_, held_);
    const Location at = Find(ini, section, {});
    QStringList names;
    if (at.header < 0)
        return names;
    for (qsizetype i = at.header + 1; i <= at.lastKey; ++i) {
        const QByteArray& text = ini.lines[i].text;
        if (const qsizetype eq = EqualsIndex(text); eq >= 0)
            names += ini.Decode(TrimBlanks(QByteArrayView(text).first(eq)));
    }
    return names;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    TIniEdit edit(*this);
    edit.WriteString(section, key, value);
    edit.Commit();
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteIntegers(const QString& section, const QList<std::pair<QString, int>>& values) {
    TIniEdit edit(*this);
    for (const auto& [key, value] : values)
        edit.WriteInteger(section, key, value);
    edit.Commit();
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::WriteFloat(const QString& section, const QString& key, double value) {
    WriteString(section, key, FloatToText(value));
}

void TIniFile::WriteBytes(const QString& section, const QString& key, const QByteArray& value) {
    TIniEdit edit(*this);
    edit.WriteBytes(section, key, value);
    edit.Commit();
}

void TIniEdit::Add(const QString& section, const QString& key,
                   std::function<QByteArray(FileEncoding)> encode) {
    values_.append({section, key, std::move(encode)});
}

void TIniEdit::WriteString(const QString& section, const QString& key, const QString& value) {
    Add(section, key, [value](FileEncoding encoding) { return EncodeText(encoding, value); });
}

void TIniEdit::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniEdit::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniEdit::WriteFloat(const QString& section, const QString& key, double value) {
    WriteString(section, key, FloatToText(value));
}

void TIniEdit::WriteBytes(const QString& section, const QString& key, const QByteArray& value) {
    Add(section, key, [value](FileEncoding) { return value; });
}

void TIniEdit::WriteTextBytes(const QString& section, const QString& key, const QString& text,
                              TextBytes makeValue) {
    Add(section, key, [text, makeValue = std::move(makeValue)](FileEncoding encoding) {
        return makeValue(EncodeText(encoding, text));
    });
}

void TIniEdit::EraseKey(const QString& section, const QString& key) {
    Add(section, key, {});
}

void TIniEdit::Commit() {
    if (values_.isEmpty())
        return;
    ini_.held_.reset();
    WriteValues(ini_.fileName_, std::exchange(values_, {}));
}

std::optional<int> ParseIntegerText(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+'))
        negative = t[i++] == u'-';
    int base = 10;
    if (t.mid(i, 1) == u"$") {
        base = 16;
        i += 1;
    } else if (t.mid(i, 2).compare(u"0x", Qt::CaseInsensitive) == 0) {
        base = 16;
        i += 2;
    }
    const QString digits = t.mid(i);
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        const bool decimal = u >= u'0' && u <= u'9';
        const bool hex = decimal || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
        if (!(base == 10 ? decimal : hex))
            return std::nullopt;
    }
    bool ok = false;
    const qulonglong magnitude = digits.toULongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    if (base == 16) {
        // Up to 32 bits, taken as they stand: $FFFFFFFF is -1.
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
        const auto bits = static_cast<qint32>(static_cast<quint32>(magnitude));
        if (negative)
            return bits == std::numeric_limits<qint32>::min() ? bits : -bits;
        return bits;
    }
    const qlonglong signedValue =
        negative ? -static_cast<qlonglong>(magnitude) : static_cast<qlonglong>(magnitude);
    if (magnitude > 0x80000000ull || signedValue < std::numeric_limits<int>::min() ||
        signedValue > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(signedValue);
}

QString FloatToText(double value) {
    if (!std::isfinite(value))
        return QString::number(value);
    if (value == 0)
        return QStringLiteral("0");
    // The fewest significant digits (at most 15) that give back the value rounded to 15.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    const double target = std::strtod(buffer, nullptr);
    int precision = 1;
    for (; precision < 15; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, value);
        if (std::strtod(buffer, nullptr) == target)
            break;
    }
    std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, value);
    const QString scientific = QString::fromLatin1(buffer);
    const qsizetype e = scientific.indexOf(u'e');
    const int exponent = scientific.mid(e + 1).toInt();
    QString mantissa = scientific.left(e);
    const bool negative = mantissa.startsWith(u'-');
    if (negative)
        mantissa.remove(0, 1);
    const QString digits = QString(mantissa).remove(u'.');

    QString result;
    if (exponent < -4 || exponent >= 15) {
        // The exponent without leading zeros, as the file has always held it: 1E-5.
        result = mantissa + QLatin1String(exponent < 0 ? "E-" : "E+") +
                 QString::number(std::abs(exponent));
    } else if (exponent < 0) {
        result = QStringLiteral("0.") + QString(-exponent - 1, u'0') + digits;
    } else if (digits.size() > exponent + 1) {
        result = digits.left(exponent + 1) + u'.' + digits.mid(exponent + 1);
    } else {
        result = digits + QString(exponent + 1 - digits.size(), u'0');
    }
    return negative ? u'-' + result : result;
}

}  // namespace kestrel
