// Placing points: the base photograph with A and B on the left, the current further
// photograph with A' and B' on the right, each at its own zoom; a table of the points
// to read and type; every change of a point undoable. Saved as the answers tavrin reads.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var COLOURS = ["#ffd400", "#00e5ff"];  // A, B: neither can be a grey of the photograph
  var CLOSE = 8;  // pixels: nearer than this, A and B turn and scale a photograph badly
  // A photograph: {name, file, width, height, missing, points: [A, B], loaded}; a point
  // {x, y, text (as loaded, until it changes)}; loaded: the four points of an answers
  // file, whose turn and scale foretell B'.
  var series = { base: null, further: [], current: 0 };
  var selected = null, moving = null, dragging = null;  // {photo, k}
  var undone = [], redone = [];  // each a change: [{photo, k, before, after}]
  var changes = 0, saved = 0;  // changes made, undone and redone; their count at the last save

  function labelsOf(photo) { return photo === series.base ? ["A", "B"] : ["A'", "B'"]; }
  function current() { return series.further[series.current] || null; }
  function all() { return (series.base ? [series.base] : []).concat(series.further); }
  function named(name) { return all().filter(function (p) { return p.name === name; })[0]; }
  function newPhoto(name) { return { name: name, points: [null, null] }; }
  function copy(p) { return p && { x: p.x, y: p.y, text: p.text }; }
  function is(a, photo, k) { return !!a && a.photo === photo && a.k === k; }

  // ------------------------------------------------------------ the two panes

  function Pane(side, canvas, caption) {
    var pane = this;
    this.side = side; this.entry = null; this.fitted = false; this.caption = $(caption);
    this.photo = function () { return side === "base" ? series.base : current(); };
    this.viewer = new TV.Viewer($(canvas), {
      scene: function (ctx) { if (pane.entry) ctx.drawImage(pane.entry.canvas, 0, 0); },
      overlay: function (ctx) { overlay(pane, ctx); },
      pointer: function (px) { pointer(pane, px); },
      click: function (px) { click(pane, px); },
      grab: function (sx, sy) { return grab(pane, sx, sy); },
      drag: function (dx, dy) { drag(dx, dy); },
      drop: function (moved) { drop(moved); },
      size: function () { return pane.entry && pane.entry.image; }
    });
  }
  var panes = [new Pane("base", "base-view", "base-caption"), new Pane("photo", "photo-view", "photo-caption")];
  var active = panes[1];  // the pane the keys F and 1 act on: the last one pointed at

  function paneOf(photo) { return panes.filter(function (p) { return p.photo() === photo; })[0]; }

  function show(pane) {
    var photo = pane.photo(), file = photo && photo.file;
    if (pane.entry && file && TV.sameFile(pane.entry.file, file)) return pane.viewer.draw();
    pane.entry = null;
    pane.viewer.draw();
    if (!file) return;
    return TV.task(function () {
      return TV.open(file).then(function (entry) {
        if (pane.photo() !== photo || photo.file !== file) return;
        photo.width = entry.image.width; photo.height = entry.image.height;
        pane.entry = entry;
        if (!entry.image.grey) TV.say(photo.name + " is a colour (P6) image; tavrin reads P5 only", true);
        if (!pane.fitted) pane.fitted = pane.viewer.fit(); else pane.viewer.draw();
      });
    });
  }

  function mark(ctx, v, p, colour, label, chosen) {
    var s = v.toScreen(p.x + 0.5, p.y + 0.5);  // the middle of the pixel
    ctx.strokeStyle = colour; ctx.lineWidth = 2;
    ctx.beginPath();
    [[1, 0], [-1, 0], [0, 1], [0, -1]].forEach(function (d) {
      ctx.moveTo(s.x + 4 * d[0], s.y + 4 * d[1]); ctx.lineTo(s.x + 12 * d[0], s.y + 12 * d[1]);
    });
    if (chosen) { ctx.moveTo(s.x + 16, s.y); ctx.arc(s.x, s.y, 16, 0, 2 * Math.PI); }
    ctx.stroke();
    ctx.font = "13px monospace";
    var w = ctx.measureText(label).width;
    ctx.fillStyle = "rgba(0,0,0,0.7)"; ctx.fillRect(s.x + 12, s.y - 28, w + 8, 18);
    ctx.fillStyle = colour; ctx.fillText(label, s.x + 16, s.y - 14);
  }

  // Where B' falls once A, B and A' are placed: on the circle about A' of radius AB at
  // the scale 1, or, for a photograph with loaded answers, where their turn and scale
  // carry B.
  function whereBFalls(photo) {
    var base = series.base, a = base && base.points[0], b = base && base.points[1], a2 = photo.points[0];
    if (!a || !b || !a2 || photo.points[1]) return null;
    var l = photo.loaded, dx = b.x - a.x, dy = b.y - a.y;
    if (!l) return { x: a2.x, y: a2.y, radius: Math.hypot(dx, dy) };
    var t = turnAndScale(l.a, l.b, l.a2, l.b2);
    if (!t) return null;
    return { x: a2.x + t.re * dx - t.im * dy, y: a2.y + t.im * dx + t.re * dy };
  }

  function overlay(pane, ctx) {
    var photo = pane.photo(), v = pane.viewer;
    pane.caption.textContent = (photo ? photo.name + (pane.side === "base" ? " (base)" : "") :
      pane.side === "base" ? "base photograph: not opened" : "no further photograph") + "  \u00b7  " + v.zoomText();
    if (!photo || !pane.entry) return;
    var l = labelsOf(photo), guess = pane.side === "photo" && whereBFalls(photo);
    if (guess) {
      var s = v.toScreen(guess.x + 0.5, guess.y + 0.5);
      ctx.strokeStyle = COLOURS[1]; ctx.lineWidth = 1; ctx.setLineDash([6, 6]);
      ctx.beginPath();
      var circle = "radius" in guess;
      if (circle) ctx.arc(s.x, s.y, guess.radius * v.scale, 0, 2 * Math.PI);
      else ctx.rect(s.x - 10, s.y - 10, 20, 20);
      ctx.stroke(); ctx.setLineDash([]);
      ctx.font = "12px system-ui, sans-serif"; ctx.fillStyle = COLOURS[1];
      ctx.fillText(circle ? "B' at the scale 1 is on this circle" : "B' from the loaded answers",
                   s.x + 14, circle ? s.y - guess.radius * v.scale - 6 : s.y + 24);
    }
    photo.points.forEach(function (p, k) {
      if (p) mark(ctx, v, p, COLOURS[k], l[k] + " " + TV.pointText(p), is(selected, photo, k));
    });
  }

  function pointer(pane, px) {
    active = pane;
    var e = pane.entry, photo = pane.photo();
    if (!px || !e) return TV.pointerText(null);
    var inside = px.x >= 0 && px.y >= 0 && px.x < e.image.width && px.y < e.image.height;
    TV.pointerText(photo.name + "  x " + px.x + "  y " + px.y + "  " +
      (!inside ? "outside" : e.image.grey ? "grey " + e.image.grey[px.x + px.y * e.image.width] : ""));
  }

  // A click places a point only where none is placed yet, or the one "Move" chose.
  function click(pane, px) {
    var photo = pane.photo();
    if (!photo || !pane.entry)
      return TV.say(pane.side === "base" ? "open the base photograph first" : "open the further photographs first");
    if (px.x < 0 || px.y < 0 || px.x >= photo.width || px.y >= photo.height) return TV.say("that is outside " + photo.name);
    var l = labelsOf(photo), k = moving && moving.photo === photo ? moving.k : photo.points.indexOf(null);
    if (k < 0)
      return TV.say(l[0] + " and " + l[1] + " are placed on " + photo.name + ": drag a mark, or Move in the table, " +
                    "or the arrow keys to move one", true);
    TV.say("");
    moving = null;
    selected = { photo: photo, k: k };
    change([{ photo: photo, k: k, after: { x: px.x, y: px.y } }]);
  }

  // A dragged mark moves by the pointer's motion, in whole pixels, wherever it was grabbed.
  function grab(pane, sx, sy) {
    var photo = pane.photo();
    dragging = null;
    if (photo && pane.entry) photo.points.forEach(function (p, k) {
      var s = p && pane.viewer.toScreen(p.x + 0.5, p.y + 0.5);
      if (s && Math.abs(s.x - sx) <= 8 && Math.abs(s.y - sy) <= 8 && !dragging)
        dragging = { photo: photo, k: k, from: copy(p) };
    });
    if (dragging) { selected = { photo: photo, k: dragging.k }; render(); }
    return !!dragging;
  }
  function drag(dx, dy) {
    var d = dragging, p = d.from;
    d.photo.points[d.k] = within(d.photo, { x: p.x + Math.round(dx), y: p.y + Math.round(dy) });
    if (d.photo.points[d.k].x === p.x && d.photo.points[d.k].y === p.y) d.photo.points[d.k] = p;
    render();
  }
  function drop() {
    var d = dragging, now = d && d.photo.points[d.k];
    dragging = null;
    if (!d || now === d.from) return;
    d.photo.points[d.k] = d.from;
    change([{ photo: d.photo, k: d.k, after: now }]);
  }

  function within(photo, p) {
    if (!photo.width) return p;
    return { x: Math.min(Math.max(p.x, 0), photo.width - 1), y: Math.min(Math.max(p.y, 0), photo.height - 1) };
  }

  // ------------------------------------------------------------ changes, undone and redone

  function change(list) {
    list = list.filter(function (c) {
      c.before = copy(c.photo.points[c.k]);
      return JSON.stringify(c.before) !== JSON.stringify(c.after);
    });
    if (!list.length) return render();
    ++changes;
    undone.push(list);
    redone = [];
    apply(list, "after");
  }

  function apply(list, which) {
    list.forEach(function (c) { c.photo.points[c.k] = copy(c[which]); });
    var photo = list[0].photo, at = series.further.indexOf(photo);
    selected = { photo: photo, k: list[0].k };
    if (at >= 0 && at !== series.current) { series.current = at; show(panes[1]); }
    render();
  }

  function undo() {
    var list = undone.pop();
    if (!list) return TV.say("nothing to undo", true);
    redone.push(list);
    ++changes;
    apply(list, "before");
  }
  function redo() {
    var list = redone.pop();
    if (!list) return TV.say("nothing to redo", true);
    undone.push(list);
    ++changes;
    apply(list, "after");
  }

  function nudge(dx, dy) {
    var s = selected, p = s && s.photo.points[s.k];
    if (!p) return TV.say("choose a point first: click its mark or its row in the table", true);
    change([{ photo: s.photo, k: s.k, after: within(s.photo, { x: p.x + dx, y: p.y + dy }) }]);
  }

  // ------------------------------------------------------------ the list and the table

  // The turn and scale that take A, B onto A', B', as the complex ratio (B'-A')/(B-A).
  function turnAndScale(a, b, a2, b2) {
    var bx = b.x - a.x, by = b.y - a.y, px = b2.x - a2.x, py = b2.y - a2.y, n = bx * bx + by * by;
    return n && { re: (px * bx + py * by) / n, im: (py * bx - px * by) / n };
  }

  function render() {
    renderList();
    renderTable();
    warnAboutPoints();
    panes.forEach(function (p) { p.viewer.draw(); });
    $("undo").disabled = !undone.length; $("redo").disabled = !redone.length;
  }

  function renderList() {
    var ol = $("photo-list");
    ol.textContent = "";
    all().forEach(function (p) {
      var li = document.createElement("li"), l = labelsOf(p), i = series.further.indexOf(p);
      li.textContent = p.name + (i < 0 ? " (base)" : "") + "  " + l[0] + " " + (p.points[0] ? TV.pointText(p.points[0]) : "?") +
        "  " + l[1] + " " + (p.points[1] ? TV.pointText(p.points[1]) : "?");
      if (!p.file) li.insertAdjacentHTML("beforeend", ' <span class="missing">not opened</span>');
      if (p === current()) li.className = "current";
      if (i >= 0) li.onclick = function () { choose(i); };
      ol.appendChild(li);
    });
  }

  // The table is built anew only when other photographs show; otherwise its numbers
  // change in place, so that typing and Tab go on where they were.
  var tableFor = null;
  function renderTable() {
    var table = $("point-table"), photos = [series.base, current()];
    if (!tableFor || tableFor[0] !== photos[0] || tableFor[1] !== photos[1]) {
      tableFor = photos;
      table.textContent = "";
      photos.forEach(function (photo, side) { if (photo) buildRows(table, photo, side); });
    }
    photos.forEach(function (photo, side) {
      if (!photo) return;
      var l = labelsOf(photo), a = photo.points[0], b = photo.points[1], facts = $("facts-" + side);
      photo.points.forEach(function (p, k) {
        var id = "point-" + side + "-" + k;
        $(id).className = is(selected, photo, k) ? "selected" : "";
        $(id + "-move").className = is(moving, photo, k) ? "on" : "";
        ["x", "y"].forEach(function (c) {
          var input = $(id + "-" + c), value = p ? String(+p[c].toFixed(6)) : "";
          if (input.value !== value && !(input.dataset.pending && !p)) input.value = value;
          if (p) input.dataset.pending = "";
        });
      });
      facts.textContent = "";
      if (!a || !b) return;
      facts.textContent = l[0] + "\u2013" + l[1] + " " + Math.hypot(b.x - a.x, b.y - a.y).toFixed(1) + " px";
      var base = series.base, t = side === 1 && base.points[0] && base.points[1] &&
        turnAndScale(base.points[0], base.points[1], a, b);
      if (t) facts.textContent += ": turned " + TV.fixed(Math.atan2(t.im, t.re) * 180 / Math.PI, 2) +
        " degrees clockwise, scale " + TV.fixed(Math.hypot(t.re, t.im), 3);
    });
  }

  function buildRows(table, photo, side) {
    var l = labelsOf(photo), head = document.createElement("th");
    head.colSpan = 4; head.textContent = photo.name;
    table.insertRow().appendChild(head);
    photo.points.forEach(function (p, k) {
      var row = table.insertRow(), id = "point-" + side + "-" + k, label = document.createElement("th");
      row.id = id;
      row.onclick = function (e) {
        if (e.target.tagName === "BUTTON") return;
        selected = { photo: photo, k: k };
        render();
      };
      label.textContent = l[k]; label.style.color = COLOURS[k];
      row.appendChild(label);
      ["x", "y"].forEach(function (c) {
        var input = document.createElement("input");
        input.id = id + "-" + c; input.inputMode = "decimal"; input.title = l[k] + " " + c;
        input.onchange = function () { typed(photo, k, c, input); };
        row.insertCell().appendChild(input);
      });
      var tools = row.insertCell();
      [["Zoom", "zoom", "Zoom to " + l[k], function () { zoomTo(photo, k); }],
       ["Move", "move", "The next click on " + photo.name + " puts " + l[k] + " there", function () {
         moving = selected = { photo: photo, k: k };
         TV.say("click on " + photo.name + " where " + l[k] + " goes", true);
         render();
       }],
       ["\u2715", "delete", "Delete " + l[k], function () { change([{ photo: photo, k: k, after: null }]); }]]
        .forEach(function (t) {
          var b = document.createElement("button");
          b.textContent = t[0]; b.id = id + "-" + t[1]; b.title = t[2]; b.onclick = t[3];
          tools.appendChild(b);
        });
    });
    var facts = table.insertRow().insertCell();
    facts.colSpan = 4; facts.className = "facts"; facts.id = "facts-" + side;
  }

  // A typed coordinate, a decimal comma allowed; the other stays as it was. A point not
  // yet placed is placed once both its numbers are typed.
  function typed(photo, k, c, input) {
    var p = photo.points[k], id = input.id.slice(0, -1), after = p ? { x: p.x, y: p.y } : {};
    var numbers = ["x", "y"].map(function (d) { return $(id + d).value.trim().replace(",", "."); });
    var wrong = numbers.map(function (v) { return !/^[-+]?(\d+\.?\d*|\.\d+)$/.test(v); });
    input.dataset.pending = "";
    if (!p && wrong[c === "x" ? 1 : 0] && !wrong[c === "x" ? 0 : 1]) { input.dataset.pending = "1"; return; }
    if (wrong[c === "x" ? 0 : 1]) { TV.say(input.title + ": type a number"); return render(); }
    after.x = +numbers[0]; after.y = +numbers[1];
    TV.say("");
    selected = { photo: photo, k: k };
    change([{ photo: photo, k: k, after: after }]);
  }

  function zoomTo(photo, k) {
    var p = photo.points[k], pane = paneOf(photo);
    selected = { photo: photo, k: k };
    if (p && pane) pane.viewer.centreOn(p.x + 0.5, p.y + 0.5, 8);
    render();
  }

  // The warnings that stay: points too close, photographs that the answers would leave out.
  var warnedClose = [];
  function warnAboutPoints() {
    var out = [], close = [];
    all().forEach(function (photo) {
      var l = labelsOf(photo), a = photo.points[0], b = photo.points[1];
      if (photo !== series.base && (!a || !b)) out.push(photo.name + " (" + [a ? "" : l[0], b ? "" : l[1]].join(" ").trim() + ")");
      var d = a && b ? Math.hypot(b.x - a.x, b.y - a.y) : Infinity;
      if (d >= CLOSE) return;
      close.push("points close " + photo.name);
      TV.warn(close[close.length - 1], l[0] + " and " + l[1] + " of " + photo.name + " are " + d.toFixed(1) +
        " pixels apart: the turn and the scale they give are unreliable.");
    });
    warnedClose.forEach(function (key) { if (close.indexOf(key) < 0) TV.warn(key, null); });
    warnedClose = close;
    var started = series.base && (series.base.points[0] || series.base.points[1]);
    TV.warn("points left out", started && out.length ? "Without both points, left out of the answers: " +
      out.join(", ") + "." : null);
  }

  // ------------------------------------------------------------ files, answers

  function choose(i) {
    if (i < 0 || i >= series.further.length) return;
    series.current = i;
    // The arrow keys and Move act on what is shown.
    if (moving && moving.photo !== series.base) moving = null;
    if (selected && selected.photo !== series.base && selected.photo !== current()) selected = null;
    render();
    return show(panes[1]);
  }

  // A photograph's size and shortfall from its header alone, for the figures and the save.
  function sized(photo) {
    var file = photo.file;
    return TV.task(function () {
      return TV.readSize(file).then(function (h) {
        if (photo.file !== file) return;
        photo.width = h.width; photo.height = h.height; photo.missing = h.missing;
      });
    });
  }

  // Another base asks first when A or B are placed on the one it replaces.
  function replaceBase(name) {
    var old = series.base;
    if (old && old.name !== name && (old.points[0] || old.points[1]) &&
        !window.confirm("A and B are placed on " + old.name + ". Make " + name + " the base photograph and " +
                        "leave them? This cannot be undone.")) return false;
    if (old && old.name === name) return true;
    var p = named(name) || newPhoto(name);
    series.further = series.further.filter(function (q) { return q !== p; });
    series.current = Math.min(series.current, Math.max(0, series.further.length - 1));
    series.base = p;
    if (old && (old.points[0] || old.points[1])) { undone = []; redone = []; }
    panes[0].fitted = false;
    return true;
  }

  function setBase(file) {
    if (!replaceBase(file.name)) return TV.say(file.name + " not opened: " + series.base.name + " stays the base", true);
    series.base.file = file;
    sized(series.base);
    render();
    return show(panes[0]);
  }

  // Further photographs join the series by name: a photograph the answers named gets its file.
  function addFurther(files) {
    Array.prototype.forEach.call(files, function (f) {
      var p = named(f.name);
      if (p === series.base) return setBase(f);
      if (!p) series.further.push(p = newPhoto(f.name));
      p.file = f;
      sized(p);
    });
    return choose(series.current);
  }

  function loadAnswers(file) {
    return TV.task(function () {
      return file.text().then(function (text) {
        var read = TV.parseAnswers(text), list = [];
        if (!replaceBase(read[0].name)) return TV.say(file.name + " not loaded: its base is " + read[0].name, true);
        var further = read.slice(1).map(function (r) {
          var p = named(r.name) || newPhoto(r.name);
          p.loaded = { a: read[0].points[0], b: read[0].points[1], a2: r.points[0], b2: r.points[1] };
          return p;
        });
        series.further = further.concat(series.further.filter(function (p) {
          return further.indexOf(p) < 0 && p !== series.base;
        }));
        read.forEach(function (r, i) {
          var p = i === 0 ? series.base : further[i - 1];
          r.points.forEach(function (q, k) { list.push({ photo: p, k: k, after: q }); });
        });
        TV.say("");
        series.current = 0;
        change(list);
        show(panes[0]);
        return choose(0);
      });
    });
  }

  function save() {
    try {
      var base = series.base;
      if (!base) throw new Error("open the base photograph first");
      var kept = series.further.filter(function (p) { return p.points[0] && p.points[1]; });
      var text = TV.formatAnswers([base].concat(kept), TV.closingName(all().map(function (p) { return p.name; })));
      var doubts = TV.warnings("points ").concat([base].concat(kept).filter(function (p) { return p.missing; })
        .map(function (p) { return p.name + " ends " + p.missing + " bytes short: tavrin counts that part as black."; }));
      if (doubts.length && !window.confirm(doubts.join("\n") + "\n\nSave the answers all the same?"))
        return TV.say("not saved", true);
      var a = document.createElement("a");
      a.href = URL.createObjectURL(new Blob([text], { type: "text/plain" }));
      a.download = "answers.txt";
      a.click();
      saved = changes;
      setTimeout(function () { URL.revokeObjectURL(a.href); }, 60000);
      TV.say("answers.txt: " + (kept.length + 1) + " photographs, closed by \"" + text.split("\n").slice(-2)[0] +
        "\"; in the photographs' folder: tavrin < answers.txt", true);
    } catch (e) { TV.say(e.message); }
  }

  // Where the result named covers the base frame, when the series knows its size and
  // the four points; otherwise null: the whole frame counts, as tavrin-diff does.
  function footprint(name) {
    var base = series.base, p = named(name);
    if (!base || !p || p === base || !p.width || !base.points[0] || !base.points[1] || !p.points[0] || !p.points[1])
      return null;
    return { key: [base.points, p.points, p.width, p.height].map(JSON.stringify).join(),
             covers: TV.footprint(base.points[0], base.points[1], p.points[0], p.points[1], p.width, p.height) };
  }

  TV.placing = {
    setBase: setBase, addFurther: addFurther, loadAnswers: loadAnswers, save: save, footprint: footprint,
    undo: undo, redo: redo, nudge: nudge,
    step: function (by) { choose(series.current + by); },
    remove: function () { if (selected) change([{ photo: selected.photo, k: selected.k, after: null }]); },
    base: function () { return series.base && series.base.file; },
    unsaved: function () { return changes !== saved; },
    panes: function (which) { return which === "active" ? [active] : panes; },
    entries: function () { return panes.map(function (p) { return p.entry; }); },
    shown: function () { panes.forEach(function (p) { if (!p.fitted && p.entry) p.fitted = p.viewer.fit(); }); render(); }
  };
  render();
})();
