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
<tr><td>09:30</td><td>中国11月CPI(年率)</td><td>高</td><td>0.2%</td><td>0.3%</td><td></td></tr>
<tr><td colspan="6">食品价格回升带动通胀</td></tr>
<tr><td>22:00</td><td>美国11月ISM非制造业PMI</td><td>中</td><td>52.1</td><td>52.5</td><td></td></tr>
</table>
</div>
<div id="foot">数据仅供参考</div>
</body>
</html>
