#include "platform/fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

namespace kestrel {

namespace {

const QString kYaHei = QStringLiteral("微软雅黑");
const QString kSimSun = QStringLiteral("宋体");

// Byte-counted padding lines up when every Latin character is exactly half as wide as a Chinese
// one, the full-width space included. Measured in bold at the quote lines' default size: that
// is the face the main window draws with, so choosing the family loads no second face.
bool HasHalfWidthLatin(const QString& family) {
    QFont font(family);
    font.setPixelSize(12);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int wide = metrics.horizontalAdvance(QStringLiteral("中"));
    if (wide <= 0 || metrics.horizontalAdvance(QStringLiteral("　")) != wide)
        return false;
    for (const QChar c : QStringLiteral("0N/. ")) {
        if (2 * metrics.horizontalAdvance(c) != wide)
            return false;
    }
    return true;
}

QString FindWindowFontFamily() {
    for (const QString& family : {kYaHei, kSimSun}) {
        if (IsFontInstalled(family))
            return family;
    }
    // Stand-ins for 宋体: the monospaced CJK faces first (Debian's fonts-noto-cjk), then any
    // Simplified Chinese face that measures right.
    QStringList candidates{
        QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Source Han Mono SC"),
        QStringLiteral("WenQuanYi Zen Hei Mono"), QStringLiteral("WenQuanYi Micro Hei Mono")};
    candidates += QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    for (const QString& family : candidates) {
        if (IsFontInstalled(family) && HasHalfWidthLatin(family))
            return family;
    }
    // Nothing lines up: the usual Chinese sans-serif faces, then whatever there is.
    for (const char16_t* family : {u"Noto Sans CJK SC", u"Source Han Sans SC",
                                   u"WenQuanYi Micro Hei", u"WenQuanYi Zen Hei"}) {
        const QString name = QString::fromUtf16(family);
        if (IsFontInstalled(name))
            return name;
    }
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? QFontInfo(QFont(QStringLiteral("sans-serif"))).family()
                             : chinese.first();
}

}  // namespace

bool IsFontInstalled(const QString& family) {
    const QStringList families = QFontDatabase::families();
    return families.contains(family, Qt::CaseInsensitive);
}

QString WindowFontFamily() {
    // Fonts are not installed while the program runs; measuring every candidate once is enough.
    static const QString family = FindWindowFontFamily();
    return family;
}

QString DrawableFontFamily(const QString& family) {
    if ((family == kYaHei || family == kSimSun) && !IsFontInstalled(family))
        return WindowFontFamily();
    return family;
}

QFont WindowFont() {
    QFont font(WindowFontFamily());
    font.setPixelSize(12);
    return font;
}

}  // namespace kestrel
