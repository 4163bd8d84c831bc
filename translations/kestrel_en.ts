<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Alarm</name>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>显示牌价窗口</source>
        <translation>Show Ticker</translation>
    </message>
    <message>
        <source>停止警报</source>
        <translation>Silence Alarm</translation>
    </message>
    <message>
        <source>穿越 %1</source>
        <translation>crosses %1</translation>
    </message>
    <message>
        <source>高于 %1</source>
        <translation>above %1</translation>
    </message>
    <message>
        <source>低于 %1</source>
        <translation>below %1</translation>
    </message>
    <message>
        <source>涨跌幅 ≥ %1%</source>
        <translation>change ≥ %1%</translation>
    </message>
    <message>
        <source>%1分钟内波动 ≥ %2%</source>
        <translation>moves ≥ %2% within %1 min</translation>
    </message>
</context>
<context>
    <name>Cli</name>
    <message>
        <source>数据源未提供该品种</source>
        <translation>the sources do not offer this instrument</translation>
    </message>
    <message>
        <source>正在读取</source>
        <translation>still loading</translation>
    </message>
    <message>
        <source>%1未应答</source>
        <translation>%1 did not answer</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>未知品种：%1</source>
        <translation>unknown instrument: %1</translation>
    </message>
    <message>
        <source>时间应为 ISO 8601 格式，例如 2026-03-02T09:30:00+08:00</source>
        <translation>times must be in ISO 8601 form, e.g. 2026-03-02T09:30:00+08:00</translation>
    </message>
    <message>
        <source>尚无价格历史（%1）</source>
        <translation>no price history yet (%1)</translation>
    </message>
    <message>
        <source>%1 在此时段没有记录</source>
        <translation>no records for %1 in this period</translation>
    </message>
</context>
<context>
    <name>Feeds</name>
    <message>
        <source>连接在传送中断开</source>
        <translation>the connection dropped during the transfer</translation>
    </message>
    <message>
        <source>新浪财经</source>
        <translation>Sina Finance</translation>
    </message>
    <message>
        <source>中国银行</source>
        <translation>Bank of China</translation>
    </message>
    <message>
        <source>欧洲央行</source>
        <translation>ECB</translation>
    </message>
    <message>
        <source>答复中没有可用的报价</source>
        <translation>the answer held no usable quote</translation>
    </message>
    <message>
        <source>%1 超出合理范围</source>
        <translation>%1 is out of the plausible range</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>数据源均已失效（%1）</source>
        <translation>all sources have failed (%1)</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>数据源尚无报价</source>
        <translation>no quotes from the sources yet</translation>
    </message>
    <message>
        <source>数据源报价未通过核对（%1）</source>
        <translation>the quotes failed the checks (%1)</translation>
    </message>
    <message>
        <source>报价没有时间</source>
        <translation>quote has no time</translation>
    </message>
    <message>
        <source>报价时间有误</source>
        <translation>quote time is wrong</translation>
    </message>
    <message>
        <source>%1 与昨收相差过大</source>
        <translation>%1 is too far from the previous close</translation>
    </message>
    <message>
        <source>来源不一致</source>
        <translation>sources disagree</translation>
    </message>
    <message>
        <source>与此前报价相差过大</source>
        <translation>too far from the last quote</translation>
    </message>
    <message>
        <source>报价已过时</source>
        <translation>quote is outdated</translation>
    </message>
