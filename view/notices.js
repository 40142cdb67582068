// What the page tells the operator: one passing message; warnings that stay, in both
// modes, until dismissed; and that it is busy while files are read (aria-busy on the
// body, with the wait cursor).
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var busy = 0, warnings = [];  // {key, text, dismissed}

  TV.say = function (text, note) {
    $("message").textContent = text || "";
    $("message").className = note ? "note" : "";
  };

  // Runs one step of work; its failure is told on the page.
  TV.task = function (work) {
    if (++busy === 1) document.body.setAttribute("aria-busy", "true");
    return Promise.resolve().then(work).catch(function (e) { TV.say(e.message); })
      .finally(function () { if (--busy === 0) document.body.removeAttribute("aria-busy"); });
  };

  // A warning under its key; told again with another text, it shows again even if the
  // earlier one was dismissed. null takes it away: what it warned of is gone.
  TV.warn = function (key, text) {
    var w = warnings.filter(function (v) { return v.key === key; })[0];
    if (text ? w && w.text === text : !w) return;  // nothing changes
    if (!text) warnings = warnings.filter(function (v) { return v !== w; });
    else if (!w) warnings.push({ key: key, text: text, dismissed: false });
    else if (w.text !== text) { w.text = text; w.dismissed = false; }
    list();
  };

  // Every warning that holds under keys beginning with prefix, dismissed or not.
  TV.warnings = function (prefix) {
    return warnings.filter(function (w) { return w.key.indexOf(prefix) === 0; })
      .map(function (w) { return w.text; });
  };

  function list() {
    var ul = $("warnings");
    ul.textContent = "";
    warnings.forEach(function (w) {
      if (w.dismissed) return;
      var li = document.createElement("li"), ok = document.createElement("button");
      li.textContent = w.text + " ";
      ok.textContent = "Dismiss";
      ok.onclick = function () { w.dismissed = true; list(); };
      li.appendChild(ok);
      ul.appendChild(li);
    });
  }
})();
