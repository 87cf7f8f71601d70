#pragma once
#include <string>

// A page of the program's resources for the browser tests ("test.htm").
inline constexpr const char* kTestPage = R"HTML(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">
<html><head><meta charset="utf-8"><title>测试</title>
<script src="zidara.js"></script>
<script src="jquery.js"></script>
<script>
var clicks = 0;
function countClick() { clicks++; document.getElementById("Counter").innerText = String(clicks); }
var oPopup = null;
function linkfun(t) { document.getElementById("Counter").innerText = t; }
function iPopup() {
  oPopup = window.createPopup();
  oPopup.document.body.innerHTML = "<div style='width:120px;height:50px;background:#ffffcc' onclick='parent.linkfun(\"新闻\")'>item</div>";
  oPopup.show(5, 6, 120, 50, document.getElementById("Box"));
}
function PopupClose() { oPopup.hide(); }
</script>
<style>body { margin: 0; font: 11px Tahoma; }</style>
</head>
<body id="mBody">
<div id="Box" style="position:absolute; left:10px; top:20px; width:120px; height:30px;">
  <span id="HeadBid">1.23</span><button id="iOK" style="width:60px;height:20px">OK</button>
</div>
<div id="Counter">0</div>
<input id="Tick" type="checkbox" onclick="countClick()">
<input id="Volume" type="text" value="0.1">
<input id="Secs" type="text" value="" onkeydown="return onlyNum(event)">
<table id="iTable"><tr><td>a</td><td>b</td></tr></table>
<img id="Logo" src="logo.gif">
</body></html>)HTML";

inline const std::string kBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";