</context>
<context>
    <name>History</name>
    <message>
        <source>价格历史被其他程序占用</source>
        <translation>Price history is in use by another program</translation>
    </message>
    <message>
        <source>磁盘已满，价格历史暂停</source>
        <translation>Disk full: price history paused</translation>
    </message>
    <message>
        <source>价格历史文件已损坏，已另存并新建</source>
        <translation>Price history file was damaged; it was set aside and a new one started</translation>
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
    <name>Messages</name>
    <message>
        <source>炒汇炒金盯盘增利好帮手</source>
        <translation>Your companion for trading FX and gold</translation>
    </message>
    <message>
        <source>正在读取牌价……</source>
        <translation>Loading rates…</translation>
    </message>
    <message>
        <source>数据传送有误！请检查网络</source>
        <translation>Transfer failed! Please check the network</translation>
    </message>
    <message>
        <source>稍后将再次尝试连接...</source>
        <translation>Will try to connect again shortly...</translation>
    </message>
    <message>
        <source>数据源有应答，但报价时间未再更新</source>
        <translation>The sources answer, but their quote times have stopped</translation>
    </message>
    <message>
        <source>代理服务器要求验证用户名和密码</source>
        <translation>The proxy server asks for a user name and password</translation>
    </message>
    <message>
        <source>找不到主机 %1</source>
        <translation>Host %1 not found</translation>
    </message>
    <message>
        <source>找不到代理服务器 %1</source>
        <translation>Proxy server %1 not found</translation>
    </message>
    <message>
        <source>%1 拒绝连接</source>
        <translation>%1 refused the connection</translation>
    </message>
    <message>
        <source>代理服务器 %1 拒绝连接</source>
        <translation>Proxy server %1 refused the connection</translation>
    </message>
    <message>
        <source>连接 %1 超时</source>
        <translation>Connection to %1 timed out</translation>
    </message>
    <message>
        <source>无法连接 %1</source>
        <translation>Cannot connect to %1</translation>
    </message>
    <message>
        <source>原因：</source>
        <translation>Cause: </translation>
    </message>
    <message>
        <source>连接在传送中断开</source>
        <translation>the connection dropped during the transfer</translation>
    </message>
    <message>
        <source>服务器应答 HTTP %1</source>
        <translation>the server answered HTTP %1</translation>
    </message>
    <message>
        <source>%1 上没有报价服务（连接被拒绝）</source>
        <translation>no quote service on %1 (connection refused)</translation>
    </message>
    <message>
        <source>请运行 systemctl --user enable --now kestrel-quoted，或在“设置→网络设置”中选择内置行情源</source>
        <translation>Run systemctl --user enable --now kestrel-quoted, or choose the built-in quote source under &quot;Settings → Network Settings&quot;</translation>
    </message>
    <message>
        <source>正在尝试重新读取牌价，请稍候...</source>
        <translation>Reloading rates, please wait...</translation>
    </message>
</context>
<context>
    <name>QuoteLines</name>
    <message>
        <source>【演示牌价】</source>
        <translation>[Demo rates]</translation>
    </message>
    <message>
        <source>【牌价更新时间】</source>
        <translation>[Updated]</translation>
    </message>
    <message>
        <source>外汇牌价源数据有误，无法提供报价</source>
        <translation>The rates source sent bad data; no quotes</translation>
    </message>
    <message>
        <source>稍后将再次尝试连接...</source>
        <translation>Will try to connect again shortly...</translation>
    </message>
</context>
<context>
    <name>UpdateHelper</name>
    <message>
        <source>本程序由 Kestrel 在线升级时自动启动：等 Kestrel 退出后，用下载的新文件替换旧文件，然后重新启动 Kestrel。

无需手动运行本程序。</source>
        <translation>Kestrel starts this program at the end of an online upgrade: once Kestrel has ended, it puts the downloaded files in place of the old ones and starts Kestrel again.

There is no need to run it by hand.</translation>
    </message>
