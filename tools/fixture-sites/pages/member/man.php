<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>分析师</title>
</head>
<body>
<div class="head">分析师</div>
<table><tr><td>张分析</td></tr><tr><td>李分析</td></tr><tr><td>王&amp;赵 组合</td></tr></table>
<table><tr><td>不属于列表</td></tr></table>
</body>
</html>
