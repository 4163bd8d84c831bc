#include "page.h"

namespace kestrel::feeds {

using namespace Qt::Literals::StringLiterals;

QString RenderPage(const std::vector<PageRow>& rows, bool marker, const QString& charset) {
    QString page;
    page +=
        u"<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset="_s +
        charset +
        u"\">\r\n<title>外汇牌价</title>\r\n</head>\r\n"
        u"<body>\r\n<table class=\"rates\">\r\n"_s;
    page +=
        u"<tr><th>名称</th><th>买入价</th><th>卖出价</th><th>最高</th><th>最低</th>"
        u"<th>涨跌</th><th>涨跌幅</th><th>时间</th></tr>\r\n"_s;
    if (marker)
        page += u"<tr><td colspan=\"8\"><a href=\"/chart/\">货币走势图</a></td></tr>\r\n"_s;
    for (const PageRow& row : rows) {
        page += u"<tr><td><a href=\"/chart/?name="_s + row.Name + u"\" title=\""_s + row.Name +
                u"\">"_s + row.Name + u"</a></td>\r\n"_s;
        for (const QString& cell : row.Cells)
            page += u"<td>"_s + cell + u"</td>\r\n"_s;
        page += u"</tr>\r\n"_s;
    }
    page += u"</table>\r\n</body>\r\n</html>\r\n"_s;
    return page;
}

}  // namespace kestrel::feeds
