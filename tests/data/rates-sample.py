#!/usr/bin/env python3
"""Writes rates-sample.html, a saved rates page in GBK bytes as the quote server lays it out."""
import pathlib

# name, bid, decimals (None: the server had no price for it)
ROWS = [
    ("美元指数", 99.52, 2), ("欧元美元", 1.1620, 4), ("英镑美元", 1.3350, 4),
    ("美元日元", 155.20, 2), ("澳元美元", 0.6550, 4), ("美元加元", 1.3980, 4),
    ("美元瑞郎", 0.8030, 4), ("纽元美元", 0.5720, 4), ("美元人民币", 7.0800, 4),
    ("美元坡元", 1.2980, 4), ("瑞典克郎", 9.4520, 4), ("美元港币", 7.7780, 4),
    ("欧元英镑", 0.8700, 4), ("欧元日元", 180.35, 2), ("澳元日元", 101.65, 2),
    ("英镑日元", 207.20, 2), ("欧元瑞郎", 0.9330, 4), ("欧元加元", 1.6245, 4),
    ("欧元澳元", 1.7740, 4), ("英镑港币", 10.3840, 4), ("英镑瑞郎", 1.0720, 4),
    ("英镑坡元", 1.7330, 4), ("英镑加元", 1.8665, 4), ("英镑澳元", 2.0380, 4),
    ("澳元加元", 0.9157, 4), ("澳元瑞郎", 0.5260, 4), ("澳元港币", 5.0945, 4),
    ("加元日元", 111.00, 2), ("瑞郎日元", 193.25, 2), ("NYMEX原油", 58.45, 2),
    ("布伦特原油", 62.30, 2), ("现货黄金", 4205.30, 2), ("现货白银", 58.12, 2),
    # Last, so that nothing numeric follows its empty cells within the eleven lines the parser
    # reads after a title: shorter rows would otherwise lend it the next row's bid.
    ("天然气", None, 4),
]

lines = [
    "<html>",
    "<head>",
    '<meta http-equiv="Content-Type" content="text/html; charset=gb2312">',
    "<title>外汇牌价</title>",
    "</head>",
    "<body>",
    '<div class="nav"><a href="/">首页</a> | <a href="/rates/">外汇牌价</a></div>',
    '<table class="rates">',
    "<tr><th>品种</th><th>买入</th><th>卖出</th><th>最高</th><th>最低</th>"
    "<th>涨跌</th><th>幅度</th><th>时间</th><th>货币走势图</th></tr>",
]
for i, (name, bid, dec) in enumerate(ROWS):
    lines.append(f'<tr><td><a href="/chart/{i}" title="{name}">{name}</a></td>')
    if bid is None:
        lines += ["<td>--</td>"] * 7
    else:
        step = 10 ** -dec
        change = (i % 5 - 2) * 3 * step
        cells = [bid, bid + 3 * step, bid + 40 * step, bid - 35 * step, change]
        lines += [f"<td>{v:.{dec}f}</td>" for v in cells]
        lines.append(f"<td>{change / bid * 100:+.2f}%</td>")
        lines.append(f"<td>14:{i:02d}:{(i * 7) % 60:02d}</td>")
    lines.append("</tr>")
lines += ["</table>", "</body>", "</html>"]

out = pathlib.Path(__file__).with_name("rates-sample.html")
out.write_bytes(("\r\n".join(lines) + "\r\n").encode("gbk"))
