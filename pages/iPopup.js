// The notice page's own script: table sorting, row highlighting and the toast's plumbing.

// Orders the body rows by the text of their first cell, newest (largest) first.
function sortTable(id) {
    var table = document.getElementById(id);
    if (!table || !table.tBodies.length) return;
    var body = table.tBodies[0];
    var rows = Array.prototype.slice.call(body.rows);
    rows.sort(function (a, b) {
        var x = a.cells.length ? a.cells[0].innerText : "", y = b.cells.length ? b.cells[0].innerText : "";
        return y.localeCompare(x);
    });
    for (var i = 0; i < rows.length; i++) body.appendChild(rows[i]);
}

function rowOf(e) {
    var t = e.target;
    while (t && t.tagName != "TR") t = t.parentNode;
    return t;
}

// A row under the mouse is marked; it stays marked while chkRow is "1".
function highlight(table) {
    table.addEventListener("mousemove", function (e) {
        var r = rowOf(e);
        if (!r || r.parentNode.tagName == "THEAD") return;
        var sel = document.getElementById("selRow");
        var rows = table.rows;
        for (var i = 0; i < rows.length; i++) if (rows[i] !== r) rows[i].classList.remove("selRow");
        r.classList.add("selRow");
        sel.value = String(r.rowIndex);
    });
    table.addEventListener("mouseout", function (e) {
        if (document.getElementById("chkRow").value == "1") return;
        var r = rowOf(e);
        if (r) r.classList.remove("selRow");
        document.getElementById("selRow").value = "";
    });
}

// The toast is a window of the host: the page asks for it through its hidden buttons, which the
// window binds ("iPopup" raises it from popupWin, "Duration" closes it).
function iPopup() { document.getElementById("iPopup").click(); }

// The toast's "more" link.
function func() { document.getElementById("iMore").click(); }

// A toast item's link: the window opens the address it finds in iLink.
function linkfun(text) {
    var link = document.getElementById("iLink");
    link.value = text;
    link.click();
}

function PopupClose() { document.getElementById("Duration").click(); }

window.addEventListener("load", function () {
    highlight(document.getElementById("iTable"));
    highlight(document.getElementById("iCalTable"));
});
document.onselectstart = function (e) {
    var t = (e || window.event).target;
    return t && (t.tagName == "INPUT" || t.tagName == "SELECT");
};
