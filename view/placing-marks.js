// Placing points, the two panes: the base photograph and the current further one, the
// marks of their points and where B' falls, and the editing there: a click places a
// point, a mark dragged or the arrow keys move one. After placing.js, before
// placing-table.js; what they share is TV.place.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var place = TV.place, series = place.series, COLOURS = place.COLOURS;

  function Pane(side, canvas, caption) {
    var pane = this;
    this.side = side; this.entry = null; this.fitted = false; this.caption = $(caption);
    this.photo = function () { return side === "base" ? series.base : place.current(); };
    this.viewer = new TV.Viewer($(canvas), {
      scene: function (ctx) { if (pane.entry) ctx.drawImage(pane.entry.canvas, 0, 0); },
      overlay: function (ctx) { overlay(pane, ctx); },
      pointer: function (px) { pointer(pane, px); },
      click: function (px) { click(pane, px); },
      grab: function (sx, sy) { return grab(pane, sx, sy); },
      drag: function (dx, dy) { drag(dx, dy); },
      drop: function (moved) { drop(moved); },
      size: function () { return pane.entry && pane.entry.image; },
      moved: function () { TV.keepView(); }
    });
  }
  place.panes = [new Pane("base", "base-view", "base-caption"), new Pane("photo", "photo-view", "photo-caption")];
  place.active = place.panes[1];  // the pane the keys F and 1 act on: the last one pointed at

  place.paneOf = function (photo) { return place.panes.filter(function (p) { return p.photo() === photo; })[0]; };

  place.show = function (pane) {
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
        TV.fit();  // what this pane showed before may go now
        if (!entry.image.grey)
          TV.say(photo.name + " est une image en couleur (P6) ; tavrin ne lit que les PGM en gris (P5).", true);
        var v = pane.view;  // the view of the work taken back
        pane.view = null;
        if (v) pane.fitted = !!pane.viewer.centreAt(v.x, v.y, v.scale);
        else if (!pane.fitted) pane.fitted = pane.viewer.fit(); else pane.viewer.draw();
      });
    });
  };

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
    var t = place.turnAndScale(l.a, l.b, l.a2, l.b2);
    if (!t) return null;
    return { x: a2.x + t.re * dx - t.im * dy, y: a2.y + t.im * dx + t.re * dy };
  }

  function overlay(pane, ctx) {
    var photo = pane.photo(), v = pane.viewer;
    pane.caption.textContent = (photo ? photo.name + (pane.side === "base" ? " (base)" : "") :
      pane.side === "base" ? "photographie de base : pas encore ouverte" : "pas de photographie suivante") +
      "  \u00b7  " + v.zoomText();
    if (!photo || !pane.entry) return;
    var l = place.labelsOf(photo), guess = pane.side === "photo" && whereBFalls(photo);
    if (guess) {
      var s = v.toScreen(guess.x + 0.5, guess.y + 0.5);
      ctx.strokeStyle = COLOURS[1]; ctx.lineWidth = 1; ctx.setLineDash([6, 6]);
      ctx.beginPath();
      var circle = "radius" in guess;
      if (circle) ctx.arc(s.x, s.y, guess.radius * v.scale, 0, 2 * Math.PI);
      else ctx.rect(s.x - 10, s.y - 10, 20, 20);
      ctx.stroke(); ctx.setLineDash([]);
      ctx.font = "12px system-ui, sans-serif"; ctx.fillStyle = COLOURS[1];
      ctx.fillText(circle ? "B' à l'échelle 1 est sur ce cercle" : "B' d'après les réponses chargées",
                   s.x + 14, circle ? s.y - guess.radius * v.scale - 6 : s.y + 24);
    }
    photo.points.forEach(function (p, k) {
      if (p) mark(ctx, v, p, COLOURS[k], l[k] + " " + TV.pointText(p), place.is(place.selected, photo, k));
    });
  }

  function pointer(pane, px) {
    place.active = pane;
    var e = pane.entry, photo = pane.photo();
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
    var k = moving && moving.photo === photo ? moving.k : photo.points.indexOf(null);
    if (k < 0)
      return TV.say(l[0] + " et " + l[1] + " sont placés sur " + photo.name + " : pour en déplacer un, faites " +
                    "glisser sa marque, ou « Déplacer » dans le tableau, ou les flèches.", true);
    TV.say("");
    place.moving = null;
    place.selected = { photo: photo, k: k };
    place.change([{ photo: photo, k: k, after: { x: px.x, y: px.y } }]);
  }

  // A dragged mark moves by the pointer's motion, in whole pixels, wherever it was grabbed.
  function grab(pane, sx, sy) {
    var photo = pane.photo();
    place.dragging = null;
    if (photo && pane.entry) photo.points.forEach(function (p, k) {
      var s = p && pane.viewer.toScreen(p.x + 0.5, p.y + 0.5);
      if (s && Math.abs(s.x - sx) <= 8 && Math.abs(s.y - sy) <= 8 && !place.dragging)
        place.dragging = { photo: photo, k: k, from: place.copy(p) };
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
  place.nudge = function (dx, dy) {
    var s = place.selected, p = s && s.photo.points[s.k];
    if (!p)
      return TV.say("Choisissez d'abord un point : un clic sur sa marque ou sur sa ligne du tableau.", true,
                    function () { return !place.selected; });
    place.change([{ photo: s.photo, k: s.k, after: within(s.photo, { x: p.x + dx, y: p.y + dy }) }]);
  };

  function within(photo, p) {
    if (!photo.width) return p;
    return { x: Math.min(Math.max(p.x, 0), photo.width - 1), y: Math.min(Math.max(p.y, 0), photo.height - 1) };
  }
})();
