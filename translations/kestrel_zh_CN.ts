<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Cli</name>
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
        <translation>用法：kestrel [-AUTO]
      kestrel --toggle | --show | --hide | --refresh | --settings | --quit
      kestrel --chart 名称
      kestrel --print [--page 文件 | --url 地址] [--format text|json|csv]
      kestrel --history 名称 [--from 时间] [--to 时间] [--format text|json|csv]
      kestrel --show-settings
      kestrel --help | --version

不带选项时 Kestrel 打开牌价窗口；-AUTO（或 /AUTO）表示由会话的自动启动项启动。
以同一设置再次启动时，显示已在运行的窗口。

  --toggle         隐藏运行中的牌价窗口；窗口已隐藏或被遮挡时则显示它
  --show, --hide   显示（置于最前）或隐藏运行中的牌价窗口
  --refresh        立即读取牌价
  --settings       打开设置对话框
  --quit           结束运行中的牌价程序
                   没有程序运行时，--toggle、--show 和 --settings 会启动它；
                   其余选项以状态 1 结束
  --chart 名称     在运行中的程序里打开该品种的走势图（名称、简称或代码均可，
                   如 欧元美元 或 EURUSD）；不认识该品种时状态为 2，没有程序运行时为 1
  --print          读取一次牌价并打印显示的各行（UTF-8）：来自 Param/RatesURL 的牌价页，
                   RatesURL 为空时来自 [Sources] 的公开数据源；失败原因写到标准错误
  --page 文件      与 --print 同用：把该文件当作下载的牌价页读取
  --url 地址       与 --print 同用：下载该地址，而不是设置中的 Param/RatesURL
  --format 格式    与 --print 同用：text（显示的各行，默认）、json 或 csv（每个品种一条记录：
                   名称、显示名称、代码、显示的数值或 null、小数位数、时间（ISO 8601，本地）、
                   来源（portal、ecb、boc、page 或 walk；由两者算出的为 portal+ecb）、
                   已知时的 age_seconds、demo，然后是 previous_close、change 和 change_pct，
                   未知时为 null，raw_value 以及数值为 null 的原因）；此时消息写到标准错误，
                   品种为 N/A 的原因也是，json 在失败时打印 {&quot;error&quot;: {&quot;code&quot;: ..., &quot;reason&quot;: ...}}
  --history 名称   打印该品种保存的一分钟K线（名称、显示名称、您的简称或代码，如 EURUSD）：
                   带时区偏移的时间、开盘、最高、最低、收盘、来源；--from 和 --to 接受
                   ISO 8601 时间（不带偏移时为本地时间），默认为最近 24 小时；
                   尚无历史时退出状态为 1，名称未知时为 2
  --show-settings  打印读取后生效的设置，以及每一处更正
  --help           打印本说明
  --version        打印版本

--print 的退出状态：0 已打印牌价，3 牌价页中没有牌价，4 下载失败，2 用法错误。
</translation>
    </message>
</context>
</TS>
