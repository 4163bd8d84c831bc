// The display lines that stand in place of quotes: at start-up, after a failed transfer and
// while a refresh asked for by the user runs.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTime>

#include "net/transfer.h"

namespace kestrel {

// "Kestrel", "", "炒汇炒金盯盘增利好帮手", "", "正在读取牌价……"
QStringList StartupLines();

// After a failed transfer: the time alone ("hh:mm:ss") when displayTime, then
// "数据传送有误！请检查网络" and "稍后将再次尝试连接...".
// The lines naming the cause (see FailureReason) follow them.
// The lines when the sources answer but every quote they give is old: the network is not to
// blame. staleText says since when ("行情已 12 分钟未更新").
QStringList StoppedQuoteLines(bool displayTime, const QTime& now, const QString& staleText);

QStringList TransferErrorLines(bool displayTime, const QTime& now, const QStringList& reason = {});

// A failed request in a few words: "HTTP 403", "连接被拒绝", "找不到主机 hq.example.com", ...
QString DescribeFailure(const QString& url, int status, const TransferFailure& failure);

// The lines that say why the rates page at url could not be had: "原因：" and the cause, then
// for the local quote service's own address refused, what to do about it. A service that
// answers 503 with a one-line text says its own reason.
QStringList FailureReason(const QString& url, int status, const TransferFailure& failure,
                          const QByteArray& body = {});

// "正在尝试重新读取牌价，请稍候..."
QStringList ReadingAgainLines();

}  // namespace kestrel
