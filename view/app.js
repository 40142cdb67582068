// The wiring: the two modes, the files chosen or dropped, the buttons and the keys.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var mode = "points";

  function setMode(m) {
    mode = m;
    TV.comparing.blink(false);
    $("points-panel").hidden = $("points-stage").hidden = $("points-tools").hidden = m !== "points";
    $("compare-panel").hidden = $("compare-stage").hidden = m !== "compare";
    TV.say("");
    (m === "points" ? TV.placing : TV.comparing).shown();
  }

  function viewers(which) {
    if (mode === "compare") return [TV.comparing.viewer];
    return TV.placing.panes(which).map(function (p) { return p.viewer; });
  }

  // Dropped files: an answers file is loaded; images join the series, the base when
  // dropped on the base pane, or else the results being compared.
  function dropped(e) {
    e.preventDefault();
    var files = Array.prototype.slice.call(e.dataTransfer.files);
    var answers = files.filter(function (f) { return /\.txt$/i.test(f.name); });
    var images = files.filter(function (f) { return !/\.txt$/i.test(f.name); });
    if (answers.length) TV.placing.loadAnswers(answers[0]);
    if (!images.length) return;
    if (mode === "compare") return TV.comparing.addResults(images);
    if (e.target.id === "base-view") TV.placing.setBase(images.shift());
    if (images.length) TV.placing.addFurther(images);
  }

  $("points-base").onchange = function () { if (this.files[0]) TV.placing.setBase(this.files[0]); };
  $("points-further").onchange = function () { TV.placing.addFurther(this.files); };
  $("answers-file").onchange = function () { if (this.files[0]) TV.placing.loadAnswers(this.files[0]); };
  $("save").onclick = function () { TV.placing.save(); };
  $("undo").onclick = function () { TV.placing.undo(); };
  $("redo").onclick = function () { TV.placing.redo(); };
  $("compare-base").onchange = function () { if (this.files[0]) TV.comparing.setBase(this.files[0]); };
  $("compare-results").onchange = function () { TV.comparing.addResults(this.files); };
  $("fit").onclick = function () { viewers().forEach(function (v) { v.fit(); }); };
  $("actual").onclick = function () { viewers().forEach(function (v) { v.actualPixels(); }); };
  $("linked").onchange = function () { TV.placing.link(); };
  $("show-keys").onclick = function () { $("keys").showModal(); };
  $("blink").onclick = function () { TV.comparing.blink(); };
  $("rate").onchange = function () { TV.comparing.rate(); };
  $("alpha").oninput = function () { TV.comparing.alpha(this.value / 100); };
  $("gain").oninput = function () { TV.comparing.gain(Math.pow(2, +this.value)); };
  document.querySelectorAll("input[name=mode]").forEach(function (r) {
    r.onchange = function () { setMode(r.value); };
  });
  document.querySelectorAll("input[name=look]").forEach(function (r) {
    r.onchange = function () { TV.comparing.look(r.value); };
  });
  // Points changed since the last save are not lost to a closed tab or a reload unasked.
  window.addEventListener("beforeunload", function (e) { if (TV.placing.unsaved()) e.preventDefault(); });
  $("stage").addEventListener("dragover", function (e) { e.preventDefault(); });
  $("stage").addEventListener("drop", dropped);

  // Keys in either case; none while a number or a coordinate is being typed (Escape ends it).
  document.addEventListener("keydown", function (e) {
    var typing = e.target.tagName === "INPUT" && /^(text|number)$/.test(e.target.type);
    if (typing && e.key === "Escape") return e.target.blur();  // back to the keys below
    if (typing || $("keys").open || e.altKey || e.metaKey) return;
    var key = e.key.length === 1 ? e.key.toLowerCase() : e.key, by = e.shiftKey ? 10 : 1;
    if (/^(Digit|Numpad)1$/.test(e.code) && !e.ctrlKey) key = "1";  // on an AZERTY keyboard, its key gives "&"
    var points = mode === "points", act;
    if (e.ctrlKey) act = { z: e.shiftKey ? TV.placing.redo : TV.placing.undo, y: TV.placing.redo }[key];
    else act = {
      f: function () { viewers("active").forEach(function (v) { v.fit(); }); },
      1: function () { viewers("active").forEach(function (v) { v.actualPixels(); }); },
      PageDown: function () { (points ? TV.placing : TV.comparing).step(1); },
      PageUp: function () { (points ? TV.placing : TV.comparing).step(-1); },
      ArrowLeft: points && function () { TV.placing.nudge(-by, 0); },
      ArrowRight: points && function () { TV.placing.nudge(by, 0); },
      ArrowUp: points && function () { TV.placing.nudge(0, -by); },
      ArrowDown: points && function () { TV.placing.nudge(0, by); },
      Delete: points && TV.placing.remove,
      p: points && function () { TV.placing.nextPoint(e.shiftKey ? -1 : 1); },
      b: !points && function () { TV.comparing.blink(); },
      " ": !points && TV.comparing.flip,
      "?": function () { $("keys").showModal(); }
    }[key];
    if (e.ctrlKey && !points) act = null;
    if (act) { e.preventDefault(); act(); }
  });
})();
