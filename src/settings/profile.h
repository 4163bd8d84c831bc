// The settings file: an INI file read and written one key at a time.
//
// Every call opens the file, reads or rewrites it and closes it again; nothing is cached, so
// two TIniFile objects on the same path (or a user editing the file by hand) always agree.
// Section and key names match without regard to case. A new key goes to the end of its section,
// a new section to the end of the file, and an existing key is replaced where it stands; all
// other lines keep their bytes. Writes go through a temporary file that replaces the old one,
// so an interrupted write never leaves a truncated file.
//
// A snapshot is the exception: it reads the file once and answers its reads from that copy, for
// code that reads many keys in a row; a write through it goes to the file and ends the copy.
//
// The file is bytes on disk: valid UTF-8 (with or without BOM) is UTF-8, anything else GBK,
// and it is rewritten in the encoding it was read in (a new file is GBK). Values are kept as
// bytes and decoded only when read as text, so scrambled values (arbitrary bytes) survive.
// A UTF-8 file that receives bytes which are not valid UTF-8 is given a BOM, so that it is
// still recognised as UTF-8 the next time.
//
// Blanks around a value are not part of it; a value that begins or ends with blanks, or is
// wrapped in a pair of quotes, is written inside double quotes, which reading removes again.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

#include "text/encodings.h"

namespace kestrel {

// A write that the system refused. what() is "Unable to write to <path>".
class WriteError : public std::runtime_error {
public:
    explicit WriteError(const QString& path);
    const QString& Path() const { return path_; }

protected:
    WriteError(const QString& path, const QString& message);

private:
    QString path_;
};

// At most this many characters of a value are read back (bytes for ReadBytes).
inline constexpr int kMaxValueLength = 2047;

class TIniFile {
public:
    explicit TIniFile(const QString& fileName) : fileName_(fileName) {}
    // The file as it is now, read once.
    static TIniFile Snapshot(const QString& fileName);

    const QString& FileName() const { return fileName_; }
    // The encoding the file is in, GBK for a missing one; for callers that store bytes of a
    // text (scrambled values) and must encode the text as the file does.
    FileEncoding Encoding() const;

    // Missing file, section or key gives the default; a key with an empty value gives "".
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // Decimal, or hexadecimal after "$", "0x" or "0X"; anything else gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // An integer (default 1 or 0); any non-zero number is true.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    // A number with "." and an optional exponent; anything else gives the default.
    double ReadFloat(const QString& section, const QString& key, double defaultValue) const;
    // The value's bytes as stored, without decoding.
    QByteArray ReadBytes(const QString& section, const QString& key,
                         const QByteArray& defaultValue) const;

    // Each write throws WriteError when the file cannot be written, and also when the value
    // holds a line break or NUL, which a line of the file cannot keep; the file is then left
    // as it was.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    // Several keys of one section in one replacement of the file: a reader, or a program killed
    // meanwhile, finds all of them written or none.
    void WriteIntegers(const QString& section, const QList<std::pair<QString, int>>& values);
    void WriteBool(const QString& section, const QString& key, bool value);
    void WriteFloat(const QString& section, const QString& key, double value);
    void WriteBytes(const QString& section, const QString& key, const QByteArray& value);

    struct Contents;  // a snapshot's copy of the file

private:
    QString fileName_;
    std::shared_ptr<const Contents> held_;
};

// The integer rule of the settings file (also used for the proxy port and the font text):
// optional blanks and sign, then decimal digits or hexadecimal digits after "$", "0x", "0X".
// Hexadecimal takes up to 32 bits, so $FF000005 is the colour value it spells.
std::optional<int> ParseIntegerText(const QString& text);

// The float rule: shortest general form with at most 15 significant digits, "." as the
// decimal point, scientific (1E-5, 1.5E+20) below 0.0001 and from 1E+15 on.
// Read back by PlainNumberValue (text/numbertext.h).
QString FloatToText(double value);

}  // namespace kestrel
