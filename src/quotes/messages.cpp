#include "quotes/messages.h"

namespace kestrel {

QStringList StartupLines() {
    return {QStringLiteral("Kestrel"), QString(), QStringLiteral("炒汇炒金盯盘增利好帮手"),
            QString(), QStringLiteral("正在读取牌价……")};
}

QStringList TransferErrorLines(bool displayTime, const QTime& now) {
    QStringList lines;
    if (displayTime)
        lines.append(now.toString(QStringLiteral("hh:mm:ss")));
    lines.append(QStringLiteral("数据传送有误！请检查网络"));
    lines.append(QStringLiteral("稍后将再次尝试连接..."));
    return lines;
}

QStringList ReadingAgainLines() {
    return {QStringLiteral("正在尝试重新读取牌价，请稍候...")};
}

}  // namespace kestrel
