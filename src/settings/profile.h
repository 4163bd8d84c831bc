// The settings file: an INI file read and written one key at a time.
//
// Every call opens the file, reads or rewrites it and closes it again; nothing is cached, so
// two TIniFile objects on the same path (or a user editing the file by hand) always agree.
// Section and key names match without regard to case. A new key goes to the end of its section,
// a new section to the end of the file, and an existing key is replaced where it stands; all
// other lines keep their bytes. Writes go through a temporary file that replaces the old one
// only when all of it reached the disk, so an interrupted or refused write (a full disk, a
// read-only folder) leaves the old file as it was.
//
// An edit (TIniEdit) collects writes to any keys of any sections, and removals of keys, and
// makes them in one replacement of the file, for a save of many keys that must not be seen half
// done.
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
#include <QStringList>
#include <functional>
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
    // The names of the section's keys as they stand, in the file's order; empty for a missing
    // file or section.
    QStringList ReadKeys(const QString& section) const;

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
    friend class TIniEdit;

    QString fileName_;
    std::shared_ptr<const Contents> held_;
};

// Writes collected for one replacement of the file. The file is read only by Commit, so what
// stands in it then is kept; the keys are written and removed in the order given, each placed as
// the one-key write would place it. Nothing reaches the file before Commit.
class TIniEdit {
public:
    explicit TIniEdit(TIniFile& ini) : ini_(ini) {}

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);
    void WriteFloat(const QString& section, const QString& key, double value);
    void WriteBytes(const QString& section, const QString& key, const QByteArray& value);
    // A value made from the bytes of a text in the encoding that the file has at Commit (for
    // scrambled values, whose bytes depend on it).
    using TextBytes = std::function<QByteArray(const QByteArray& encodedText)>;
    void WriteTextBytes(const QString& section, const QString& key, const QString& text,
                        TextBytes makeValue);
    // Removes every line of the key from the section (the section's header stays); a key that
    // is not there is no change.
    void EraseKey(const QString& section, const QString& key);

    // Writes everything collected in one replacement and starts a new, empty edit. Throws
    // WriteError when the file cannot be written or a value holds a line break or NUL; the file
    // then keeps every byte it had and none of the values is written. With nothing collected,
    // or only removals of keys that are not there, the file is not touched.
    void Commit();

    // One collected write: the value's bytes are made for the file's encoding at Commit. Without
    // encode, the key is removed.
    struct Value {
        QString section;
        QString key;
        std::function<QByteArray(FileEncoding)> encode;
    };

private:
    void Add(const QString& section, const QString& key,
             std::function<QByteArray(FileEncoding)> encode);

    TIniFile& ini_;
    QList<Value> values_;
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
