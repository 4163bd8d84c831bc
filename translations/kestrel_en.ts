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
    <message>
        <source>Usage: kestrel [-AUTO]
       kestrel --toggle | --show | --hide | --refresh | --settings | --quit
       kestrel --chart NAME
       kestrel --print [--page FILE | --url URL] [--format text|json|csv]
       kestrel --history NAME [--from TIME] [--to TIME] [--format text|json|csv]
       kestrel --show-settings
       kestrel --help | --version

Without an option Kestrel opens the ticker window; -AUTO (or /AUTO) marks a start from the
session&apos;s autostart entry. A second start on the same settings shows the running window.

  --toggle         hide the running ticker&apos;s window, or show it when hidden or covered
  --show, --hide   show (in front) or hide the running ticker&apos;s window
  --refresh        download the quotes now
  --settings       open the settings dialog
  --quit           end the running ticker
                   --toggle, --show and --settings start a ticker when none runs; the
                   others end with status 1
  --chart NAME     open the running ticker&apos;s chart of the instrument NAME (its name, short
                   name or code, e.g. 欧元美元 or EURUSD); status 2 when it knows no such
                   instrument, 1 when no ticker runs
  --print          read the prices once and print the display lines (UTF-8): from the
                   rates page at Param/RatesURL, or from the public feeds of [Sources]
                   when RatesURL is empty; the cause of a failure goes to standard error
  --page FILE      with --print: read FILE as the downloaded page instead
  --url URL        with --print: download URL instead of the configured Param/RatesURL
  --format F       with --print: text (the display lines, the default), json or csv (one
                   record per instrument: name, display name, code, value as shown or
                   null, decimals, time (ISO 8601, local), source (portal, ecb, boc, page
                   or walk; portal+ecb for one computed from both), age_seconds where
                   known, demo, then previous_close, change and change_pct, null where
                   unknown, raw_value and why a value is null); messages then go to
                   standard error, as does why an instrument is N/A,
                   and json prints {&quot;error&quot;: {&quot;code&quot;: ..., &quot;reason&quot;: ...}} on failure
  --history NAME   print the stored one-minute bars of the instrument NAME (its name,
                   the name shown, your alias or its code, e.g. EURUSD): time with its
                   offset, open, high, low, close, source; --from and --to take ISO 8601
                   times (local without an offset), the last 24 hours by default; exit
                   status 1 when there is no history yet, 2 for an unknown name
  --show-settings  print the settings in effect after loading, with every correction
  --help           print this text
  --version        print the version

Exit status of --print: 0 quotes printed, 3 the page held no quotes, 4 the download failed,
2 usage error.
</source>
        <translation>Usage: kestrel [-AUTO]
       kestrel --toggle | --show | --hide | --refresh | --settings | --quit
       kestrel --chart NAME
       kestrel --print [--page FILE | --url URL] [--format text|json|csv]
       kestrel --history NAME [--from TIME] [--to TIME] [--format text|json|csv]
       kestrel --show-settings
       kestrel --help | --version

Without an option Kestrel opens the ticker window; -AUTO (or /AUTO) marks a start from the
session&apos;s autostart entry. A second start on the same settings shows the running window.

  --toggle         hide the running ticker&apos;s window, or show it when hidden or covered
  --show, --hide   show (in front) or hide the running ticker&apos;s window
  --refresh        download the quotes now
  --settings       open the settings dialog
  --quit           end the running ticker
                   --toggle, --show and --settings start a ticker when none runs; the
                   others end with status 1
  --chart NAME     open the running ticker&apos;s chart of the instrument NAME (its name, short
                   name or code, e.g. 欧元美元 or EURUSD); status 2 when it knows no such
                   instrument, 1 when no ticker runs
  --print          read the prices once and print the display lines (UTF-8): from the
                   rates page at Param/RatesURL, or from the public feeds of [Sources]
                   when RatesURL is empty; the cause of a failure goes to standard error
  --page FILE      with --print: read FILE as the downloaded page instead
  --url URL        with --print: download URL instead of the configured Param/RatesURL
  --format F       with --print: text (the display lines, the default), json or csv (one
                   record per instrument: name, display name, code, value as shown or
                   null, decimals, time (ISO 8601, local), source (portal, ecb, boc, page
                   or walk; portal+ecb for one computed from both), age_seconds where
                   known, demo, then previous_close, change and change_pct, null where
                   unknown, raw_value and why a value is null); messages then go to
                   standard error, as does why an instrument is N/A,
                   and json prints {&quot;error&quot;: {&quot;code&quot;: ..., &quot;reason&quot;: ...}} on failure
  --history NAME   print the stored one-minute bars of the instrument NAME (its name,
                   the name shown, your alias or its code, e.g. EURUSD): time with its
                   offset, open, high, low, close, source; --from and --to take ISO 8601
                   times (local without an offset), the last 24 hours by default; exit
                   status 1 when there is no history yet, 2 for an unknown name
  --show-settings  print the settings in effect after loading, with every correction
  --help           print this text
  --version        print the version

