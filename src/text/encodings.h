// Text encodings of the program's files and pages.
//
// The settings file and the selection file are bytes on disk: valid UTF-8 (a BOM is allowed) is
// read as UTF-8, anything else as GBK, and a file is written back in the encoding it was read in.
// New files are GBK, the format these files have always had. Widths that the display counts in
// bytes of code page 936 are the length of the text encoded as GB18030 (Cp936Length).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kestrel {

enum class FileEncoding { Gbk, Utf8, Utf8Bom };

struct DecodedText {
    QString text;
    FileEncoding encoding = FileEncoding::Gbk;
};

// Decodes file bytes: UTF-8 when they are valid UTF-8 (with or without BOM), otherwise GBK.
// Pure ASCII is reported as GBK, so a rewrite of an ASCII file keeps the traditional encoding.
DecodedText DecodeFileBytes(const QByteArray& bytes);

// Encodes text for a file in the given encoding (the BOM is written for Utf8Bom).
QByteArray EncodeFileText(const QString& text, FileEncoding encoding);

// Code page 936 (GB18030, a superset of GBK) conversions. Characters GBK cannot hold are
// encoded as GB18030 four-byte sequences, so nothing is lost.
QByteArray ToCp936(const QString& text);
QString FromCp936(const QByteArray& bytes);

// Byte length of the text in code page 936: a Chinese character counts 2, ASCII 1.
int Cp936Length(const QString& text);

// Splits text into lines at CR LF, LF or CR. A final line end does not start another line.
QStringList SplitLines(const QString& text);

// Decodes a downloaded page: by the charset that the Content-Type header or a meta tag in the
// first 4 KiB declares, otherwise as GB18030.
QString DecodePage(const QByteArray& body, const QString& contentType = {});

}  // namespace kestrel
