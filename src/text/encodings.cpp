#include "text/encodings.h"

#include <QRegularExpression>
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
    static const QRegularExpression charsetRe(
        QStringLiteral("charset\\s*=\\s*[\"']?([A-Za-z0-9_\\-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    QString charset;
    if (auto m = charsetRe.match(contentType); m.hasMatch()) {
        charset = m.captured(1);
    } else if (auto mm = charsetRe.match(QString::fromLatin1(body.left(4096))); mm.hasMatch()) {
        charset = mm.captured(1);
    }
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