Exit status of --print: 0 quotes printed, 3 the page held no quotes, 4 the download failed,
2 usage error.
</translation>
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
        <translation>FX and gold at a glance</translation>
    </message>
    <message>
        <source>正在读取牌价……</source>
        <translation>Loading rates…</translation>
    </message>
    <message>
        <source>数据传送有误！请检查网络</source>
        <translation>No data! Check the network</translation>
    </message>
    <message>
        <source>稍后将再次尝试连接...</source>
        <translation>Retrying shortly...</translation>
    </message>
    <message>
        <source>数据源有应答，但报价时间未再更新</source>
        <translation>Feeds answer, quotes stalled</translation>
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
        <translation>Reloading rates...</translation>
    </message>
</context>
<context>
    <name>QuoteLines</name>
    <message>
        <source>【演示牌价】</source>
        <translation>【Demo rates】</translation>
    </message>
    <message>
        <source>【牌价更新时间】</source>
        <translation>【Updated】</translation>
    </message>
    <message>
        <source>外汇牌价源数据有误，无法提供报价</source>
        <translation>Bad data from the rates source</translation>
    </message>
    <message>
        <source>稍后将再次尝试连接...</source>
        <translation>Retrying shortly...</translation>
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
    <name>kestrel::ErrorReport</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>kestrel::HotKey</name>
    <message>
        <source>显示/隐藏牌价窗口</source>
        <translation>Show/Hide Quote Window</translation>
    </message>
</context>
<context>
    <name>kestrel::Instrument</name>
    <message>
        <source>美元指数</source>
        <translation>US Dollar Index</translation>
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
        <translation>Silver (CNY/g)</translation>
    </message>
    <message>
        <source>香港黄金</source>
        <translation>Gold (HKD)</translation>
    </message>
</context>
<context>
    <name>kestrel::SessionNotes</name>
    <message>
        <source>请在桌面快捷键设置中把热键绑定到 kestrel --toggle</source>
        <translation>Bind the hot key to kestrel --toggle in the desktop&apos;s keyboard shortcut settings</translation>
    </message>
    <message>
        <source>此桌面下窗口无法固定位置和置顶</source>
        <translation>On this desktop the window cannot keep its position or stay on top</translation>
    </message>
</context>
<context>
    <name>kestrel::Shortcuts</name>
    <message>
        <source>桌面快捷方式：</source>
        <translation>Desktop shortcut: </translation>
    </message>
    <message>
        <source>应用程序菜单：</source>
        <translation>Applications menu: </translation>
    </message>
    <message>
        <source>登录时自动启动：</source>
        <translation>Start at login: </translation>
    </message>
    <message>
        <source>已创建</source>
        <translation>created</translation>
    </message>
    <message>
        <source>未创建（已经存在）</source>
        <translation>not created (already exists)</translation>
    </message>
    <message>
        <source>未创建（没有桌面文件夹）</source>
        <translation>not created (no desktop folder)</translation>
    </message>
    <message>
        <source>未创建（安装包已提供菜单项）</source>
        <translation>not created (the package provides a menu entry)</translation>
    </message>
    <message>
        <source>未创建（无法写入文件）</source>
        <translation>not created (cannot write the file)</translation>
    </message>
