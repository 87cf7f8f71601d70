// Shared page script: element lookup, text fields, PNG images, tick-box images, key filters and the
// context menu.

// The page's own text fields: the only places where text may be selected or pasted.
function isTextInput(el) {
    return el && ((el.tagName == "INPUT" && (el.type == "text" || el.type == "")) || el.tagName == "TEXTAREA");
}

function GetObj(id) {
    if (typeof id != "string") return id;
    return document.getElementById(id);
}

// Old browsers (5.5 up to 7) draw a PNG's alpha only through the image-loader filter.
function fixPNG(img) {
    var m = /MSIE (\d+\.\d+)/.exec(navigator.appVersion);
    if (!m) return;
    var v = parseFloat(m[1]);
    if (v < 5.5 || v >= 7 || !img || !img.src) return;
    var w = img.width, h = img.height;
    img.style.filter = "progid:DXImageTransform.Microsoft.AlphaImageLoader(src='" + img.src + "', sizingMethod='scale')";
    img.src = "blank.gif";
    img.width = w;
    img.height = h;
}

// A click on the image beside a tick box toggles the box when it is enabled, focuses it
// and fires its click handler.
function imgClick(box) {
    var el = GetObj(box);
    if (!el || el.disabled) return;
    el.checked = !el.checked;
    try { el.focus(); } catch (e) {}
    el.fireEvent("onclick");
}

function keyEvent(e) { return e || window.event; }

// Swallows F5 (reload) and Ctrl+F (find).
function KeyDown(e) {
    e = keyEvent(e);
    if (!e) return true;
    var k = e.keyCode;
    if (k == 116 || (e.ctrlKey && k == 70)) {
        try { e.keyCode = 0; } catch (x) {}
        if (e.preventDefault) e.preventDefault();
        e.returnValue = false;
        return false;
    }
    return true;
}

// Lets through only digits of both key blocks, Tab, Delete, Backspace and Left/Right.
function onlyNum(e) {
    e = keyEvent(e);
    if (!e) return true;
    var k = e.keyCode;
    if ((k >= 48 && k <= 57 && !e.shiftKey) || (k >= 96 && k <= 105) ||
        k == 9 || k == 46 || k == 8 || k == 37 || k == 39) return true;
    if (e.preventDefault) e.preventDefault();
    e.returnValue = false;
    return false;
}

// Lets the browser's context menu through on the element that calls it.
function PopMenu(e) {
    e = keyEvent(e);
    if (e) e.cancelBubble = true;
    return true;
}

function nocontextmenu(e) {
    e = keyEvent(e);
    if (e) {
        e.cancelBubble = true;
        e.returnValue = false;
        if (e.preventDefault) e.preventDefault();
    }
    return false;
}

document.oncontextmenu = nocontextmenu;
