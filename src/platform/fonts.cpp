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
    for (const QString& family : {QStringLiteral("微软雅黑"), QStringLiteral("宋体")}) {
        if (IsFontInstalled(family)) return family;
    }
    // Neither Windows typeface: ask fontconfig for the sans-serif that covers Simplified Chinese.
    QFont probe(QStringLiteral("sans-serif"));
    probe.setStyleHint(QFont::SansSerif);
    for (const QString& family : QFontDatabase::families(QFontDatabase::SimplifiedChinese)) {
        if (family.contains(QStringLiteral("Sans"), Qt::CaseInsensitive) &&
            family.contains(QStringLiteral("CJK"), Qt::CaseInsensitive)) {
            return family;
        }
    }
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? QFontInfo(probe).family() : chinese.first();
}

QFont WindowFont() {
    QFont font(WindowFontFamily());
    font.setPixelSize(12);
    return font;
}

}  // namespace kestrel
