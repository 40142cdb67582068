// Placing points: the base photograph with A and B on the left, the current further
// photograph with A' and B' on the right, each at its own zoom; a table of the points
// to read and type; every change of a point undoable. Saved as the answers tavrin reads.
// In three scripts, loaded in this order, which share TV.place: this one (the series, its
// history of changes, its files and answers, and TV.placing, which the rest of the page
// uses); placing-marks.js (the two panes and the editing there); placing-table.js (the
// list, the table and the warnings).
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  // A photograph: {name, file, width, height, missing, points: [A, B], loaded}; a point
  // {x, y, text (as loaded, until it changes)}; loaded: the four points of an answers
  // file, whose turn and scale foretell B'.
  var place = TV.place = {
    COLOURS: ["#ffd400", "#00e5ff"],  // A, B: neither can be a grey of the photograph
    series: { base: null, further: [], current: 0 },
    selected: null, moving: null, dragging: null,  // {photo, k}
    undone: [], redone: [],  // each a change: [{photo, k, before, after}]
    // Set by placing-marks.js: the two panes, and the one the keys F and 1 act on.
    panes: [], active: null
  };
  var series = place.series;
  var changes = 0, saved = 0;  // changes made, undone and redone; their count at the last save

  place.labelsOf = function (photo) { return photo === series.base ? ["A", "B"] : ["A'", "B'"]; };
  place.current = function () { return series.further[series.current] || null; };
  place.all = function () { return (series.base ? [series.base] : []).concat(series.further); };
  function named(name) { return place.all().filter(function (p) { return p.name === name; })[0]; }
  function newPhoto(name) { return { name: name, points: [null, null] }; }
  place.copy = function (p) { return p && { x: p.x, y: p.y, text: p.text }; };
  place.is = function (a, photo, k) { return !!a && a.photo === photo && a.k === k; };

  // The turn and scale that take A, B onto A', B', as the complex ratio (B'-A')/(B-A).
  place.turnAndScale = function (a, b, a2, b2) {
    var bx = b.x - a.x, by = b.y - a.y, px = b2.x - a2.x, py = b2.y - a2.y, n = bx * bx + by * by;
    return n && { re: (px * bx + py * by) / n, im: (py * bx - px * by) / n };
  };

  // ------------------------------------------------------------ changes, undone and redone

  place.change = function (list) {
    list = list.filter(function (c) {
      c.before = place.copy(c.photo.points[c.k]);
      return JSON.stringify(c.before) !== JSON.stringify(c.after);
    });
    if (!list.length) return place.render();
    ++changes;
    place.undone.push(list);
    place.redone = [];
    apply(list, "after");
  };

  function apply(list, which) {
    list.forEach(function (c) { c.photo.points[c.k] = place.copy(c[which]); });
    var photo = list[0].photo, at = series.further.indexOf(photo);
    place.selected = { photo: photo, k: list[0].k };
    if (at >= 0 && at !== series.current) { series.current = at; place.show(place.panes[1]); }
    place.render();
  }

  // The last change of one history moves onto the other, its points as they were or became.
  function replay(from, to, which, nothing) {
    var list = from.pop();
    if (!list) return TV.say(nothing, true);
    to.push(list);
    ++changes;
    apply(list, which);
  }
  function undo() { replay(place.undone, place.redone, "before", "nothing to undo"); }
  function redo() { replay(place.redone, place.undone, "after", "nothing to redo"); }

  // ------------------------------------------------------------ files, answers

  place.choose = function (i) {
    if (i < 0 || i >= series.further.length) return;
    series.current = i;
    // The arrow keys and Move act on what is shown.
    if (place.moving && place.moving.photo !== series.base) place.moving = null;
    var s = place.selected;
    if (s && s.photo !== series.base && s.photo !== place.current()) place.selected = null;
    place.render();
    return place.show(place.panes[1]);
  };

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
    if (old && (old.points[0] || old.points[1])) { place.undone = []; place.redone = []; }
    place.panes[0].fitted = false;
    return true;
  }

  function setBase(file) {
    if (!replaceBase(file.name))
      return TV.say(file.name + " not opened: " + series.base.name + " stays the base", true);
    series.base.file = file;
    sized(series.base);
    place.render();
    return place.show(place.panes[0]);
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
    return place.choose(series.current);
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
        place.change(list);
        place.show(place.panes[0]);
        return place.choose(0);
      });
    });
  }

  function save() {
    try {
      var base = series.base;
      if (!base) throw new Error("open the base photograph first");
      var kept = series.further.filter(function (p) { return p.points[0] && p.points[1]; });
      var names = place.all().map(function (p) { return p.name; });
      var text = TV.formatAnswers([base].concat(kept), TV.closingName(names));
      var doubts = TV.warnings("points ").concat([base].concat(kept).filter(function (p) { return p.missing; })
        .map(function (p) {
          return p.name + " ends " + p.missing + " bytes short: tavrin counts that part as black.";
        }));
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
    if (!base || !p || p === base || !p.width || !base.points[0] || !base.points[1] || !p.points[0] ||
        !p.points[1])
      return null;
    return { key: [base.points, p.points, p.width, p.height].map(JSON.stringify).join(),
             covers: TV.footprint(base.points[0], base.points[1], p.points[0], p.points[1], p.width, p.height) };
  }

  TV.placing = {
    setBase: setBase, addFurther: addFurther, loadAnswers: loadAnswers, save: save, footprint: footprint,
    undo: undo, redo: redo,
    nudge: function (dx, dy) { place.nudge(dx, dy); },
    step: function (by) { place.choose(series.current + by); },
    remove: function () {
      var s = place.selected;
      if (s) place.change([{ photo: s.photo, k: s.k, after: null }]);
    },
    base: function () { return series.base && series.base.file; },
    unsaved: function () { return changes !== saved; },
    panes: function (which) { return which === "active" ? [place.active] : place.panes; },
    entries: function () { return place.panes.map(function (p) { return p.entry; }); },
    shown: function () {
      place.panes.forEach(function (p) { if (!p.fitted && p.entry) p.fitted = p.viewer.fit(); });
      place.render();
    }
  };
})();
