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
    <message>
        <source>利率 %1</source>
        <translation>rate %1</translation>
    </message>
    <message>
        <source>%1 (%2天)</source>
        <translation>%1 (%2 days)</translation>
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
        <source>走势 %1 %2</source>
        <translation>Chart %1 %2</translation>
    </message>
    <message>
        <source>1月</source>
        <translation>Jan</translation>
    </message>
    <message>
        <source>2月</source>
        <translation>Feb</translation>
    </message>
    <message>
        <source>3月</source>
        <translation>Mar</translation>
    </message>
    <message>
        <source>4月</source>
        <translation>Apr</translation>
    </message>
    <message>
        <source>5月</source>
        <translation>May</translation>
    </message>
    <message>
        <source>6月</source>
        <translation>Jun</translation>
    </message>
    <message>
        <source>7月</source>
        <translation>Jul</translation>
    </message>
    <message>
        <source>8月</source>
        <translation>Aug</translation>
    </message>
    <message>
        <source>9月</source>
        <translation>Sep</translation>
    </message>
    <message>
        <source>10月</source>
        <translation>Oct</translation>
    </message>
    <message>
        <source>11月</source>
        <translation>Nov</translation>
    </message>
    <message>
        <source>12月</source>
        <translation>Dec</translation>
    </message>
    <message>
        <source>认购</source>
        <translation>Call</translation>
    </message>
    <message>
        <source>认沽</source>
        <translation>Put</translation>
    </message>
    <message>
        <source>标的</source>
        <translation>Underlying</translation>
    </message>
    <message>
        <source>暂无成交</source>
        <translation>No trades yet</translation>
    </message>
    <message>
        <source>%1  %2 元</source>
        <translation>%1  %2 CNY</translation>
    </message>
    <message>
        <source>%1 (元)</source>
        <translation>%1 (CNY)</translation>
    </message>
    <message>
        <source>北京时间</source>
        <translation>UTC+8</translation>
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
        <source>行情</source>
        <translation>Quote</translation>
    </message>
    <message>
        <source>定价</source>
        <translation>Valuation</translation>
    </message>
    <message>
        <source>定价价格</source>
        <translation>Price used</translation>
    </message>
    <message>
        <source>价格来源</source>
        <translation>Price source</translation>
    </message>
    <message>
        <source>标的价格</source>
        <translation>Underlying price</translation>
    </message>
    <message>
        <source>无风险利率</source>
        <translation>Risk-free rate</translation>
    </message>
    <message>
        <source>买价隐含波动率</source>
        <translation>IV at the bid</translation>
    </message>
    <message>
        <source>卖价隐含波动率</source>
        <translation>IV at the ask</translation>
    </message>
    <message>
        <source>内在价值</source>
        <translation>Intrinsic value</translation>
    </message>
    <message>
        <source>时间价值</source>
        <translation>Time value</translation>
    </message>
    <message>
        <source>杠杆倍数</source>
        <translation>Leverage</translation>
    </message>
    <message>
        <source>合约单位</source>
        <translation>Contract unit</translation>
    </message>
    <message>
        <source>希腊值</source>
        <translation>Greeks</translation>
    </message>
    <message>
        <source>每单位</source>
        <translation>Per unit</translation>
    </message>
    <message>
        <source>每张合约</source>
        <translation>Per contract</translation>
    </message>
    <message>
        <source>Vega (每1%波动率)</source>
        <translation>Vega (per 1% volatility)</translation>
    </message>
    <message>
        <source>Theta (每日)</source>
        <translation>Theta (per day)</translation>
    </message>
    <message>
        <source>Rho (每1%利率)</source>
        <translation>Rho (per 1% rate)</translation>
    </message>
    <message>
        <source>买卖中间价</source>
        <translation>Mid of bid and ask</translation>
    </message>
    <message>
        <source>昨收价</source>
        <translation>Previous close</translation>
    </message>
    <message>
        <source>已到期</source>
        <translation>Expired</translation>
    </message>
    <message>
        <source>低于内在价值</source>
        <translation>Below intrinsic value</translation>
    </message>
    <message>
        <source>高于无套利上限</source>
        <translation>Above the no-arbitrage bound</translation>
    </message>
    <message>
        <source>无标的价格</source>
        <translation>No underlying price</translation>
    </message>
    <message>
        <source>无价格</source>
        <translation>No price</translation>
    </message>
    <message>
        <source>无隐含波动率与希腊值: %1</source>
        <translation>No implied volatility or greeks: %1</translation>
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
        <source> · 合并 %1 笔/秒</source>
        <translation> · merged %1/s</translation>
    </message>
    <message>
        <source> · 未列代码 %1 笔</source>
        <translation> · unlisted symbols %1</translation>
    </message>
    <message>
        <source> · 拒收 %1 笔</source>
        <translation> · refused %1</translation>
    </message>
    <message>
        <source>连接 %1 · </source>
        <translation>Clients: %1 · </translation>
    </message>
    <message>
        <source>走势</source>
        <translation>Chart</translation>
    </message>
    <message>
        <source>详情</source>
        <translation>Detail</translation>
    </message>
    <message>
        <source>波动率微笑(&amp;M)</source>
        <translation>Volatility s&amp;mile</translation>
    </message>
</context>
<context>
    <name>SmilePage</name>
    <message>
        <source>波动率微笑</source>
        <translation>Volatility smile</translation>
    </message>
    <message>
        <source>行权价</source>
        <translation>Strike</translation>
    </message>
    <message>
        <source>隐含波动率 (%)</source>
        <translation>Implied volatility (%)</translation>
    </message>
    <message>
        <source>平值波动率期限结构</source>
        <translation>ATM volatility term structure</translation>
    </message>
    <message>
        <source>剩余天数</source>
        <translation>Days to expiry</translation>
    </message>
    <message>
        <source>平值隐含波动率 (%)</source>
        <translation>ATM implied volatility (%)</translation>
    </message>
    <message>
        <source>平值</source>
        <translation>ATM</translation>
    </message>
    <message>
        <source>无标的</source>
        <translation>No underlying</translation>
    </message>
    <message>
        <source>波动率 %1</source>
        <translation>Volatility %1</translation>
    </message>
    <message>
        <source>%1  %2  利率 %3%</source>
        <translation>%1  %2  rate %3%</translation>
    </message>
    <message>
        <source>%1 (%2天)</source>
        <translation>%1 (%2 days)</translation>
    </message>
    <message>
        <source>平值波动率期限结构 (暂无报价)</source>
        <translation>ATM volatility term structure (no quotes yet)</translation>
    </message>
    <message>
        <source>波动率微笑 (暂无报价)</source>
        <translation>Volatility smile (no quotes yet)</translation>
    </message>
</context>
<context>
    <name>PaneDock</name>
    <message>
        <source>保留为页面</source>
        <translation>Keep as a tab</translation>
    </message>
    <message>
        <source>把此窗格的内容复制到一个固定显示该期权的页面</source>
        <translation>Copy this pane into a tab that stays on this option</translation>
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