</context>
<context>
    <name>kestrel::Instrument</name>
    <message>
        <source>美元指数</source>
        <translation>Dollar Index</translation>
    </message>
    <message>
        <source>欧元美元</source>
        <translation>EUR/USD</translation>
    </message>
    <message>
        <source>英镑美元</source>
        <translation>GBP/USD</translation>
    </message>
    <message>
        <source>美元日元</source>
        <translation>USD/JPY</translation>
    </message>
    <message>
        <source>澳元美元</source>
        <translation>AUD/USD</translation>
    </message>
    <message>
        <source>美元加元</source>
        <translation>USD/CAD</translation>
    </message>
    <message>
        <source>美元瑞郎</source>
        <translation>USD/CHF</translation>
    </message>
    <message>
        <source>纽元美元</source>
        <translation>NZD/USD</translation>
    </message>
    <message>
        <source>美元人民币</source>
        <translation>USD/CNY</translation>
    </message>
    <message>
        <source>美元坡元</source>
        <translation>USD/SGD</translation>
    </message>
    <message>
        <source>瑞典克郎</source>
        <translation>USD/SEK</translation>
    </message>
    <message>
        <source>美元港币</source>
        <translation>USD/HKD</translation>
    </message>
    <message>
        <source>欧元英镑</source>
        <translation>EUR/GBP</translation>
    </message>
    <message>
        <source>欧元日元</source>
        <translation>EUR/JPY</translation>
    </message>
    <message>
        <source>澳元日元</source>
        <translation>AUD/JPY</translation>
    </message>
    <message>
        <source>英镑日元</source>
        <translation>GBP/JPY</translation>
    </message>
    <message>
        <source>欧元瑞郎</source>
        <translation>EUR/CHF</translation>
    </message>
    <message>
        <source>欧元加元</source>
        <translation>EUR/CAD</translation>
    </message>
    <message>
        <source>欧元澳元</source>
        <translation>EUR/AUD</translation>
    </message>
    <message>
        <source>英镑港币</source>
        <translation>GBP/HKD</translation>
    </message>
    <message>
        <source>英镑瑞郎</source>
        <translation>GBP/CHF</translation>
    </message>
    <message>
        <source>英镑坡元</source>
        <translation>GBP/SGD</translation>
    </message>
    <message>
        <source>英镑加元</source>
        <translation>GBP/CAD</translation>
    </message>
    <message>
        <source>英镑澳元</source>
        <translation>GBP/AUD</translation>
    </message>
    <message>
        <source>澳元加元</source>
        <translation>AUD/CAD</translation>
    </message>
    <message>
        <source>澳元瑞郎</source>
        <translation>AUD/CHF</translation>
    </message>
    <message>
        <source>澳元港币</source>
        <translation>AUD/HKD</translation>
    </message>
    <message>
        <source>加元日元</source>
        <translation>CAD/JPY</translation>
    </message>
    <message>
        <source>瑞郎日元</source>
        <translation>CHF/JPY</translation>
    </message>
    <message>
        <source>欧元人民币</source>
        <translation>EUR/CNY</translation>
    </message>
    <message>
        <source>英镑人民币</source>
        <translation>GBP/CNY</translation>
    </message>
    <message>
        <source>日元人民币</source>
        <translation>JPY/CNY</translation>
    </message>
    <message>
        <source>澳元人民币</source>
        <translation>AUD/CNY</translation>
    </message>
    <message>
        <source>加元人民币</source>
        <translation>CAD/CNY</translation>
    </message>
    <message>
        <source>瑞郎人民币</source>
        <translation>CHF/CNY</translation>
    </message>
    <message>
        <source>纽元人民币</source>
        <translation>NZD/CNY</translation>
    </message>
    <message>
        <source>港币人民币</source>
        <translation>HKD/CNY</translation>
    </message>
    <message>
        <source>坡元人民币</source>
        <translation>SGD/CNY</translation>
    </message>
    <message>
        <source>瑞典克郎人民币</source>
        <translation>SEK/CNY</translation>
    </message>
    <message>
        <source>纽约原油</source>
        <translation>WTI crude</translation>
    </message>
    <message>
        <source>布伦特原油</source>
        <translation>Brent crude</translation>
    </message>
    <message>
        <source>天然气</source>
        <translation>Natural gas</translation>
    </message>
    <message>
        <source>现货黄金</source>
        <translation>Spot gold</translation>
    </message>
    <message>
        <source>现货白银</source>
        <translation>Spot silver</translation>
    </message>
    <message>
        <source>人民币黄金</source>
        <translation>Gold (CNY/g)</translation>
    </message>
    <message>
        <source>人民币白银</source>
        <translation>Silver CNY/g</translation>
    </message>
    <message>
        <source>香港黄金</source>
        <translation>Gold (HKD)</translation>
    </message>
</context>
</TS>
