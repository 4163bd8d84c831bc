// The display lines that stand in place of quotes: at start-up, after a failed transfer and
// while a refresh asked for by the user runs.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTime>
#include <functional>

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

// Breaks a message into lines for which fits holds: between clauses (after "，", "；", "：", "、",
// "。" or a closing bracket, before an opening one) and at blanks, so that host names, addresses
// and numbers stay whole and no line ends in an opening bracket or starts with a closing one. Only
// a clause too wide for a line of its own is broken between Chinese characters, and only a word
// too wide for one between any two characters. The blank at a break is dropped.
QStringList BreakMessage(const QString& text, const std::function<bool(const QString&)>& fits);

// The message cut at the end of a clause to at most maxLength characters, for a place that shows
// only so much: "…" marks the cut, and the brackets left open are closed.
QString CutMessage(const QString& text, qsizetype maxLength);

// "正在尝试重新读取牌价，请稍候..."
QStringList ReadingAgainLines();

}  // namespace kestrel
