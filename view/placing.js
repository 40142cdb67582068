// Placing points: the base photograph with A and B on the left, the current further
// photograph with A' and B' on the right, each at its own zoom; a table of the points
// to read and type; every change of a point undoable. Saved as the answers tavrin reads.
// In four scripts, loaded in this order, which share TV.place: this one (the series, its
// history of changes, its files and answers, and TV.placing, which the rest of the page
// uses); placing-marks.js (the two panes and the editing there); placing-check.js (the
// check point C, C'); placing-table.js (the list, the table and the warnings). Each calls
// only those before it; the later ones register with the hooks of the earlier ones.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  // A photograph: {name, file, width, height, missing, points: [A, B, C], loaded}; a point
  // {x, y, text (as loaded, until it changes)}; loaded: the four points of an answers
  // file, whose turn and scale foretell B'. C, the check point, is never in the answers.
  var place = TV.place = {
    COLOURS: ["#ffd400", "#00e5ff", "#ff4df0"],  // A, B, C: none can be a grey of the photograph
    series: { base: null, further: [], current: 0 },
    selected: null, moving: null, dragging: null,  // {photo, k}
    undone: [], redone: [],  // each a change: [{photo, k, before, after}], and what, said when undone
    // The two panes, which placing-marks.js registers, and the one the keys F and 1 act on.
    panes: [], active: null
  };
  var series = place.series;
  var changes = 0, saved = 0;  // changes made, undone and redone; their count at the last save

  place.labelsOf = function (photo) { return photo === series.base ? ["A", "B", "C"] : ["A'", "B'", "C'"]; };
  place.current = function () { return series.further[series.current] || null; };
  place.all = function () { return (series.base ? [series.base] : []).concat(series.further); };
  function named(name) { return place.all().filter(function (p) { return p.name === name; })[0]; }
  function newPhoto(name) { return { name: name, points: [null, null, null] }; }
  place.copy = function (p) { return p && { x: p.x, y: p.y, text: p.text }; };
  place.is = function (a, photo, k) { return !!a && a.photo === photo && a.k === k; };

  // The turn and scale that take A, B onto A', B', as the complex ratio (B'-A')/(B-A).
  place.turnAndScale = function (a, b, a2, b2) {
    var bx = b.x - a.x, by = b.y - a.y, px = b2.x - a2.x, py = b2.y - a2.y, n = bx * bx + by * by;
    return n && { re: (px * bx + py * by) / n, im: (py * bx - px * by) / n };
  };

  // What the later scripts register, each run in the order registered: onRender(f()) at
  // each drawing anew of the side and the panes; onChange(f(list)) once a change is made
  // (not when undone or redone), its points applied.
  var rendered = [], changed = [];
  place.onRender = function (f) { rendered.push(f); };
  place.onChange = function (f) { changed.push(f); };
  place.render = function () { rendered.forEach(function (f) { f(); }); };

  // ------------------------------------------------------------ changes, undone and redone

  // what, if given: the change in words ("le chargement de reponses.txt"), told when undone.
  place.change = function (list, what) {
    list = list.filter(function (c) {
      c.before = place.copy(c.photo.points[c.k]);
      return JSON.stringify(c.before) !== JSON.stringify(c.after);
    });
    if (!list.length) return place.render();
    list.what = what;
    ++changes;
    place.undone.push(list);
    place.redone = [];
    apply(list, "after");
    changed.forEach(function (f) { f(list); });
  };

  function apply(list, which) {
    list.forEach(function (c) { c.photo.points[c.k] = place.copy(c[which]); });
    var photo = list[0].photo, at = series.further.indexOf(photo);
    place.selected = { photo: photo, k: list[0].k };
    if (at >= 0 && at !== series.current) { leave(); series.current = at; place.panes[1].show(); }
    place.render();
  }

  // The last change of one history moves onto the other, its points as they were or
  // became. -> that change, if any.
  function replay(from, to, which, nothing) {
    var list = from.pop();
    if (!list) return TV.say(nothing, true, function () { return !from.length; });
    to.push(list);
    ++changes;
    apply(list, which);
    return list;
  }
  // A change told in words (loaded answers, the work taken back) says so when undone:
  // its points may go from photographs out of sight. Told until it is redone or another
  // change comes.
  function undo() {
    var list = replay(place.undone, place.redone, "before", "Rien à annuler."), n = list && list.length;
    if (!list || !list.what) return;
    var photos = list.map(function (c) { return c.photo; }).filter(function (p, i, all) {
      return all.indexOf(p) === i;
    }).length;
    TV.say("Annulé : " + list.what + " ; " + n + (n > 1 ? " points" : " point") + " sur " + photos +
           (photos > 1 ? " photographies" : " photographie") + (n > 1 ? " sont revenus à ce qu'ils étaient" :
           " est revenu à ce qu'il était") + " avant. « Rétablir » (Ctrl+Y) " + (n > 1 ? "les" : "le") + " remet.",
           true, function () { return place.redone[place.redone.length - 1] === list; });
  }
  function redo() { replay(place.redone, place.undone, "after", "Rien à rétablir."); }

  // ------------------------------------------------------------ files, answers

  // The view of the photograph left, for when it comes back.
  function leave() {
    var p = place.current(), pane = place.panes[1];
    if (p && pane.entry && p.file && TV.sameFile(pane.entry.file, p.file)) p.view = pane.viewer.centre();
  }

  place.choose = function (i) {
    if (i < 0 || i >= series.further.length) return;
    if (i !== series.current) leave();
    series.current = i;
    // The arrow keys and Move act on what is shown.
    if (place.moving && place.moving.photo !== series.base) place.moving = null;
    var s = place.selected;
    if (s && s.photo !== series.base && s.photo !== place.current()) place.selected = null;
    place.render();
    return place.panes[1].show();
  };

  // Another base asks first when A or B are placed on the one it replaces.
  function replaceBase(name) {
    var old = series.base;
    if (old && old.name !== name && (old.points[0] || old.points[1]) &&
        !window.confirm("A et B sont placés sur " + old.name + ". Faire de " + name + " la photographie de base " +
                        "et les laisser ? Cela ne peut pas être annulé.")) return false;
    if (old && old.name === name) return true;
    var p = named(name) || newPhoto(name);
    series.further = series.further.filter(function (q) { return q !== p; });
    series.current = Math.min(series.current, Math.max(0, series.further.length - 1));
    series.base = p;
    if (old && (old.points[0] || old.points[1])) { place.undone = []; place.redone = []; }
    place.panes[0].fitted = false;
    return true;
  }

  function sized(photo, file, h) {
    photo.file = file; photo.width = h.width; photo.height = h.height; photo.missing = h.missing;
  }

  // A file joins the series only once its header is read: one that cannot be read is
  // refused with its reason, and what was there stays.
  function setBase(file) {
    return TV.task(function () {
      return TV.readSize(file).then(function (h) {
        if (!replaceBase(file.name))
          return TV.say(file.name + " n'est pas ouverte : " + series.base.name + " reste la photographie de base.",
                        true);
        sized(series.base, file, h);
        place.render();
        return place.panes[0].show();
      }, function (e) {
        TV.say(e.message + (series.base ? ". La photographie de base reste " + series.base.name + "." : "."));
      });
    });
  }

  // name-2.pgm, name-3.pgm...: the first that no photograph of the series has, in any
  // case (as Windows opens names), the way the closing name fin-2, fin-3... is found.
  function distinctName(name) {
    var m = /^(.+?)(\.[^.]*)?$/.exec(name), taken = place.all().map(function (p) { return p.name.toLowerCase(); });
    for (var k = 2; ; ++k) {
      var other = m[1] + "-" + k + (m[2] || "");
      if (taken.indexOf(other.toLowerCase()) < 0) return other;
    }
  }

  // A file of the name of a photograph that has another file (from another folder, or
  // changed since) never takes its place unasked: the operator replaces that one, its
  // points going to the new file, keeps both, the new one under a name of its own, or
  // leaves the new one out.
  function askSameName(file, h) {
    var key = "same name " + [file.name, file.size, file.lastModified].join("\n"), p = named(file.name);
    var placed = p.points.slice(0, 2).map(function (q, k) { return q && place.labelsOf(p)[k]; }).filter(Boolean);
    function answered(act) { return function () { TV.warn(key, null); act(); }; }
    TV.warn(key, file.name + " : " + (p === series.base ? "la photographie de base" : "une photographie de la série") +
      " porte déjà ce nom, mais vient d'un autre fichier (d'un autre dossier, ou modifié depuis)" + (placed.length ?
      " ; " + placed.join(" et ") + (placed.length > 1 ? " y sont placés" : " y est placé") : "") + ". Remplacer " +
      "celle de la série par celle-ci, qui prend ses points, ou garder les deux, celle-ci sous le nom " +
      distinctName(file.name) + " ?", { actions: [
        ["Remplacer", answered(function () {
          var q = named(file.name);
          if (q === series.base) return setBase(file);
          if (!q) series.further.push(q = newPhoto(file.name));
          sized(q, file, h);
          place.choose(series.current);
        })],
        ["Garder les deux", answered(function () {
          var q = newPhoto(distinctName(file.name));
          series.further.push(q);
          sized(q, file, h);
          TV.say(file.name + " est dans la série sous le nom " + q.name + ", et ainsi dans les réponses : donnez " +
                 "ce nom au fichier avant de lancer tavrin.", true);
          place.choose(series.current);
        })],
        ["Ne pas l'ajouter", answered(function () {})]] });
  }

  // Further photographs join the series by name: a photograph the answers named gets its
  // file; a file already in the series, under any name, stays where it is.
  function addFurther(files) {
    files = Array.prototype.slice.call(files);
    return TV.task(function () {
      return Promise.all(files.map(function (f) {
        return TV.readSize(f).then(function (h) { return { file: f, h: h }; }, function (e) { return { error: e }; });
      })).then(function (read) {
        var refused = read.filter(function (r) { return r.error; }).map(function (r) { return r.error.message + "."; });
        read.forEach(function (r) {
          var p = r.file && named(r.file.name);
          if (!r.file || place.all().some(function (q) { return TV.sameFile(q.file, r.file); })) return;
          if (p && p.file) return askSameName(r.file, r.h);
          if (p === series.base) return setBase(r.file);
          if (!p) series.further.push(p = newPhoto(r.file.name));
          sized(p, r.file, r.h);
        });
        if (refused.length) TV.say((refused.length > 1 ? "Refusées :\n" : "") + refused.join("\n"));
        return place.choose(series.current);
      });
    });
  }

  // Names and points from the answers loaded or the work taken back: [{name, points,
  // loaded}], the base first, become the series, as one change that can be undone, told
  // as what. The photographs already open keep their files; the others are listed, to be
  // chosen.
  place.adopt = function (photos, current, what) {
    if (!replaceBase(photos[0].name)) return false;
    var list = [], further = photos.slice(1).map(function (r) {
      var p = named(r.name) || newPhoto(r.name);
      p.loaded = r.loaded;
      return p;
    });
    series.further = further.concat(series.further.filter(function (p) {
      return further.indexOf(p) < 0 && p !== series.base;
    }));
    photos.forEach(function (r, i) {
      var p = i === 0 ? series.base : further[i - 1];
      r.points.forEach(function (q, k) { list.push({ photo: p, k: k, after: place.copy(q) }); });
    });
    series.current = 0;
    place.change(list, what);
    place.panes[0].show();
    place.choose(Math.min(current || 0, Math.max(0, series.further.length - 1)));
    return true;
  };

  function loadAnswers(file) {
    return TV.task(function () {
      return file.text().then(function (text) {
        var read;
        try { read = TV.parseAnswers(text); } catch (e) { throw new Error(file.name + " : " + e.message + "."); }
        TV.say("");
        if (!place.adopt(read.map(function (r, i) {
          return { name: r.name, points: r.points,
                   loaded: i > 0 && { a: read[0].points[0], b: read[0].points[1], a2: r.points[0], b2: r.points[1] } };
        }), 0, "le chargement de " + file.name))
          TV.say(file.name + " n'est pas chargé : sa photographie de base est " + read[0].name + ".", true);
      });
    });
  }

  // ------------------------------------------------------------ saving

  var FILE = "reponses.txt", downloads = 0;

  // The answers' bytes, or the reason they cannot be written.
  function answers() {
    var base = series.base;
    if (!base) throw new Error("Ouvrez d'abord la photographie de base.");
    var kept = series.further.filter(function (p) { return p.points[0] && p.points[1]; });
    var names = place.all().map(function (p) { return p.name; });
    return { photos: [base].concat(kept), text: TV.formatAnswers([base].concat(kept), TV.closingName(names)) };
  }

  function save() {
    var a;
    try { a = answers(); } catch (e) {
      // Told until the answers could be written, or fail for another reason.
      return TV.say(e.message, false, function () {
        try { answers(); } catch (again) { return again.message === e.message; }
        return false;
      });
    }
    var short = a.photos.filter(function (p) { return p.missing; });
    var doubts = TV.warnings("points ").concat(short.map(function (p) {
      return p.name + " s'arrête " + TV.number(p.missing) + " octets trop tôt : tavrin compte en noir ce qui manque.";
    }));
    if (doubts.length && !window.confirm(doubts.join("\n") + "\n\nEnregistrer les réponses malgré tout ?"))
      return TV.say("Réponses non enregistrées.", true);
    var at = changes, blob = new Blob([a.text], { type: "text/plain" });
    var n = a.photos.length - 1, what = a.photos[0].name + (n ? " et " + n + " photographie" + (n > 1 ? "s" : "") +
      " suivante" + (n > 1 ? "s" : "") : " seule") + ", puis « " + a.text.split("\n").slice(-2)[0] + " »";
    function done(where) {
      saved = at;
      TV.say(where, true, function () { return changes === at; });
    }
    function download() {
      var link = document.createElement("a");
      link.href = URL.createObjectURL(blob);
      link.download = FILE;
      link.click();
      setTimeout(function () { URL.revokeObjectURL(link.href); }, 60000);
      // The browser names a download after one of that name "reponses (1).txt", without telling the page.
      done(FILE + " : " + what + ". Le navigateur l'enregistre dans ses téléchargements" + (++downloads === 1
        ? ", sous ce nom, ou sous reponses (1).txt, reponses (2).txt… si un fichier " + FILE + " s'y trouve déjà"
        : " ; c'est le " + downloads + "e enregistrement depuis l'ouverture de la page : il s'y appelle sans " +
          "doute reponses (" + (downloads - 1) + ").txt, ou plus") + ". Vérifiez son nom, et mettez-le sous le nom " +
        FILE + " dans le dossier des photographies : tavrin < " + FILE + ".");
    }
    if (!window.showSaveFilePicker) return download();
    // Where the browser lets the operator choose the name and the folder; a refusal of
    // the browser's (no gesture, a folder it protects) falls back on the download.
    return TV.task(function () {
      var types = [{ description: "Réponses pour tavrin", accept: { "text/plain": [".txt"] } }];
      return window.showSaveFilePicker({ suggestedName: FILE, id: "tavrin-reponses", types: types })
        .then(function (handle) {
          return handle.createWritable().then(function (w) {
            return w.write(blob).then(function () { return w.close(); });
          }).then(function () {
            done(handle.name + " : " + what + ", enregistré dans le dossier choisi. Dans ce dossier : tavrin < " +
                 handle.name + ".");
          });
        }, function (e) {
          if (e.name === "AbortError") return TV.say("Réponses non enregistrées : aucun fichier choisi.", true);
          return download();
        });
    });
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

  TV.showing(function () { return place.panes.map(function (p) { return p.entry; }); });

  // placing-marks.js adds its part: nudge(dx, dy), nextPoint(by) and link().
  TV.placing = {
    setBase: setBase, addFurther: addFurther, loadAnswers: loadAnswers, save: save, footprint: footprint,
    undo: undo, redo: redo,
    step: function (by) { place.choose(series.current + by); },
    remove: function () {
      var s = place.selected;
      if (s) place.change([{ photo: s.photo, k: s.k, after: null }]);
    },
    base: function () { return series.base && series.base.file; },
    unsaved: function () { return changes !== saved; },
    // Linked, the base leads and the photograph follows.
    panes: function (which) {
      var linked = document.getElementById("linked").checked;
      return which === "active" ? [place.active] : linked ? place.panes.slice(0, 1) : place.panes;
    },
    shown: function () {
      place.panes.forEach(function (p) { if (!p.fitted && p.entry) p.fitted = p.viewer.fit(); });
      place.render();
    }
  };
})();
