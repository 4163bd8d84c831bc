#include "quotes/messages.h"

#include <QCoreApplication>
#include <QUrl>
#include <iterator>
#include <string_view>
#include <utility>

namespace kestrel {

namespace {

struct MessageTexts {
    Q_DECLARE_TR_FUNCTIONS(Messages)
};

QString HostAndPort(const QUrl& url) {
    return url.host() + u':' + QString::number(url.port(url.scheme() == u"https" ? 443 : 80));
}

using Fits = std::function<bool(const QString&)>;
using BreakRule = bool (*)(const QString&, qsizetype);

constexpr char16_t kOpeners[] = u"（(【“";
constexpr char16_t kClosers[] = u"）)】”";

std::size_t OpenerIndex(QChar c) {
    return std::u16string_view(kOpeners).find(c.unicode());
}

bool IsOpener(QChar c) {
    return OpenerIndex(c) != std::u16string_view::npos;
}

bool IsCloser(QChar c) {
    return std::u16string_view(kClosers).find(c.unicode()) != std::u16string_view::npos;
}

bool EndsClause(QChar c) {
    return std::u16string_view(u"，；：、。！？").find(c.unicode()) != std::u16string_view::npos;
}

// Whether nothing forbids a break between text[i - 1] and text[i].
bool MayBreak(const QString& text, qsizetype i) {
    const QChar after = text.at(i);
    return !IsOpener(text.at(i - 1)) && !IsCloser(after) && !EndsClause(after);
}

// A break between clauses or at a blank; ASCII ",", ":" and "." belong to numbers and addresses.
bool ClauseBreak(const QString& text, qsizetype i) {
    const QChar before = text.at(i - 1);
    return MayBreak(text, i) &&
           (EndsClause(before) || IsCloser(before) || IsOpener(text.at(i)) || before.isSpace());
}

bool IsHan(QChar c) {
    return c.script() == QChar::Script_Han;
}

// A break beside a Chinese character, within a clause.
bool HanBreak(const QString& text, qsizetype i) {
    return MayBreak(text, i) && (IsHan(text.at(i - 1)) || IsHan(text.at(i)));
}

// A break between any two characters (never between the halves of one).
bool AnyBreak(const QString& text, qsizetype i) {
    return !text.at(i).isLowSurrogate();
}

QStringList Split(const QString& text, BreakRule rule) {
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (rule(text, i)) {
            parts << text.mid(start, i - start);
            start = i;
        }
    }
    parts << text.mid(start);
    return parts;
}

QString TrimEnd(QString text) {
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

// Adds the parts to the line under way, starting a new line where the next does not fit; a part
// that fits no line of its own is broken by the next finer rule.
void Pack(const QStringList& parts, int level, const Fits& fits, QString& line,
          QStringList& lines) {
    static constexpr BreakRule kFiner[] = {HanBreak, AnyBreak};
    for (const QString& part : parts) {
        if (fits(TrimEnd(line + part))) {
            line += part;
        } else if (fits(TrimEnd(part)) || level == int(std::size(kFiner))) {
            if (!TrimEnd(line).isEmpty())
                lines << TrimEnd(line);
            line = part;
        } else {
            // A word broken anywhere at least starts a line of its own.
            if (kFiner[level] == AnyBreak && !TrimEnd(line).isEmpty()) {
                lines << TrimEnd(line);
                line.clear();
            }
            Pack(Split(part, kFiner[level]), level + 1, fits, line, lines);
        }
    }
}

// A cut text made whole: without the clause mark or blank at its end, with "…" and the closing
// brackets of those it left open.
QString Closed(QString text) {
    while (!text.isEmpty() && (text.back().isSpace() || EndsClause(text.back())))
        text.chop(1);
    text += u'…';
    QString closers;
    for (const QChar c : std::as_const(text)) {
        if (IsOpener(c))
            closers.prepend(QChar(kClosers[OpenerIndex(c)]));
        else if (IsCloser(c) && !closers.isEmpty())
            closers.remove(0, 1);
    }
    return text + closers;
}

}  // namespace

QStringList StartupLines() {
    return {QStringLiteral("Kestrel"), QString(), MessageTexts::tr("炒汇炒金盯盘增利好帮手"),
            QString(), MessageTexts::tr("正在读取牌价……")};
}

QStringList TransferErrorLines(bool displayTime, const QTime& now, const QStringList& reason) {
    QStringList lines;
    if (displayTime)
        lines.append(now.toString(QStringLiteral("hh:mm:ss")));
    lines.append(MessageTexts::tr("数据传送有误！请检查网络"));
    lines.append(MessageTexts::tr("稍后将再次尝试连接..."));
    return lines + reason;
}

QStringList StoppedQuoteLines(bool displayTime, const QTime& now, const QString& staleText) {
    QStringList lines;
    if (displayTime)
        lines.append(now.toString(QStringLiteral("hh:mm:ss")));
    lines.append(staleText);
    lines.append(MessageTexts::tr("数据源有应答，但报价时间未再更新"));
    return lines;
}

QString DescribeFailure(const QString& url, int status, const TransferFailure& failure) {
    const QUrl address(url);
    if (status == 407)
        return MessageTexts::tr("代理服务器要求验证用户名和密码");
    if (status > 0)
        return QStringLiteral("HTTP %1").arg(status);
    const QString proxyHost = failure.Proxy.section(u':', 0, 0);
    switch (failure.Kind) {
        case TransferFailureKind::HostNotFound:
            return MessageTexts::tr("找不到主机 %1").arg(address.host());
        case TransferFailureKind::ProxyNotFound:
            return MessageTexts::tr("找不到代理服务器 %1").arg(proxyHost);
        case TransferFailureKind::Refused:
            return MessageTexts::tr("%1 拒绝连接").arg(HostAndPort(address));
        case TransferFailureKind::ProxyRefused:
            return MessageTexts::tr("代理服务器 %1 拒绝连接").arg(failure.Proxy);
        case TransferFailureKind::TimedOut:
            return MessageTexts::tr("连接 %1 超时").arg(address.host());
        case TransferFailureKind::None:
        case TransferFailureKind::Other:
            break;
    }
    return MessageTexts::tr("无法连接 %1").arg(address.host());
}

QStringList FailureReason(const QString& url, int status, const TransferFailure& failure,
                          const QByteArray& body) {
    const QString prefix = MessageTexts::tr("原因：");
    if (status == 503) {
        // A gateway names what it lacks; a text of one short line is taken as that reason.
        const QString text = QString::fromUtf8(body).trimmed();
        // It may have put the lead-in there itself.
        if (!text.isEmpty() && text.size() <= 80 && !text.contains(u'\n') && !text.contains(u'<'))
            return {text.startsWith(prefix) ? text : prefix + text};
    }
    if (status == 200)
        return {prefix + MessageTexts::tr("连接在传送中断开")};
    if (status > 0 && status != 407)
        return {prefix + MessageTexts::tr("服务器应答 HTTP %1").arg(status)};
    if (failure.Kind != TransferFailureKind::Refused)
        return {prefix + DescribeFailure(url, status, failure)};
    const QUrl address(url);
    QStringList lines{
        prefix + MessageTexts::tr("%1 上没有报价服务（连接被拒绝）").arg(HostAndPort(address))};
    // The address of the quote service a package installs as a user unit.
    if ((address.host() == u"127.0.0.1" || address.host() == u"localhost") &&
        address.port(80) == 8936)
        lines << MessageTexts::tr(
            "请运行 systemctl --user enable --now "
            "kestrel-quoted，或在“设置→网络设置”中选择内置行情源");
    return lines;
}

QStringList BreakMessage(const QString& text, const Fits& fits) {
    QStringList lines;
    if (text.isEmpty())
        return lines;
    QString line;
    Pack(Split(text, ClauseBreak), 0, fits, line, lines);
    if (!TrimEnd(line).isEmpty())
        lines << TrimEnd(line);
    return lines;
}

QString CutMessage(const QString& text, qsizetype maxLength) {
    if (text.size() <= maxLength)
        return text;
    // The longest run of whole clauses that fits; a first clause longer than the room is cut
    // where it must.
    for (const BreakRule rule : {ClauseBreak, AnyBreak}) {
        for (qsizetype i = text.size() - 1; i > 0; --i) {
            if (!rule(text, i))
                continue;
            const QString cut = Closed(text.left(i));
            if (cut.size() <= maxLength)
                return cut;
        }
    }
    return text.left(maxLength);
}

QStringList ReadingAgainLines() {
    return {MessageTexts::tr("正在尝试重新读取牌价，请稍候...")};
}

}  // namespace kestrel
