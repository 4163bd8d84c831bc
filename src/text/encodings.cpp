#include "text/encodings.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kestrel {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);

bool IsAscii(const QByteArray& bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool IsValidUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoder only runs when its result becomes a QString.
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

bool IsCharsetChar(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'-';
}

// The name after the first "charset=" (any case, blanks around "=", an optional quote before
// it) that is followed by one: letters, digits, "_" and "-".
QString CharsetIn(QStringView text) {
    const QStringView key = u"charset";
    for (qsizetype at = text.indexOf(key, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(key, at + 1, Qt::CaseInsensitive)) {
        qsizetype i = at + key.size();
        const auto skipBlanks = [&] {
            while (i < text.size() && text[i].isSpace())
                ++i;
        };
        skipBlanks();
        if (i >= text.size() || text[i] != u'=')
            continue;
        ++i;
        skipBlanks();
        if (i < text.size() && (text[i] == u'"' || text[i] == u'\''))
            ++i;
        const qsizetype begin = i;
        while (i < text.size() && IsCharsetChar(text[i]))
            ++i;
        if (i > begin)
            return text.sliced(begin, i - begin).toString();
    }
    return {};
}

QString DecodeWith(const QByteArray& bytes, const char* name) {
    QStringDecoder decoder(name);
    if (!decoder.isValid())
        return FromCp936(bytes);
    return decoder.decode(bytes);
}

}  // namespace

DecodedText DecodeFileBytes(const QByteArray& bytes) {
    if (bytes.startsWith(kUtf8Bom) && IsValidUtf8(QByteArrayView(bytes).sliced(3))) {
        return {QString::fromUtf8(QByteArrayView(bytes).sliced(3)), FileEncoding::Utf8Bom};
    }
    if (!IsAscii(bytes) && IsValidUtf8(bytes)) {
        return {QString::fromUtf8(bytes), FileEncoding::Utf8};
    }
    return {FromCp936(bytes), FileEncoding::Gbk};
}

QByteArray EncodeFileText(const QString& text, FileEncoding encoding) {
    switch (encoding) {
        case FileEncoding::Utf8:
            return text.toUtf8();
        case FileEncoding::Utf8Bom:
            return kUtf8Bom + text.toUtf8();
        case FileEncoding::Gbk:
            break;
    }
    return ToCp936(text);
}

QByteArray ToCp936(const QString& text) {
    // Widths are measured on every refresh: keep one stateless encoder per thread.
    thread_local QStringEncoder encoder("GB18030", QStringEncoder::Flag::Stateless);
    return encoder.encode(text);
}

QString FromCp936(const QByteArray& bytes) {
    // The first 128 codes are ASCII's; most names and values never need the converter.
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

int Cp936Length(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return static_cast<int>(ToCp936(text).size());
    }
    return static_cast<int>(text.size());
}

QStringList SplitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QString DecodePage(const QByteArray& body, const QString& contentType) {
    QString charset = CharsetIn(contentType);
    if (charset.isEmpty())
        charset = CharsetIn(QString::fromLatin1(body.left(4096)));
    const QString lower = charset.toLower();
    if (lower.isEmpty() || lower == u"gbk" || lower == u"gb2312" || lower == u"gb18030" ||
        lower == u"cp936") {
        return FromCp936(body);
    }
    if (lower == u"utf-8" || lower == u"utf8")
        return QString::fromUtf8(body);
    return DecodeWith(body, charset.toLatin1().constData());
}

}  // namespace kestrel
