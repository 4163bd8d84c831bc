<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>HistoryStore</name>
    <message>
        <source>价格历史被其他程序占用</source>
        <translation>Price history in use by another program</translation>
    </message>
    <message>
        <source>磁盘已满，价格历史暂停</source>
        <translation>Disk full, price history paused</translation>
    </message>
    <message>
        <source>价格历史文件已损坏，已另存并新建</source>
        <translation>Price history file damaged; kept aside, a new one started</translation>
    </message>
    <message>
        <source>价格历史无法记录</source>
        <translation>Price history cannot be recorded</translation>
    </message>
</context>
<context>
    <name>MarketHours</name>
    <message>
        <source>休市</source>
        <translation>Closed</translation>
    </message>
    <message>
        <source>周一</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>周二</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>周三</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>周四</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>周五</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>周六</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>周日</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>今天</source>
        <translation>today</translation>
    </message>
    <message>
        <source>休市 · %1 %2 开盘</source>
        <translation>Closed · opens %1 %2</translation>
    </message>
    <message>
        <source>刚刚</source>
        <translation>just now</translation>
    </message>
    <message>
        <source>%1分钟前</source>
        <translation>%1 min ago</translation>
    </message>
    <message>
        <source>%1小时前</source>
        <translation>%1 h ago</translation>
    </message>
    <message>
        <source>行情已 %1 分钟未更新</source>
        <translation>No update for %1 min</translation>
    </message>
    <message>
        <source>行情已 %1 小时未更新</source>
        <translation>No update for %1 h</translation>
    </message>
</context>
<context>
    <name>kestrel::TSetupForm</name>
    <message>
        <source>自动</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>中文</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>界面语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>下次启动时生效</source>
        <translation>Takes effect at the next start</translation>
    </message>
</context>
</TS>
