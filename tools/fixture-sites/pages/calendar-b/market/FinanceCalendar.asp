<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>财经日历</title>
</head>
<body>
<table class="calendar" width="100%">
<tr><th>时间</th><th>国家</th><th>事件</th><th>重要性</th><th>前值</th><th>预期</th></tr>
<tr><td>15:00</td><td>德国</td><td>消费者物价指数(月率)</td><td>中</td><td>0.2%</td><td>0.1%</td></tr>
<tr><td>21:30</td><td>美国</td><td>初请失业金人数</td><td>高</td><td>22.4万</td><td>22.0万</td></tr>
</table>
</body>
</html>
