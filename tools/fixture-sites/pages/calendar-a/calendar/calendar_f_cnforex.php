<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>财经日历</title>
</head>
<body>
<div id="nav"><a href="/">首页</a> | 财经日历</div>
<div id="div_calendar">
<table class="calendar" width="100%">
<tr><th>时间</th><th>事件</th><th>重要性</th><th>前值</th><th>预测值</th><th>公布值</th></tr>
<tr><td>10:00</td><td>中国11月社会融资规模</td><td>中</td><td>1.8万亿</td><td>2.1万亿</td><td></td></tr>
<tr><td>21:30</td><td>美国11月零售销售(月率)</td><td>高</td><td>0.4%</td><td>0.3%</td><td></td></tr>
</table>
</div>
<div id="foot">数据仅供参考</div>
</body>
</html>
