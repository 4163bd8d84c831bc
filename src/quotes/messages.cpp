#include "quotes/messages.h"

#include <QUrl>

namespace kestrel {

namespace {

QString HostAndPort(const QUrl& url) {
    return url.host() + u':' + QString::number(url.port(url.scheme() == u"https" ? 443 : 80));
}

}  // namespace

QStringList StartupLines() {
    return {QStringLiteral("Kestrel"), QString(), QStringLiteral("炒汇炒金盯盘增利好帮手"),
            QString(), QStringLiteral("正在读取牌价……")};
}

QStringList TransferErrorLines(bool displayTime, const QTime& now, const QStringList& reason) {
    QStringList lines;
    if (displayTime)
        lines.append(now.toString(QStringLiteral("hh:mm:ss")));
    lines.append(QStringLiteral("数据传送有误！请检查网络"));
    lines.append(QStringLiteral("稍后将再次尝试连接..."));
    return lines + reason;
}

QStringList StoppedQuoteLines(bool displayTime, const QTime& now, const QString& staleText) {
    QStringList lines;
    if (displayTime)
        lines.append(now.toString(QStringLiteral("hh:mm:ss")));
    lines.append(staleText);
    lines.append(QStringLiteral("数据源有应答，但报价时间未再更新"));
    return lines;
}

QString DescribeFailure(const QString& url, int status, const TransferFailure& failure) {
    const QUrl address(url);
    if (status == 407)
        return QStringLiteral("代理服务器要求验证用户名和密码");
    if (status > 0)
        return QStringLiteral("HTTP %1").arg(status);
    const QString proxyHost = failure.Proxy.section(u':', 0, 0);
    switch (failure.Kind) {
        case TransferFailureKind::HostNotFound:
            return QStringLiteral("找不到主机 ") + address.host();
        case TransferFailureKind::ProxyNotFound:
            return QStringLiteral("找不到代理服务器 ") + proxyHost;
        case TransferFailureKind::Refused:
            return HostAndPort(address) + QStringLiteral(" 拒绝连接");
        case TransferFailureKind::ProxyRefused:
            return QStringLiteral("代理服务器 ") + failure.Proxy + QStringLiteral(" 拒绝连接");
        case TransferFailureKind::TimedOut:
            return QStringLiteral("连接 ") + address.host() + QStringLiteral(" 超时");
        case TransferFailureKind::None:
        case TransferFailureKind::Other:
            break;
    }
    return QStringLiteral("无法连接 ") + address.host();
}

QStringList FailureReason(const QString& url, int status, const TransferFailure& failure,
                          const QByteArray& body) {
    const QString prefix = QStringLiteral("原因：");
    if (status == 503) {
        // A gateway names what it lacks; a text of one short line is taken as that reason.
        const QString text = QString::fromUtf8(body).trimmed();
        if (!text.isEmpty() && text.size() <= 80 && !text.contains(u'\n') && !text.contains(u'<'))
            return {prefix + text};
    }
    if (status == 200)
        return {prefix + QStringLiteral("连接在传送中断开")};
    if (status > 0 && status != 407)
        return {prefix + QStringLiteral("服务器应答 HTTP %1").arg(status)};
    if (failure.Kind != TransferFailureKind::Refused)
        return {prefix + DescribeFailure(url, status, failure)};
    const QUrl address(url);
    QStringList lines{prefix + HostAndPort(address) +
                      QStringLiteral(" 上没有报价服务（连接被拒绝）")};
    // The address of the quote service a package installs as a user unit.
    if ((address.host() == u"127.0.0.1" || address.host() == u"localhost") &&
        address.port(80) == 8936)
        lines << QStringLiteral(
            "请运行 systemctl --user enable --now "
            "kestrel-quoted，或在“设置→网络设置”中选择内置行情源");
    return lines;
}

QStringList ReadingAgainLines() {
    return {QStringLiteral("正在尝试重新读取牌价，请稍候...")};
}

}  // namespace kestrel
