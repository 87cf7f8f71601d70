<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>策略服务</title>
</head>
<body>
<table class="list">
<tr><td>12/10 08:30</td><td>策略服务：今日暂无更新</td></tr>
</table>
</body>
</html>
