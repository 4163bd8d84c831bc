// The display lines that stand in place of quotes: at start-up, after a failed transfer and
// while a refresh asked for by the user runs.
#pragma once

#include <QStringList>
#include <QTime>

namespace kestrel {

// "Kestrel", "", "炒汇炒金盯盘增利好帮手", "", "正在读取牌价……"
QStringList StartupLines();

// After a failed transfer: the time alone ("hh:mm:ss") when displayTime, then
// "数据传送有误！请检查网络" and "稍后将再次尝试连接...".
QStringList TransferErrorLines(bool displayTime, const QTime& now);

// "正在尝试重新读取牌价，请稍候..."
QStringList ReadingAgainLines();

}  // namespace kestrel