</context>
<context>
    <name>kestrel::TAboutForm</name>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>kestrel::TAlarmForm</name>
    <message>
        <source>到达警报价格</source>
        <translation>Alarm Price Reached</translation>
    </message>
    <message>
        <source>您设置的警报价格</source>
        <translation>The alarm price you set</translation>
    </message>
    <message>
        <source>已经达到！</source>
        <translation>has been reached!</translation>
    </message>
    <message>
        <source>关闭警报</source>
        <translation>Stop Alarm</translation>
    </message>
</context>
<context>
    <name>kestrel::TAlarmRuleForm</name>
    <message>
        <source>警报规则</source>
        <translation>Alarm Rule</translation>
    </message>
    <message>
        <source>穿越</source>
        <translation>Crosses</translation>
    </message>
    <message>
        <source>高于</source>
        <translation>Above</translation>
    </message>
    <message>
        <source>低于</source>
        <translation>Below</translation>
    </message>
    <message>
        <source>涨跌幅</source>
        <translation>Change %</translation>
    </message>
    <message>
        <source>短时波动</source>
        <translation>Short-term move</translation>
    </message>
    <message>
        <source>一次</source>
        <translation>Once</translation>
    </message>
    <message>
        <source>重复</source>
        <translation>Repeatedly</translation>
    </message>
    <message>
        <source>货币或商品：</source>
        <translation>Instrument:</translation>
    </message>
    <message>
        <source>条件：</source>
        <translation>Condition:</translation>
    </message>
    <message>
        <source>时间窗口（分钟）：</source>
        <translation>Window (minutes):</translation>
    </message>
    <message>
        <source>报警次数：</source>
        <translation>Fires:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>价格：</source>
        <translation>Price:</translation>
    </message>
    <message>
        <source>幅度（%）：</source>
        <translation>Size (%):</translation>
    </message>
    <message>
        <source>错误：请从列表中选择货币或商品，“%1”不在其中！</source>
        <translation>Error: choose an instrument from the list; &quot;%1&quot; is not one of them!</translation>
    </message>
    <message>
        <source>错误：报警价格须是大于 0 的数字！</source>
        <translation>Error: the alarm price must be a number greater than 0!</translation>
    </message>
    <message>
        <source>错误：报警幅度须是大于 0 的数字！</source>
        <translation>Error: the alarm size must be a number greater than 0!</translation>
    </message>
    <message>
        <source>错误：时间窗口须是 1 到 %1 之间的分钟数！</source>
        <translation>Error: the window must be between 1 and %1 minutes!</translation>
    </message>
</context>
<context>
    <name>kestrel::TChartForm</name>
    <message>
        <source>走势图 - %1</source>
        <translation>Chart - %1</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>导出图片...</source>
        <translation>Export Picture...</translation>
    </message>
    <message>
        <source>导出数据...</source>
        <translation>Export Data...</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>1小时</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source>今天</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>5天</source>
        <translation>5 days</translation>
    </message>
    <message>
        <source>1个月</source>
        <translation>1 month</translation>
    </message>
    <message>
        <source>还原缩放</source>
        <translation>Reset Zoom</translation>
    </message>
    <message>
        <source>正在读取...</source>
        <translation>Loading...</translation>
    </message>
    <message>
        <source>导出图片</source>
        <translation>Export Picture</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>导出数据</source>
        <translation>Export Data</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
</context>
<context>
    <name>kestrel::TChartView</name>
    <message>
        <source>暂无数据</source>
        <translation>No data yet</translation>
    </message>
</context>
<context>
    <name>kestrel::THotKey</name>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
