#include "platform/fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace kestrel {

bool IsFontInstalled(const QString& family) {
    const QStringList families = QFontDatabase::families();
    return families.contains(family, Qt::CaseInsensitive);
}

QString WindowFontFamily() {
    // The Windows typefaces first, then the usual Simplified Chinese sans-serif faces of Linux
    // desktops, then whatever fontconfig has for Simplified Chinese.
    for (const char16_t* family :
         {u"微软雅黑", u"宋体", u"Noto Sans CJK SC", u"Source Han Sans SC", u"WenQuanYi Micro Hei",
          u"WenQuanYi Zen Hei", u"Droid Sans Fallback"}) {
        const QString name = QString::fromUtf16(family);
        if (IsFontInstalled(name)) return name;
    }
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? QFontInfo(QFont(QStringLiteral("sans-serif"))).family()
                             : chinese.first();
}

QFont WindowFont() {
    QFont font(WindowFontFamily());
    font.setPixelSize(12);
    return font;
}

}  // namespace kestrel
