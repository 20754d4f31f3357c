<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>AppController</name>
    <message>
        <source>没有可用的页面插件</source>
        <translation>No page plugin available</translation>
    </message>
    <message>
        <source>无行情</source>
        <translation>No feed</translation>
    </message>
    <message>
        <source>回放 %1</source>
        <translation>Replay %1</translation>
    </message>
    <message>
        <source>监听 127.0.0.1:%1</source>
        <translation>Listening on 127.0.0.1:%1</translation>
    </message>
    <message>
        <source>模拟行情 (种子 %1)</source>
        <translation>Simulated market (seed %1)</translation>
    </message>
</context>
<context>
    <name>BoardPrinter</name>
    <message>
        <source>标的: </source>
        <translation>Underlying: </translation>
    </message>
    <message>
        <source>日期: </source>
        <translation>Dates: </translation>
    </message>
</context>
<context>
    <name>CDataBase</name>
    <message>
        <source>买价</source>
        <translation>Bid</translation>
    </message>
    <message>
        <source>卖价</source>
        <translation>Ask</translation>
    </message>
    <message>
        <source>最新价</source>
        <translation>Last</translation>
    </message>
    <message>
        <source>涨跌幅</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>涨停价</source>
        <translation>Max</translation>
    </message>
    <message>
        <source>跌停价</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>持仓量</source>
        <translation>Open int.</translation>
    </message>
    <message>
        <source>行权价</source>
        <translation>Strike</translation>
    </message>
</context>
<context>
    <name>ChartPage</name>
    <message>
        <source>走势 %1</source>
        <translation>Chart %1</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>期权</source>
        <translation>Option</translation>
    </message>
    <message>
        <source>标的</source>
        <translation>Underlying</translation>
    </message>
</context>
<context>
    <name>DetailPage</name>
    <message>
        <source>最新价</source>
        <translation>Last</translation>
    </message>
    <message>
        <source>买价</source>
        <translation>Bid</translation>
    </message>
    <message>
        <source>卖价</source>
        <translation>Ask</translation>
    </message>
    <message>
        <source>涨跌幅</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>持仓量</source>
        <translation>Open interest</translation>
    </message>
    <message>
        <source>剩余天数</source>
        <translation>Days to expiry</translation>
    </message>
    <message>
        <source>隐含波动率</source>
        <translation>Implied volatility</translation>
    </message>
    <message>
        <source>%1  %2  行权价 %3  到期 %4</source>
        <translation>%1  %2  strike %3  expiry %4</translation>
    </message>
    <message>
        <source>Delta</source>
        <translation>Delta</translation>
    </message>
    <message>
        <source>Gamma</source>
        <translation>Gamma</translation>
    </message>
    <message>
        <source>Vega</source>
        <translation>Vega</translation>
    </message>
    <message>
        <source>Theta</source>
        <translation>Theta</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>下一个页面</source>
        <translation>Next page</translation>
    </message>
    <message>
        <source>上一个页面</source>
        <translation>Previous page</translation>
    </message>
    <message>
        <source>页面(&amp;P)</source>
        <translation>&amp;Pages</translation>
    </message>
    <message>
        <source>新建页面(&amp;N)</source>
        <translation>&amp;New page</translation>
    </message>
    <message>
        <source>关闭当前页面(&amp;C)</source>
        <translation>&amp;Close page</translation>
    </message>
    <message>
        <source>刷新(&amp;R)</source>
        <translation>&amp;Refresh</translation>
    </message>
    <message>
        <source>退出(&amp;Q)</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>页面不能关闭</source>
        <translation>This page cannot be closed</translation>
    </message>
    <message>
        <source>行情 %1 笔/秒</source>
        <translation>%1 ticks/s</translation>
    </message>
    <message>
        <source>连接 %1 · </source>
        <translation>Clients: %1 · </translation>
    </message>
</context>
<context>
    <name>TQuotation</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>所有</source>
        <translation>All</translation>
    </message>
    <message>
        <source>期权数量</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>行权对称中心</source>
        <translation>Strike centre</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>认购期权</source>
        <translation>Calls</translation>
    </message>
    <message>
        <source>标的</source>
        <translation>Underlying</translation>
    </message>
    <message>
        <source>认沽期权</source>
        <translation>Puts</translation>
    </message>
    <message>
        <source>T型行情</source>
        <translation>T-Board</translation>
    </message>
    <message>
        <source>yyyy年MM月dd日</source>
        <translation>yyyy-MM-dd</translation>
    </message>
    <message>
        <source>(%1日)</source>
        <translation>(%1d)</translation>
    </message>
    <message>
        <source>提醒</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>日</source>
        <translation>d</translation>
    </message>
    <message>
        <source>上证ETF</source>
        <translation>SSE ETF</translation>
    </message>
    <message>
        <source>深证ETF</source>
        <translation>SZSE ETF</translation>
    </message>
</context>
<context>
    <name>VelPluginBaseWidget</name>
    <message>
        <source>加载中…</source>
        <translation>Loading…</translation>
    </message>
</context>
</TS>
