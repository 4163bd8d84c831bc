// The rates page as the ticker reads it: a marker line, then one row per instrument whose first
// line carries the title attribute and whose next lines are its cells.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace kestrel::feeds {

struct PageRow {
    QString Name;
    QStringList Cells;  // bid, ask, high, low, change, percent, time
};

QString RenderPage(const std::vector<PageRow>& rows, bool marker, const QString& charset);

}  // namespace kestrel::feeds