</context>
<context>
    <name>kestrel::TMainForm</name>
    <message>
        <source>Kestrel · %1 更新</source>
        <translation>Kestrel · updated %1</translation>
    </message>
    <message>
        <source>改进牌价读取的稳定性，网络较差时延长等待。</source>
        <translation>Rates are read more reliably: on a poor network Kestrel waits longer.</translation>
    </message>
    <message>
        <source>改进缺省字体，提高界面美观度。</source>
        <translation>Better default font for a cleaner look.</translation>
    </message>
    <message>
        <source>修改缺省显示的币种对，增加常用货币对。</source>
        <translation>New default instruments, with the common currency pairs added.</translation>
    </message>
    <message>
        <source>修改选项设置的界面，增加字体设置的预览。</source>
        <translation>Reworked settings dialog, with a preview of the quote font.</translation>
    </message>
    <message>
        <source>改进状态栏图标，网络中断时图标灰显。</source>
        <translation>Better tray icon: it turns grey while the network is down.</translation>
    </message>
    <message>
        <source>鼠标点击后即可随意拖动窗口。</source>
        <translation>Click and drag to move the window anywhere.</translation>
    </message>
    <message>
        <source>监控警报价格到达后，自动消除报警的设置。</source>
        <translation>An alarm clears itself once its price has been reached.</translation>
    </message>
    <message>
        <source>增加按F8弹出牌价的功能，热键可自定义。</source>
        <translation>Press F8 to pop up the quotes; the hot key can be changed.</translation>
    </message>
    <message>
        <source>〖牌价说明〗</source>
        <translation>[About the Quotes]</translation>
    </message>
    <message>
        <source> 重要声明：所有牌价采自网上自由报价源，可能与银行成交价有偏差。</source>
        <translation> Important: all quotes come from free sources on the Internet and may differ from bank dealing rates.</translation>
    </message>
    <message>
        <source> &#x3000;&#x3000;&#x3000;&#x3000;&#x3000;报价仅供参考，若据此交易，责任自负。</source>
        <translation>            They are for reference only; trade on them at your own risk.</translation>
    </message>
    <message>
        <source> 【货币A货币B】表示每一单位货币A兑换多少单位货币B</source>
        <translation> [AAA/BBB] is how many units of currency BBB one unit of currency AAA buys</translation>
    </message>
    <message>
        <source> 【现货黄金/白银】的单位为 美元/盎司</source>
        <translation> [Spot gold/silver] is in US dollars per troy ounce</translation>
    </message>
    <message>
        <source> 【人民币黄金/白银】的单位为 元人民币/克</source>
        <translation> [Gold/Silver (CNY/g)] is in yuan per gram</translation>
    </message>
    <message>
        <source> 【香港黄金】的单位为 港币/钱</source>
        <translation> [Gold (HKD)] is in Hong Kong dollars per mace (3.78 g)</translation>
    </message>
    <message>
        <source> 【外币人民币】表示每一单位外币兑换多少元人民币</source>
        <translation> [XXX/CNY] is how many yuan one unit of the foreign currency buys</translation>
    </message>
    <message>
        <source> 【原油】等商品均为国际市场美元/桶计价</source>
        <translation> [Crude oil] and other commodities are in US dollars per barrel, world market</translation>
    </message>
    <message>
        <source>热键 %1 已被其他程序占用</source>
        <translation>Hot key %1 is taken by another program</translation>
    </message>
    <message>
        <source>设置...</source>
        <translation>Settings...</translation>
    </message>
    <message>
        <source>自动调整窗体大小</source>
        <translation>Fit Window to Quotes</translation>
    </message>
    <message>
        <source>重新读取牌价</source>
        <translation>Refresh Rates</translation>
    </message>
    <message>
        <source>走势图...</source>
        <translation>Chart</translation>
    </message>
    <message>
        <source>总是在最前面</source>
        <translation>Always on Top</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>在线升级...</source>
        <translation>Check for Updates...</translation>
    </message>
    <message>
        <source>升级说明...</source>
        <translation>What&apos;s New...</translation>
    </message>
    <message>
        <source>牌价说明...</source>
        <translation>About the Quotes...</translation>
    </message>
    <message>
        <source>关于...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>显示/隐藏牌价窗口</source>
        <translation>Show/Hide Quote Window</translation>
    </message>
    <message>
        <source>停止警报</source>
        <translation>Silence Alarm</translation>
    </message>
    <message>
        <source>原因：</source>
        <translation>Cause: </translation>
    </message>
    <message>
        <source>正在读取</source>
        <translation>loading</translation>
    </message>
    <message>
        <source>演示牌价</source>
        <translation>Demo quotes</translation>
    </message>
    <message>
        <source>数据源未提供该品种</source>
        <translation>not offered by the feed</translation>
    </message>
    <message>
        <source>休市</source>
        <translation>Closed</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>目前已经最新版本，不需要升级。</source>
        <translation>You already have the latest version; no update is needed.</translation>
    </message>
    <message>
        <source>在线升级</source>
        <translation>Online Update</translation>
    </message>
    <message>
        <source>未找到系统托盘，关闭按钮不会隐藏窗口；请用热键或 kestrel --toggle</source>
        <translation>No system tray found, so the close button does not hide the window; use the hot key or kestrel --toggle</translation>
    </message>
    <message>
        <source>、</source>
        <comment>between the items of a list</comment>
        <translation>, </translation>
    </message>
    <message>
        <source>；</source>
        <comment>between the clauses of a message</comment>
        <translation>; </translation>
    </message>
    <message>
        <source>%1 N/A（%2）</source>
        <translation>%1 N/A (%2)</translation>
    </message>
