<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<title>分析师</title>
</head>
<body>
<table><tr><td>张分析</td></tr><tr><td>李分析</td></tr></table>
</body>
</html>
