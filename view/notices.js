// What the page tells the operator: one passing message, which goes once what it told
// of is gone; warnings that stay, in both modes, until dismissed; both over the panes,
// so that neither coming nor going moves the side. The pixel under the pointer, in the
// top line; numbers in the page's French. And that it is busy while files are read
// (aria-busy on the body, with the wait cursor).
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var busy = 0, holds = null;
  var warnings = [];  // {key, text, causes, dismissed (the causes it was dismissed with), actions}

  // A message, blue when a note, red otherwise. holds(), when given, says whether what
  // it tells of still holds: TV.recheck() takes the message away once it does not.
  TV.say = function (text, note, still) {
    $("message").textContent = text || "";
    $("message").className = note ? "note" : "";
    holds = text && still || null;
  };
  TV.recheck = function () { if (holds && !holds()) TV.say(""); };

  // The top line: the pixel under the pointer and what it holds; dashes when there is none.
  TV.pointerText = function (text) { $("cursor").textContent = text || "x \u2013 y \u2013"; };

  // A number in the page's French: a decimal comma, and thin spaces between the
  // thousands from 10 000 on. digits: rounded as printf's "%.Nf" (TV.fixed); else as is.
  TV.number = function (x, digits) {
    var m = /^(-?)(\d+)(.*)$/.exec(digits === undefined ? String(x) : TV.fixed(x, digits));
    if (!m) return String(x);
    return m[1] + (m[2].length > 4 ? m[2].replace(/\B(?=(\d{3})+$)/g, "\u202f") : m[2]) + m[3].replace(".", ",");
  };

  // printf's "%.Nf": the exact binary value rounded, ties to even (toFixed takes ties up).
  TV.fixed = function (x, digits) {
    var exact = x.toFixed(100), dot = exact.indexOf(".");
    var rest = exact.slice(dot + 1 + digits);
    if (!/^50*$/.test(rest)) return x.toFixed(digits);
    var kept = exact.slice(0, dot + 1 + digits), last = kept.charCodeAt(kept.length - 1) - 48;
    return last % 2 === 0 ? kept.replace(/\.$/, "") : x.toFixed(digits);
  };

  // Runs one step of work; its failure is told on the page.
  TV.task = function (work) {
    if (++busy === 1) document.body.setAttribute("aria-busy", "true");
    return Promise.resolve().then(work).catch(function (e) { TV.say(e.message); })
      .finally(function () { if (--busy === 0) document.body.removeAttribute("aria-busy"); });
  };

  // A warning under its key; null takes it away: what it warned of is gone. Its causes
  // (by default its text) say what it is about: once dismissed it stays so, whatever its
  // text becomes, until a cause joins that it was not dismissed with. actions: its own
  // buttons, [label, function] (by default one that dismisses it).
  TV.warn = function (key, text, options) {
    var w = warnings.filter(function (v) { return v.key === key; })[0], o = options || {};
    if (!text) {
      if (w) { warnings = warnings.filter(function (v) { return v !== w; }); list(); }
      return;
    }
    var causes = o.causes || [text];
    if (w && w.text === text && String(w.causes) === String(causes)) return;  // nothing changes
    if (!w) warnings.push(w = { key: key, dismissed: null });
    if (w.dismissed) w.dismissed = w.dismissed.filter(function (c) { return causes.indexOf(c) >= 0; });
    w.text = text; w.causes = causes; w.actions = o.actions;
    list();
  };

  // Every warning that holds under keys beginning with prefix, dismissed or not.
  TV.warnings = function (prefix) {
    return warnings.filter(function (w) { return w.key.indexOf(prefix) === 0; })
      .map(function (w) { return w.text; });
  };

  function shown(w) {
    return !w.dismissed || w.causes.some(function (c) { return w.dismissed.indexOf(c) < 0; });
  }

  function list() {
    var ul = $("warnings");
    ul.textContent = "";
    warnings.filter(shown).forEach(function (w) {
      var li = document.createElement("li");
      li.textContent = w.text;
      (w.actions || [["Masquer", function () { w.dismissed = w.causes.slice(); list(); }]]).forEach(function (a) {
        var b = document.createElement("button");
        b.textContent = a[0];
        b.onclick = a[1];
        li.append(" ", b);
      });
      ul.appendChild(li);
    });
  }
})();
