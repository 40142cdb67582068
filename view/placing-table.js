// Placing points, the side: the list of the series, the table of the points to read
// and type, and the warnings that stay, drawn with the two panes at each render().
// After placing.js and placing-marks.js, the last of the three; what they share is
// TV.place.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var place = TV.place, series = place.series, COLOURS = place.COLOURS;
  var CLOSE = 8;  // pixels: nearer than this, A and B turn and scale a photograph badly

  place.onRender(function () {
    renderList();
    renderTable();
    place.renderCheck();
    warnAboutPoints();
    place.panes.forEach(function (p) { p.viewer.draw(); });
    $("undo").disabled = !place.undone.length; $("redo").disabled = !place.redone.length;
    TV.recheck();
  });

  function renderList() {
    var ol = $("photo-list");
    ol.textContent = "";
    place.all().forEach(function (p) {
      var li = document.createElement("li"), l = place.labelsOf(p), i = series.further.indexOf(p);
      li.textContent = p.name + (i < 0 ? " (base)" : "") +
        "  " + l[0] + " " + (p.points[0] ? TV.pointText(p.points[0]) : "?") +
        "  " + l[1] + " " + (p.points[1] ? TV.pointText(p.points[1]) : "?");
      if (!p.file) li.insertAdjacentHTML("beforeend", ' <span class="missing">à choisir</span>');
      li.title = li.textContent;
      if (p === place.current()) li.className = "current";
      if (i >= 0) li.onclick = function () { place.choose(i); };
      ol.appendChild(li);
    });
    var shown = ol.querySelector(".current");  // within the list's own scroll, the side staying where it is
    if (shown && shown.offsetTop < ol.scrollTop) ol.scrollTop = shown.offsetTop;
    else if (shown && shown.offsetTop + shown.offsetHeight > ol.scrollTop + ol.clientHeight)
      ol.scrollTop = shown.offsetTop + shown.offsetHeight - ol.clientHeight;
  }

  // The table is built anew only when other photographs show; otherwise its numbers
  // change in place, so that typing and Tab go on where they were.
  var tableFor = null;
  function renderTable() {
    var table = $("point-table"), photos = [series.base, place.current()];
    if (!tableFor || tableFor[0] !== photos[0] || tableFor[1] !== photos[1]) {
      tableFor = photos;
      table.textContent = "";
      photos.forEach(function (photo, side) { if (photo) buildRows(table, photo, side); });
      $("check-table").textContent = "";
      photos.forEach(function (photo, side) { if (photo) buildRows($("check-table"), photo, side, [2]); });
    }
    photos.forEach(function (photo, side) {
      if (!photo) return;
      var l = place.labelsOf(photo), a = photo.points[0], b = photo.points[1], facts = $("facts-" + side);
      photo.points.forEach(function (p, k) {
        var id = "point-" + side + "-" + k;
        $(id).className = place.is(place.selected, photo, k) ? "selected" : "";
        $(id + "-move").className = place.is(place.moving, photo, k) ? "on" : "";
        ["x", "y"].forEach(function (c) {
          var input = $(id + "-" + c), value = p ? String(+p[c].toFixed(6)) : "";
          if (input.value !== value && !(input.dataset.pending && !p)) input.value = value;
          if (p) input.dataset.pending = "";
        });
      });
      facts.textContent = "";
      if (!a || !b) return;
      facts.textContent = l[0] + "\u2013" + l[1] + " " + TV.number(Math.hypot(b.x - a.x, b.y - a.y), 1) + " px";
      var base = series.base, t = side === 1 && base.points[0] && base.points[1] &&
        place.turnAndScale(base.points[0], base.points[1], a, b);
      if (t) facts.textContent += " : tournée de " + TV.number(Math.atan2(t.im, t.re) * 180 / Math.PI, 2) +
        "° dans le sens horaire, échelle " + TV.number(Math.hypot(t.re, t.im), 3);
    });
  }

  // The rows of A and B (or A' and B') under the photograph's name, and its facts; or
  // only those of the points ks (the check point's, in a table of its own).
  function buildRows(table, photo, side, ks) {
    var l = place.labelsOf(photo), head = document.createElement("th");
    head.colSpan = 4; head.textContent = photo.name;
    if (!ks) table.insertRow().appendChild(head);
    (ks || [0, 1]).forEach(function (k) {
      var row = table.insertRow(), id = "point-" + side + "-" + k, label = document.createElement("th");
      row.id = id;
      row.onclick = function (e) {
        if (e.target.tagName === "BUTTON") return;
        place.selected = { photo: photo, k: k };
        place.render();
      };
      label.textContent = l[k]; label.style.color = COLOURS[k];
      row.appendChild(label);
      ["x", "y"].forEach(function (c) {
        var input = document.createElement("input");
        input.id = id + "-" + c; input.inputMode = "decimal";
        input.dataset.name = l[k] + " " + c;
        input.title = l[k] + " : " + (c === "x" ? "x, la colonne" : "y, la ligne") + " ; ou x,y pour les deux";
        input.onchange = function () { typed(photo, k, c, input); };
        row.insertCell().appendChild(input);
      });
      var tools = row.insertCell();
      [["Zoom", "zoom", "Zoomer sur " + l[k], function () { zoomTo(photo, k); }],
       ["Déplacer", "move", "Le prochain clic sur " + photo.name + " y met " + l[k], function () {
         place.arm(photo, k);
       }],
       ["\u2715", "delete", "Supprimer " + l[k], function () {
         place.change([{ photo: photo, k: k, after: null }]);
       }]]
        .forEach(function (t) {
          var b = document.createElement("button");
          b.textContent = t[0]; b.id = id + "-" + t[1]; b.title = t[2]; b.onclick = t[3];
          tools.appendChild(b);
        });
    });
    if (ks) return;
    var facts = table.insertRow().insertCell();
    facts.colSpan = 4; facts.className = "facts"; facts.id = "facts-" + side;
  }

  // A typed coordinate; or both, as x,y (tavrin's own 412,357), "x, y", "x;y" or "x y",
  // in either box: a comma between two numbers parts them. A decimal comma is read where
  // the numbers are parted otherwise ("412,5;357"). A point not yet placed is placed once
  // both its numbers are typed.
  var NUMBER = /^[-+]?(\d+\.?\d*|\.\d+)$/;
  function bothOf(text) {
    var t = text.trim(), m = /^([^,;\s]+)\s*,\s*([^,;\s]+)$/.exec(t) || /^(\S+)\s*;\s*(\S+)$/.exec(t) ||
      /^(\S+)\s+(\S+)$/.exec(t), both = m && [m[1], m[2]].map(function (v) { return v.replace(",", "."); });
    return both && NUMBER.test(both[0]) && NUMBER.test(both[1]) ? both : null;
  }
  function typed(photo, k, c, input) {
    var p = photo.points[k], id = input.id.slice(0, -1), after = p ? { x: p.x, y: p.y } : {};
    var both = bothOf(input.value), numbers = both || ["x", "y"].map(function (d) {
      return $(id + d).value.trim().replace(",", ".");
    });
    var wrong = numbers.map(function (v) { return !NUMBER.test(v); }), mine = c === "x" ? 0 : 1;
    input.dataset.pending = "";
    if (!p && wrong[1 - mine] && !wrong[mine]) { input.dataset.pending = "1"; return; }
    if (wrong[mine]) {
      TV.say(input.dataset.name + " : tapez un nombre, ou x,y.");
      return place.render();
    }
    after.x = +numbers[0]; after.y = +numbers[1];
    if (both) ["x", "y"].forEach(function (d, i) { $(id + d).value = both[i]; });
    TV.say("");
    place.selected = { photo: photo, k: k };
    place.change([{ photo: photo, k: k, after: after }]);
  }

  function zoomTo(photo, k) {
    var p = photo.points[k], pane = place.paneOf(photo);
    place.selected = { photo: photo, k: k };
    if (p && pane) pane.viewer.centreOn(p.x + 0.5, p.y + 0.5, 8);
    place.render();
  }

  // The warnings that stay: points too close, photographs that the answers would leave
  // out. Each is about its photographs: dismissed, it comes back only for another one.
  var warnedClose = [];
  function warnAboutPoints() {
    var out = [], names = [], close = [];
    place.all().forEach(function (photo) {
      var l = place.labelsOf(photo), a = photo.points[0], b = photo.points[1];
      if (photo !== series.base && (!a || !b)) {
        out.push(photo.name + " (" + [a ? "" : l[0], b ? "" : l[1]].join(" ").trim() + ")");
        names.push(photo.name);
      }
      var d = a && b ? Math.hypot(b.x - a.x, b.y - a.y) : Infinity;
      if (d >= CLOSE) return;
      var key = "points close " + photo.name;
      close.push(key);
      TV.warn(key, l[0] + " et " + l[1] + " de " + photo.name + " sont à " + TV.number(d, 1) + " pixels l'un de " +
        "l'autre : la rotation et l'échelle qu'ils donnent sont peu sûres.", { causes: [key] });
    });
    warnedClose.forEach(function (key) { if (close.indexOf(key) < 0) TV.warn(key, null); });
    warnedClose = close;
    var started = series.base && (series.base.points[0] || series.base.points[1]);
    TV.warn("points left out", started && out.length ? "Sans leurs deux points, hors des réponses : " +
      out.join(", ") + "." : null, { causes: names });
  }

  place.render();  // the three loaded: the empty list, table and panes
})();
