// Injected into every document before its own scripts: what the pages expect of the old
// browser, and the host's handle table for elements.
(function () {
    "use strict";
    if (window.__pn) return;
    // placed: the elements that were in a document when handed out; kept: the table's size after
    // its last sweep; freed: sink ids no element calls any more, for the host to let go of.
    var pn = { n: 0, h: new Map(), w: new WeakMap(), placed: new WeakSet(), kept: 0, freed: [], popups: 0,
               token: Math.random().toString(36).slice(2) + Date.now().toString(36) };
    Object.defineProperty(window, "__pn", { value: pn });

    function send(obj) {
        var b = window.__pennantEvent;
        if (typeof b === "function") b(JSON.stringify(obj));
    }

    // ---- ids without regard to case ----
    var nativeById = Document.prototype.getElementById;
    function findId(doc, id, byName) {
        if (id == null) return null;
        id = String(id);
        var e = nativeById.call(doc, id);
        if (e) return e;
        var low = id.toLowerCase();
        var list = doc.querySelectorAll(byName ? "[id],[name]" : "[id]");
        for (var i = 0; i < list.length; i++) {
            var x = list[i];
            if (x.id && x.id.toLowerCase() === low) return x;
            if (byName && (x.getAttribute("name") || "").toLowerCase() === low) return x;
        }
        return null;
    }
    Document.prototype.getElementById = function (id) { return findId(this, id, false); };
    Object.defineProperty(Document.prototype, "all", {
        configurable: true,
        get: function () {
            var doc = this;
            var list = function () { return doc.getElementsByTagName("*"); };
            var f = function (name) {
                if (typeof name === "number") return list()[name] || null;
                return findId(doc, name, true);
            };
            return new Proxy(f, {
                get: function (t, k) {
                    if (k === "length") return list().length;
                    if (k === "item" || k === "namedItem") return f;
                    if (k === "tags") return function (tag) { return doc.getElementsByTagName(tag); };
                    if (k === Symbol.iterator) return function () { return Array.prototype.values.call(list()); };
                    if (typeof k === "string") {
                        if (/^\d+$/.test(k)) return list()[+k];
                        if (!(k in Function.prototype)) return findId(doc, k, true) || undefined;
                    }
                    return Reflect.get(t, k);
                }
            });
        }
    });

    // ---- fireEvent: runs the handlers only, as the old browser did (a tick box is not toggled) ----
    function fire(target, name, init) {
        var type = String(name).replace(/^on/i, "").toLowerCase();
        var ev = new Event(type, { bubbles: !/^(focus|blur|load|mouseenter|mouseleave)$/.test(type), cancelable: true });
        if (init) for (var k in init) try { Object.defineProperty(ev, k, { value: init[k] }); } catch (e) {}
        return target.dispatchEvent(ev);
    }
    Element.prototype.fireEvent = function (name, init) { return fire(this, name, init); };
    Document.prototype.fireEvent = function (name, init) { return fire(this, name, init); };

    function attach(name, fn) {
        var type = String(name).replace(/^on/i, "");
        var map = this.__pnAttached || (this.__pnAttached = new Map());
        var self = this;
        var wrap = map.get(fn) || function (e) { return fn.call(self, e); };
        map.set(fn, wrap);
        this.addEventListener(type, wrap);
        return true;
    }
    function detach(name, fn) {
        var map = this.__pnAttached;
        if (map && map.get(fn)) this.removeEventListener(String(name).replace(/^on/i, ""), map.get(fn));
    }
    [Element.prototype, Document.prototype, Window.prototype].forEach(function (p) {
        p.attachEvent = attach;
        p.detachEvent = detach;
    });
    Element.prototype.setCapture = function () {};
    Element.prototype.releaseCapture = function () {};
    Document.prototype.releaseCapture = function () {};
    Object.defineProperty(Element.prototype, "currentStyle", {
        configurable: true, get: function () { return getComputedStyle(this); } });
    Object.defineProperty(Document.prototype, "parentWindow", {
        configurable: true, get: function () { return this.defaultView; } });
    ["Left", "Top", "Width", "Height"].forEach(function (n) {
        Object.defineProperty(CSSStyleDeclaration.prototype, "pixel" + n, {
            configurable: true,
            get: function () { return parseInt(this[n.toLowerCase()], 10) || 0; },
            set: function (v) { this[n.toLowerCase()] = Math.round(Number(v) || 0) + "px"; } });
    });

    // ---- the element last pressed is the active element ----
    var pressed = null;
    addEventListener("mousedown", function (e) { if (e.target instanceof Element) pressed = e.target; }, true);
    addEventListener("focusin", function (e) { if (e.target instanceof Element) pressed = e.target; }, true);
    var nativeActive = Object.getOwnPropertyDescriptor(Document.prototype, "activeElement").get;
    Object.defineProperty(Document.prototype, "activeElement", {
        configurable: true,
        get: function () {
            if (this === document && pressed && pressed.isConnected) return pressed;
            return nativeActive.call(this);
        }
    });

    // ---- the browser's own context menu never shows; page handlers still run ----
    addEventListener("contextmenu", function (e) { e.preventDefault(); }, true);

    // ---- createPopup: a window of the host, fed from here ----
    window.createPopup = function () {
        var id = ++pn.popups;
        var w = window.open("about:blank#pnpopup-" + id, "pnpopup" + id, "popup,width=10,height=10");
        var doc = w ? w.document : document.implementation.createHTMLDocument("");
        if (w) {
            try { Object.defineProperty(w, "parent", { value: window, configurable: true }); } catch (e) {}
            doc.open();
            doc.write("<html><head><style>body{margin:0;overflow:hidden}</style></head><body></body></html>");
            doc.close();
        }
        var pop = {
            document: doc,
            isOpen: false,
            show: function (x, y, width, height, rel) {
                var r = null;
                if (rel && rel.getBoundingClientRect) {
                    var b = rel.getBoundingClientRect();
                    r = { left: Math.round(b.left), top: Math.round(b.top) };
                }
                pop.isOpen = true;
                send({ k: "popup", op: "show", id: id, x: x | 0, y: y | 0, w: width | 0, h: height | 0, rel: r });
            },
            hide: function () {
                if (!pop.isOpen) return;
                pop.isOpen = false;
                send({ k: "popup", op: "hide", id: id });
            }
        };
        return pop;
    };

    // ---- the host's side: element handles and operations ----
    // A page that replaces its content again and again (a toast refilled for each item) would
    // otherwise keep every element it ever handed out, and their whole subtrees with them.
    function sweep() {
        pn.h.forEach(function (x, id) {
            if (!pn.placed.has(x) || x.isConnected) return;
            pn.h.delete(id);
            pn.w.delete(x);
            var slots = x.__pnSinks;
            if (slots) for (var p in slots) pn.freed.push(slots[p].sink);
        });
        pn.kept = pn.h.size;
    }
    function ref(x) {
        if (x == null) return 0;
        var id = pn.w.get(x);
        if (!id) {
            if (pn.h.size >= 2 * Math.max(pn.kept, 256)) sweep();
            id = ++pn.n;
            pn.w.set(x, id);
            pn.h.set(id, x);
            if (x.isConnected) pn.placed.add(x);
        }
        return id;
    }
    function el(id) {
        var x = pn.h.get(id);
        if (!x) throw new Error("no such element");
        return x;
    }
    function out(v) {
        if (v === undefined || v === null) return null;
        if (v instanceof Node) return { $e: ref(v) };
        if (v instanceof HTMLCollection || v instanceof NodeList || Array.isArray(v)) {
            var a = [];
            for (var i = 0; i < v.length; i++) a.push(out(v[i]));
            return { $c: a };
        }
        if (typeof v === "object" || typeof v === "function") return String(v);
        if (typeof v === "number" && !isFinite(v)) return null;
        return v;
    }
    function bind(x, prop, sink) {
        prop = String(prop).toLowerCase();
        var type = prop.replace(/^on/, "");
        var slots = x.__pnSinks || (x.__pnSinks = {});
        var old = slots[prop];
        if (old && old.listener) x.removeEventListener(type, old.listener);
        if (old && !old.listener && x[prop] === old.fn) x[prop] = null;
        if (old) pn.freed.push(old.sink);
        delete slots[prop];
        if (!sink) return;
        var fn = function (e) { send({ s: sink, t: e ? e.type : type }); };
        if (prop in x) {
            x[prop] = fn;
            slots[prop] = { fn: fn, sink: sink };
        } else {
            x.addEventListener(type, fn);
            slots[prop] = { listener: fn, fn: fn, sink: sink };
        }
    }
    var ops = {
        doc: function () { return ref(document); },
        byId: function (id) { return out(findId(document, id, true)); },
        get: function (h, p) { return out(el(h)[p]); },
        set: function (h, p, v) { el(h)[p] = v; },
        sget: function (h, p) { return out(el(h).style[p]); },
        sset: function (h, p, v) { el(h).style[p] = v; },
        attr: function (h, n) { return out(el(h).getAttribute(n)); },
        setAttr: function (h, n, v) { el(h).setAttribute(n, v); },
        removeAttr: function (h, n) { el(h).removeAttribute(n); },
        call: function (h, m) {
            var x = el(h);
            if (typeof x[m] !== "function") throw new Error(m + " is not a method");
            return out(x[m].apply(x, Array.prototype.slice.call(arguments, 2)));
        },
        fire: function (h, name) { return fire(el(h), name); },
        bind: function (h, p, sink) { bind(el(h), p, sink); },
        exec: function (code) { return out((0, eval)(code)); },
        fn: function (name, args) {
            var f = window[name];
            if (typeof f !== "function") throw new Error(name + " is not a function");
            return out(f.apply(window, args));
        },
        drop: function (h) { var x = pn.h.get(h); if (x) { pn.h.delete(h); pn.w.delete(x); } }
    };
    // keepFreed: the caller does not read the answer; the freed ids wait for one that does.
    pn.run = function (token, list, keepFreed) {
        if (token && token !== pn.token) throw new Error("the document has been replaced");
        var r = [];
        for (var i = 0; i < list.length; i++) {
            var op = list[i];
            var f = ops[op[0]];
            if (!f) throw new Error("unknown operation " + op[0]);
            r.push(f.apply(null, op.slice(1)));
        }
        return [pn.token, r, keepFreed ? [] : pn.freed.splice(0)];
    };
})();
