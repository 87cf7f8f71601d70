<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312">
<style>body { margin: 0; font: 13px "微软雅黑"; background: #fff8e8; } td { padding: 4px 8px; }</style>
<script>document.body && (document.body.style.background = "red");</script>
</head>
<body>
<table width="100%" height="100"><tr>
<td width="70"><img src="/images/kestrel.gif"></td>
<td><b>Kestrel 会员策略服务</b><br>每日交易提示与技术分析, 登录会员专区即可查看。</td>
</tr></table>
</body>
</html>