</context>
<context>
    <name>kestrel::TSetupForm</name>
    <message>
        <source>新浪财经</source>
        <translation>Sina Finance</translation>
    </message>
    <message>
        <source>欧洲央行</source>
        <translation>ECB</translation>
    </message>
    <message>
        <source>中国银行</source>
        <translation>Bank of China</translation>
    </message>
    <message>
        <source>牌价字体</source>
        <translation>Quote Font</translation>
    </message>
    <message>
        <source>无法读取：</source>
        <translation>Unreadable: </translation>
    </message>
    <message>
        <source>（一次）</source>
        <translation> (once)</translation>
    </message>
    <message>
        <source>（重复）</source>
        <translation> (repeatedly)</translation>
    </message>
    <message>
        <source>（演示行情）</source>
        <translation> (demo quotes)</translation>
    </message>
    <message>
        <source>简称</source>
        <translation>Short Name</translation>
    </message>
    <message>
        <source>“%1”的简称（最多 %2 个字符，留空则不用简称）：</source>
        <translation>Short name for &quot;%1&quot; (at most %2 characters; leave empty for none):</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>牌价颜色</source>
        <translation>Quote Color</translation>
    </message>
    <message>
        <source>内置行情源</source>
        <translation>Built-in feeds</translation>
    </message>
    <message>
        <source>内置行情源（%1）</source>
        <translation>Built-in feeds (%1)</translation>
    </message>
    <message>
        <source>%1镜像地址(&amp;M)：</source>
        <translation>%1 &amp;mirror address:</translation>
    </message>
    <message>
        <source>错误：简称不能超过 %1 个字符！</source>
        <translation>Error: a short name cannot be longer than %1 characters!</translation>
    </message>
    <message>
        <source>错误：简称不能含控制字符！</source>
        <translation>Error: a short name cannot contain control characters!</translation>
    </message>
    <message>
        <source>牌价字体不能大于 %1 磅，已改为 %1 磅。</source>
        <translation>The quote font cannot be larger than %1 pt; it has been set to %1 pt.</translation>
    </message>
    <message>
        <source>牌价字体不能小于 %1 磅，已改为 %1 磅。</source>
        <translation>The quote font cannot be smaller than %1 pt; it has been set to %1 pt.</translation>
    </message>
    <message>
        <source>错误：弹出窗口的热键必须设置，不可以为空！</source>
        <translation>Error: the pop-up hot key must be set; it cannot be empty!</translation>
    </message>
    <message>
        <source>错误：镜像地址须是以 http:// 或 https:// 开头的网址，不可含空格！</source>
        <translation>Error: a mirror address must be a URL starting with http:// or https://, without spaces!</translation>
    </message>
    <message>
        <source>错误：请至少勾选一个内置行情源！</source>
        <translation>Error: tick at least one built-in feed!</translation>
    </message>
    <message>
        <source>错误：代理服务器地址须是主机名或 IP 地址，不带“http://”、空格或端口！</source>
        <translation>Error: the proxy address must be a host name or IP address, without &quot;http://&quot;, spaces or a port!</translation>
    </message>
    <message>
        <source>错误：代理服务器端口须是 1 到 65535 之间的数字！</source>
        <translation>Error: the proxy port must be a number from 1 to 65535!</translation>
    </message>
    <message>
        <source>Kestrel-参数设置</source>
        <translation>Kestrel Settings</translation>
    </message>
    <message>
        <source>显示币种</source>
        <translation>Instruments</translation>
    </message>
    <message>
        <source>常规选项</source>
        <translation>General</translation>
    </message>
    <message>
        <source>字体显示</source>
        <translation>Appearance</translation>
    </message>
    <message>
        <source>快捷方式</source>
        <translation>Shortcuts</translation>
    </message>
    <message>
        <source>提示警报</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <source>网络设置</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>&gt;&gt; 选择</source>
        <translation>&gt;&gt; Add</translation>
    </message>
    <message>
        <source>&lt;&lt; 取消选择</source>
        <translation>&lt;&lt; Remove</translation>
    </message>
    <message>
        <source>向上移</source>
        <translation>Move up</translation>
    </message>
    <message>
        <source>向下移</source>
        <translation>Move down</translation>
    </message>
    <message>
        <source>简称(&amp;N)...</source>
        <translation>Short &amp;Name...</translation>
    </message>
    <message>
        <source>为选中的牌价设一个显示用的简称</source>
        <translation>Give the selected quote a short name to show</translation>
    </message>
    <message>
        <source>所有货币或商品(&amp;A)</source>
        <translation>&amp;All instruments</translation>
    </message>
    <message>
        <source>已选中的货币或商品(&amp;C)</source>
        <translation>&amp;Chosen instruments</translation>
    </message>
    <message>
        <source>请选择要显示的牌价</source>
        <translation>Choose the quotes to show</translation>
    </message>
    <message>
        <source>刷新牌价间隔时间（秒）</source>
        <translation>Refresh rates every (seconds)</translation>
    </message>
    <message>
        <source>显示牌价刷新时间(&amp;1)</source>
        <translation>Show the refresh time (&amp;1)</translation>
    </message>
    <message>
        <source>显示倒计时进度(&amp;2)</source>
        <translation>Show the countdown bar (&amp;2)</translation>
    </message>
    <message>
        <source>窗体自动半透明隐藏(&amp;3)</source>
        <translation>Fade the window when idle (&amp;3)</translation>
    </message>
    <message>
        <source>周末时不随系统自动加载(&amp;4)</source>
        <translation>Do not start at login at weekends (&amp;4)</translation>
    </message>
    <message>
        <source>热键须带 Ctrl 或 Alt；F1–F24、Pause、Print、Scroll Lock 可单独使用</source>
        <translation>A hot key needs Ctrl or Alt; F1–F24, Pause, Print and Scroll Lock work alone</translation>
    </message>
    <message>
        <source>按此热键时弹出牌价窗口</source>
        <translation>Press this hot key to pop up the quote window</translation>
    </message>
    <message>
        <source>时间间隔</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>弹出窗口热键</source>
        <translation>Pop-up Hot Key</translation>
    </message>
    <message>
        <source>设置牌价显示字体(&amp;F)</source>
        <translation>Quote &amp;Font...</translation>
    </message>
    <message>
        <source>设置牌价显示颜色(&amp;O)</source>
        <translation>Quote C&amp;olor...</translation>
    </message>
    <message>
        <source>牌价字体示例</source>
        <translation>Quote font sample</translation>
    </message>
    <message>
        <source>红跌绿涨</source>
        <translation>Green up, red down</translation>
    </message>
    <message>
        <source>红涨绿跌</source>
        <translation>Red up, green down</translation>
    </message>
    <message>
        <source>蓝涨橙跌</source>
        <translation>Blue up, orange down</translation>
    </message>
    <message>
        <source>便于色弱者分辨</source>
        <translation>Easier to tell apart with color blindness</translation>
    </message>
    <message>
        <source>低调（不着色）</source>
        <translation>Plain (no colors)</translation>
    </message>
    <message>
        <source>牌价色彩</source>
        <translation>Quote Colors</translation>
    </message>
    <message>
        <source>显示涨跌（与昨收相比）</source>
        <translation>Show change (against previous close)</translation>
    </message>
    <message>
        <source>显示涨跌箭头</source>
        <translation>Show up/down arrows</translation>
    </message>
    <message>
        <source>显示近4小时走势</source>
        <translation>Show the last 4 hours&apos; trend</translation>
    </message>
    <message>
        <source>倍行间距</source>
        <translation>× line height</translation>
    </message>
    <message>
        <source>牌价行间距离</source>
        <translation>Line Spacing</translation>
    </message>
    <message>
        <source>牌价行内容</source>
        <translation>Quote Line Contents</translation>
    </message>
    <message>
        <source>登录时自动启动(&amp;1)</source>
        <translation>Start at login (&amp;1)</translation>
    </message>
    <message>
        <source>桌面快捷方式(&amp;2)</source>
        <translation>Desktop shortcut (&amp;2)</translation>
    </message>
    <message>
        <source>应用程序菜单(&amp;3)</source>
        <translation>Applications menu (&amp;3)</translation>
    </message>
    <message>
        <source>立即创建(&amp;C)</source>
        <translation>&amp;Create Now</translation>
    </message>
    <message>
        <source>创建快捷方式</source>
        <translation>Create Shortcuts</translation>
    </message>
    <message>
        <source>“登录时自动启动”在按“确定”后生效；桌面和菜单快捷方式由“立即创建”生成</source>
        <translation>&quot;Start at login&quot; takes effect when you press &quot;OK&quot;; &quot;Create Now&quot; makes the desktop and menu shortcuts</translation>
    </message>
    <message>
        <source>每隔</source>
        <translation>Every</translation>
    </message>
    <message>
        <source>分钟，自动弹出牌价窗体到最前面</source>
        <translation>minutes, bring the quote window to the front</translation>
    </message>
    <message>
        <source>使用牌价监控报警，当牌价到达一定价格时，自动报警</source>
        <translation>Watch the quotes and raise an alarm when a price is reached</translation>
    </message>
    <message>
        <source>监控币种：</source>
        <translation>Instrument:</translation>
    </message>
    <message>
        <source>报警价格：</source>
        <translation>Alarm price:</translation>
    </message>
    <message>
        <source>同时连续发出声音报警（播放%1）</source>
        <translation>Also keep sounding the alarm (plays %1)</translation>
    </message>
    <message>
        <source>添加...</source>
        <translation>Add...</translation>
    </message>
    <message>
        <source>编辑...</source>
        <translation>Edit...</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>警报规则(&amp;R)：</source>
        <translation>Alarm &amp;rules:</translation>
    </message>
    <message>
        <source>桌面通知</source>
        <translation>Desktop notification</translation>
    </message>
    <message>
        <source>警报时运行：</source>
        <translation>On alarm, run:</translation>
    </message>
    <message>
        <source>定时显示牌价</source>
        <translation>Show Quotes Periodically</translation>
    </message>
    <message>
        <source>牌价监控报警</source>
        <translation>Price Alarms</translation>
    </message>
    <message>
        <source>使用系统的代理设置（推荐）</source>
        <translation>Use the system proxy settings (recommended)</translation>
    </message>
    <message>
        <source>不通过代理服务器连接网络</source>
        <translation>Connect without a proxy server</translation>
    </message>
    <message>
        <source>手工设置代理服务器：</source>
        <translation>Set the proxy server by hand:</translation>
    </message>
    <message>
        <source>地址：</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>端口：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>用户名：</source>
        <translation>User name:</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>代理服务器设置</source>
        <translation>Proxy Server</translation>
    </message>
    <message>
        <source>勾选要读取的行情源；排在前面的优先</source>
        <translation>Tick the feeds to read; those higher up come first</translation>
    </message>
    <message>
        <source>镜像地址(&amp;M)：</source>
        <translation>&amp;Mirror address:</translation>
    </message>
    <message>
        <source>留空则读取该行情源本身的地址</source>
        <translation>Leave empty to read the feed&apos;s own address</translation>
    </message>
    <message>
        <source>牌价网址：</source>
        <translation>Rates page URL:</translation>
    </message>
    <message>
        <source>牌价来源</source>
        <translation>Quote Source</translation>
    </message>
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
    <message numerus="yes">
        <source>有 %n 行警报规则无法读取，将原样保留，不能编辑。</source>
        <translation>
            <numerusform>%n alarm rule line cannot be read; it is kept as it is and cannot be edited.</numerusform>
            <numerusform>%n alarm rule lines cannot be read; they are kept as they are and cannot be edited.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>kestrel::TTrayIcon</name>
    <message>
        <source>托盘图标的事件处理出错</source>
        <translation>The tray icon failed to handle an event</translation>
    </message>
</context>
</TS>
