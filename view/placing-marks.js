// Placing points, the two panes: the base photograph and the current further one, the
// marks of their points and where B' falls, and the editing there: a click places a
// point, a mark dragged or the arrow keys move one. After placing.js, before
// placing-table.js; what they share is TV.place. It adds its part to TV.placing.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var place = TV.place, series = place.series, COLOURS = place.COLOURS;
  var HIT = 12;  // screen pixels: a press this near a mark's middle takes the mark
  var loupe = new TV.Loupe($("loupe")), following = false;

  // What later scripts register on the panes, each f(pane, ctx) in the order registered:
  // onDraw("scene", f) may draw in the photograph's stead, and returns true when it did;
  // onDraw("under", f) draws before the marks; onDraw("over", f) after them, on a pane
  // that shows its photograph. onPan(f(pane)): at each pan or zoom of a pane.
  var drawn = { scene: [], under: [], over: [] }, panned = [];
  place.onDraw = function (layer, f) { drawn[layer].push(f); };
  place.onPan = function (f) { panned.push(f); };
  function draw(layer, pane, ctx) { drawn[layer].forEach(function (f) { f(pane, ctx); }); }

  function Pane(side, canvas, caption) {
    var pane = this;
    this.side = side; this.entry = null; this.fitted = false; this.caption = $(caption);
    this.photo = function () { return side === "base" ? series.base : place.current(); };
    this.viewer = new TV.Viewer($(canvas), {
      scene: function (ctx) {  // the photograph, unless a scene registered drew in its stead
        if (pane.entry && !drawn.scene.some(function (f) { return f(pane, ctx); }))
          ctx.drawImage(pane.entry.canvas, 0, 0);
      },
      overlay: function (ctx) { overlay(pane, ctx); },
      pointer: function (px, s) { pointer(pane, px, s); },
      click: function (px) { click(pane, px); },
      grab: function (sx, sy) { return grab(pane, sx, sy); },
      drag: function (dx, dy) { drag(dx, dy); },
      drop: function (moved) { drop(moved); },
      size: function () { return pane.entry && pane.entry.image; },
      moved: function () { panned.forEach(function (f) { f(pane); }); follow(pane); }
    });
  }
  place.panes.push(new Pane("base", "base-view", "base-caption"), new Pane("photo", "photo-view", "photo-caption"));
  place.active = place.panes[1];  // the pane the keys F and 1 act on: the last one pointed at

  place.paneOf = function (photo) { return place.panes.filter(function (p) { return p.photo() === photo; })[0]; };

  // The pane's photograph brought into it: decoded, and in view.
  Pane.prototype.show = function () {
    var pane = this, photo = pane.photo(), file = photo && photo.file;
    if (pane.entry && file && TV.sameFile(pane.entry.file, file)) return pane.viewer.draw();
    pane.entry = null;
    pane.viewer.draw();
    repoint(pane);  // nothing under the pointer until the photograph is decoded
    if (!file) return;
    return TV.task(function () {
      return TV.open(file).then(function (entry) {
        if (pane.photo() !== photo || photo.file !== file) return;
        photo.width = entry.image.width; photo.height = entry.image.height;
        pane.entry = entry;
        TV.fit();  // what this pane showed before may go now
        if (!entry.image.grey)
          TV.say(photo.name + " est une image en couleur (P6) ; tavrin ne lit que les PGM en gris (P5).", true);
        // The view of the work taken back, or the one this photograph had when left; the
        // linked views follow the base; otherwise the likely place of the next point in sight.
        var v = pane.view || pane.side === "photo" && photo.view;
        pane.view = null;
        following = true;
        if (v) pane.fitted = !!pane.viewer.centreAt(v.x, v.y, v.scale);
        else if (!pane.fitted) pane.fitted = pane.viewer.fit(); else pane.viewer.draw();
        following = false;
        if (linked() && place.panes[0].entry && place.panes[1].entry) follow(place.panes[0]);
        else if (!v && pane.side === "photo") toLikely();
        repoint(pane);
      });
    });
  };

  // Another photograph under a pointer at rest (PageDown, an undo on another one): its
  // pixel there, in the top line and the loupe, at once, not at the pointer's next move.
  function repoint(pane) {
    if (pane.at) pointer(pane, pane.viewer.pixelAt(pane.at.s.x, pane.at.s.y), pane.at.s);
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

  // The turn and scale foretold for a further photograph, and the A' they start from:
  // its loaded answers', or else those of the nearest photograph before it with its two
  // points; why: where they come from.
  function foretold(photo) {
    var base = series.base, a = base.points[0], b = base.points[1], l = photo.loaded, t;
    if (l) return (t = place.turnAndScale(l.a, l.b, l.a2, l.b2)) && { t: t, a2: l.a2, why: "les réponses chargées" };
    var before = series.further.slice(0, Math.max(0, series.further.indexOf(photo))).filter(function (p) {
      return p.points[0] && p.points[1];
    }).pop();
    t = before && place.turnAndScale(a, b, before.points[0], before.points[1]);
    return t && { t: t, a2: before.points[0], why: before.name };
  }

  // Where the next point of a further photograph likely falls, once A and B are placed:
  // A' where the photograph foretold has it (the same turn, scale and shift); B' where the
  // turn and scale foretold carry B from A', or else on the circle about A' of radius AB
  // at the scale 1. k: the point's index.
  function likely(photo) {
    var base = series.base, a = base && base.points[0], b = base && base.points[1];
    if (!photo || photo === base || !a || !b || photo.points[1]) return null;
    var f = foretold(photo), a2 = photo.points[0], dx = b.x - a.x, dy = b.y - a.y;
    if (!a2) return f && { k: 0, x: f.a2.x, y: f.a2.y, why: f.why };
    if (!f) return { k: 1, x: a2.x, y: a2.y, radius: Math.hypot(dx, dy) };
    return { k: 1, x: Math.round(a2.x + f.t.re * dx - f.t.im * dy), y: Math.round(a2.y + f.t.im * dx + f.t.re * dy),
             why: f.why };  // a whole pixel, as a point is
  }

  // The pixel p in the middle of the pane unless it shows well inside already; never a
  // place off the photograph.
  function inSight(pane, p) {
    var v = pane.viewer, photo = pane.photo(), s = v.toScreen(p.x + 0.5, p.y + 0.5);
    var w = v.canvas.clientWidth, h = v.canvas.clientHeight;
    if (!pane.entry || p.x < 0 || p.y < 0 || p.x >= photo.width || p.y >= photo.height) return;
    if (s.x < w / 10 || s.x > w * 0.9 || s.y < h / 10 || s.y > h * 0.9) v.centreAt(p.x + 0.5, p.y + 0.5, v.scale);
  }
  function toLikely() {
    var g = likely(place.current());
    if (g && !("radius" in g)) inSight(place.panes[1], g);
  }
  // A' just placed: where B' likely falls, in sight.
  place.onChange(function (list) {
    var photo = place.current();
    if (list.some(function (c) { return c.photo === photo && c.k === 0 && !c.before && c.after; })) toLikely();
  });

  function overlay(pane, ctx) {
    var photo = pane.photo(), v = pane.viewer;
    pane.caption.textContent = (photo ? photo.name + (pane.side === "base" ? " (base)" : "") :
      pane.side === "base" ? "photographie de base : pas encore ouverte" : "pas de photographie suivante") +
      "  \u00b7  " + v.zoomText();
    draw("under", pane, ctx);
    if (!photo || !pane.entry) return;
    var l = place.labelsOf(photo), guess = pane.side === "photo" && likely(photo);
    if (guess) {
      var s = v.toScreen(guess.x + 0.5, guess.y + 0.5);
      ctx.strokeStyle = COLOURS[guess.k]; ctx.lineWidth = 1; ctx.setLineDash([6, 6]);
      ctx.beginPath();
      var circle = "radius" in guess;
      if (circle) ctx.arc(s.x, s.y, guess.radius * v.scale, 0, 2 * Math.PI);
      else ctx.rect(s.x - 10, s.y - 10, 20, 20);
      ctx.stroke(); ctx.setLineDash([]);
      ctx.font = "12px system-ui, sans-serif"; ctx.fillStyle = COLOURS[guess.k];
      ctx.fillText(circle ? "B' à l'échelle 1 est sur ce cercle" : l[guess.k] + " d'après " + guess.why,
                   s.x + 14, circle ? s.y - guess.radius * v.scale - 6 : s.y + 24);
    }
    photo.points.forEach(function (p, k) {
      if (p) mark(ctx, v, p, COLOURS[k], l[k] + " " + TV.pointText(p), place.is(place.selected, photo, k));
    });
    draw("over", pane, ctx);
    if (pane.at) magnify(pane);  // the points as they are now
  }

  function magnify(pane) {
    var e = pane.entry, at = pane.at, photo = pane.photo();
    if (!at || !e || pane.viewer.panning || !$("loupe-on").checked) return loupe.hide();
    var r = pane.viewer.canvas.getBoundingClientRect();
    loupe.show(e.canvas, at.px, { x: r.left + at.s.x, y: r.top + at.s.y }, photo.points.map(function (p, k) {
      return p && { x: Math.floor(p.x), y: Math.floor(p.y), colour: COLOURS[k] };
    }).filter(Boolean));
  }

  function pointer(pane, px, s) {
    place.active = pane;
    var e = pane.entry, photo = pane.photo();
    pane.at = px && { px: px, s: s };
    magnify(pane);
    if (!px || !e) return TV.pointerText(null);
    var inside = px.x >= 0 && px.y >= 0 && px.x < e.image.width && px.y < e.image.height;
    TV.pointerText(photo.name + "  x " + px.x + "  y " + px.y + "  " +
      (!inside ? "hors de l'image" : e.image.grey ? "gris " + e.image.grey[px.x + px.y * e.image.width] : ""));
  }

  // A click places a point only where none is placed yet, or the one "Move" chose.
  function click(pane, px) {
    var photo = pane.photo();
    if (!photo || !pane.entry)
      return TV.say(pane.side === "base" ? "Ouvrez d'abord la photographie de base." :
                    "Ouvrez d'abord les photographies suivantes.", true, function () { return !pane.entry; });
    if (px.x < 0 || px.y < 0 || px.x >= photo.width || px.y >= photo.height)
      return TV.say("Ce clic tombe hors de " + photo.name + ".", true);
    var l = place.labelsOf(photo), moving = place.moving;
    var k = moving && moving.photo === photo ? moving.k : photo.points.slice(0, 2).indexOf(null);  // C when armed
    if (k < 0)
      return TV.say(l[0] + " et " + l[1] + " sont placés sur " + photo.name + " : pour en déplacer un, faites " +
                    "glisser sa marque, ou « Déplacer » dans le tableau, ou les flèches.", true);
    TV.say("");
    place.moving = null;
    place.selected = { photo: photo, k: k };
    place.change([{ photo: photo, k: k, after: { x: px.x, y: px.y } }]);
  }

  // A dragged mark moves by the pointer's motion, in whole pixels, wherever it was
  // grabbed; of two marks within reach, the nearer.
  function grab(pane, sx, sy) {
    var photo = pane.photo(), nearest = HIT;
    place.dragging = null;
    if (photo && pane.entry) photo.points.forEach(function (p, k) {
      var s = p && pane.viewer.toScreen(p.x + 0.5, p.y + 0.5), d = s && Math.hypot(s.x - sx, s.y - sy);
      if (s && d <= nearest) { nearest = d; place.dragging = { photo: photo, k: k, from: place.copy(p) }; }
    });
    if (place.dragging) { place.selected = { photo: photo, k: place.dragging.k }; place.render(); }
    return !!place.dragging;
  }
  function drag(dx, dy) {
    var d = place.dragging, p = d.from;
    d.photo.points[d.k] = within(d.photo, { x: p.x + Math.round(dx), y: p.y + Math.round(dy) });
    if (d.photo.points[d.k].x === p.x && d.photo.points[d.k].y === p.y) d.photo.points[d.k] = p;
    place.render();
  }
  function drop() {
    var d = place.dragging, now = d && d.photo.points[d.k];
    place.dragging = null;
    if (!d || now === d.from) return;
    d.photo.points[d.k] = d.from;
    place.change([{ photo: d.photo, k: d.k, after: now }]);
  }

  // The arrow keys: the chosen point by dx, dy pixels.
  TV.placing.nudge = function (dx, dy) {
    var s = place.selected, p = s && s.photo.points[s.k];
    if (!p)
      return TV.say("Choisissez d'abord un point : un clic sur sa marque ou sur sa ligne du tableau.", true,
                    function () { return !place.selected; });
    place.change([{ photo: s.photo, k: s.k, after: within(s.photo, { x: p.x + dx, y: p.y + dy }) }]);
  };

  // The next point (by 1) or the one before (by -1) of A, B, A', B', then C, C' once C
  // is placed: chosen, and in sight; one not placed yet, where it likely falls, the next
  // click on its photograph placing it.
  TV.placing.nextPoint = function (by) {
    var slots = [], s = place.selected, photos = [series.base, place.current()].filter(Boolean);
    photos.forEach(function (photo) { slots.push([photo, 0], [photo, 1]); });
    if (series.base && series.base.points[2]) photos.forEach(function (photo) { slots.push([photo, 2]); });
    if (!slots.length) return TV.say("Ouvrez d'abord la photographie de base.", true);
    var i = slots.map(function (t) { return place.is(s, t[0], t[1]); }).indexOf(true);
    var next = slots[(i < 0 && by < 0 ? slots.length - 1 : i + by + slots.length) % slots.length];
    var photo = next[0], k = next[1], p = photo.points[k], pane = place.paneOf(photo);
    if (!p) {
      place.arm(photo, k);
      var g = likely(photo);
      if (g && g.k === k && !("radius" in g)) inSight(pane, g);
      return;
    }
    place.moving = null;
    place.selected = { photo: photo, k: k };
    inSight(pane, p);
    place.render();
  };

  // The next click on the photograph places its point k there.
  place.arm = function (photo, k) {
    var l = place.labelsOf(photo), moving = place.moving = place.selected = { photo: photo, k: k };
    TV.say("Cliquez sur " + photo.name + " là où va " + l[k] + ".", true,
           function () { return place.moving === moving; });
    place.render();
  };

  // Linked views: the other pane follows a pan or a zoom, through the turn, scale and
  // shift that A, B, A', B' give once the four are placed, else at the same zoom and the
  // same place relative to the photograph's size.
  function linked() { return $("linked").checked; }
  function follow(from) {
    var to = place.panes[1 - place.panes.indexOf(from)];
    if (following || !linked() || !from.entry || !to.entry) return;
    var c = from.viewer.centre(), base = series.base.points, photo = place.current().points, x, y, scale;
    var t = base[0] && base[1] && photo[0] && photo[1] && place.turnAndScale(base[0], base[1], photo[0], photo[1]);
    if (t && (t.re || t.im)) {  // A' and B' apart
      var n = Math.hypot(t.re, t.im), forth = from.side === "base";
      var f = forth ? t : { re: t.re / n / n, im: -t.im / n / n };  // the other way, the inverse
      var a = forth ? base[0] : photo[0], a2 = forth ? photo[0] : base[0], dx = c.x - a.x - 0.5, dy = c.y - a.y - 0.5;
      x = a2.x + 0.5 + f.re * dx - f.im * dy; y = a2.y + 0.5 + f.im * dx + f.re * dy;
      scale = forth ? c.scale / n : c.scale * n;
    } else {
      var fs = from.entry.image, ts = to.entry.image;
      x = c.x / fs.width * ts.width; y = c.y / fs.height * ts.height; scale = c.scale;
    }
    following = true;
    to.viewer.centreAt(x, y, scale);
    following = false;
  }
  TV.placing.link = function () { if (place.panes[0].entry) follow(place.panes[0]); };

  function within(photo, p) {
    if (!photo.width) return p;
    return { x: Math.min(Math.max(p.x, 0), photo.width - 1), y: Math.min(Math.max(p.y, 0), photo.height - 1) };
  }
})();
