// Comparing results: the base photograph against each rectified one, by blink, side by
// side (the two panes panned and zoomed together), swipe, blend or the difference map
// that tavrin-diff writes, with its figures and legend, its contrast raised at will.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var compare = { base: null, results: [], current: 0, look: "blink", timer: 0, showBase: false,
                  divider: 0.5, alpha: 0.5, gain: 1, b: null, r: null, diff: null, fitted: false, at: null };

  // The base chosen here, or else the one Place points shows: the same file, decoded once.
  function baseFile() { return compare.base || TV.placing.base(); }

  function listResults() {
    var ol = $("result-list");
    ol.textContent = "";
    compare.results.forEach(function (f, i) {
      var li = document.createElement("li");
      li.textContent = li.title = f.name;
      if (i === compare.current) li.className = "current";
      li.onclick = function () { select(i); };
      ol.appendChild(li);
    });
  }

  function measure(b, r) {
    var name = r.image.name, fp = TV.placing.footprint(name), key = fp ? fp.key : "";
    if (!b.image.grey || !r.image.grey) throw new Error("La carte des écarts demande des images en gris (P5).");
    if (r.image.width !== b.image.width || r.image.height !== b.image.height)
      throw new Error(name + " a " + r.image.width + " × " + r.image.height + " pixels et " + b.image.name + " " +
        b.image.width + " × " + b.image.height + " : une image redressée a la taille de sa photographie de base.");
    if (!r.diff || r.diff.base !== b || r.diff.key !== key) {
      var d = TV.differenceMap(b.image, r.image, fp && fp.covers);
      if (d.covered === 0) throw new Error(name + " ne couvre aucun pixel du cadre de la base : rien à comparer.");
      r.diff = { base: b, key: key, canvas: TV.offscreen(d.pixels), figures: d, covers: fp && fp.covers, gain: 1 };
      d.pixels = null;  // the canvas holds them now
      TV.fit();
    }
    var short = [b, r].filter(function (e) { return e.image.missing; }).map(function (e) {
      return " " + e.image.name + " s'arrête " + TV.number(e.image.missing) + " octets trop tôt : ce qui manque " +
        "compte ici en noir.";
    }).join("");
    $("figures").textContent = name + " : " + TV.figuresText(r.diff.figures);
    $("figures-note").textContent = (fp
      ? "Compté là où " + name + " couvre le cadre, d'après ses points dans « Placer les points »."
      : "Compté sur tout le cadre ; ouvrez " + name + " avec ses points dans « Placer les points » pour ne " +
        "compter que la partie qu'il couvre.") + short;
    return r.diff;
  }

  // The map at the gain chosen, and its scale: 0 to the largest difference over the
  // gain, in grey levels, with the tolerance marked where it falls.
  function contrast() {
    var diff = compare.diff, gain = compare.gain;
    $("gain-text").textContent = "×" + gain;
    if (!diff) return;
    var f = diff.figures, top = f.largest / gain;
    if (diff.gain !== gain) {
      diff.canvas.getContext("2d").putImageData(TV.mapColours(f, gain), 0, 0);
      diff.gain = gain;
    }
    var c = $("legend-bar"), ctx = c.getContext("2d");
    for (var i = 0; i < c.width; ++i) {
      var e = Math.round(i * top / (c.width - 1));
      ctx.fillStyle = "rgb(" + TV.paletteColour(f.largest ? Math.min(255.0, 255.0 * e * gain / f.largest) : 0) + ")";
      ctx.fillRect(i, 0, 1, c.height);
    }
    var at = f.largest ? TV.TOLERANCE / top : Infinity, mark = $("legend-mark"), left = 100 * Math.min(at, 1) + "%";
    $("legend-tolerance").hidden = mark.hidden = at > 1;
    $("legend-tolerance").style.left = mark.style.left = left;
    mark.style.transform = "translateX(-" + left + ")";  // under the tick, within the bar's ends
    mark.textContent = "\u25b2 tolérance : " + TV.TOLERANCE + " niveaux de gris";
    $("legend-max").textContent = TV.number(Math.round(top * 100) / 100) + " niveaux de gris" +
      (gain > 1 && f.largest ? " et plus" : "");
  }

  function select(i) {
    var base = baseFile();
    TV.recheck();
    if (i < 0 || i >= compare.results.length) return;
    compare.current = i;
    compare.showBase = false;  // each result is first seen itself
    listResults();
    $("figures").textContent = ""; $("figures-note").textContent = ""; $("legend").hidden = true;
    if (!base) return TV.say("Ouvrez aussi la photographie de base.", true, function () { return !baseFile(); });
    return TV.task(function () {
      return TV.open(base).then(function (b) {
        return TV.open(compare.results[i]).then(function (r) {
          if (compare.current !== i) return;
          compare.b = b; compare.r = r; compare.diff = null;
          TV.fit();
          TV.say("");
          if (!compare.fitted) compare.fitted = viewer.fit(); else viewer.draw();
          compare.diff = measure(b, r);
          contrast();
          $("legend").hidden = compare.look !== "difference";
          viewer.draw();
        });
      });
    });
  }

  function setBlinking(on) {
    clearInterval(compare.timer);
    compare.timer = 0;
    if (on) compare.timer = setInterval(flip, 1000 / Math.min(20, Math.max(0.5, +$("rate").value || 2)));
    $("blink").textContent = on ? "Arrêter" : "Clignoter";
  }
  function flip() { compare.showBase = !compare.showBase; viewer.draw(); }

  // A small cross where the pointer is in the other pane, side by side.
  function cross(v, ctx) {
    var at = compare.at;
    if (compare.look !== "side" || !at || at.viewer === v) return;
    var s = v.toScreen(at.px.x + 0.5, at.px.y + 0.5);
    ctx.strokeStyle = "#fff"; ctx.lineWidth = 1;
    ctx.beginPath();
    ctx.moveTo(s.x - 8, s.y); ctx.lineTo(s.x + 8, s.y); ctx.moveTo(s.x, s.y - 8); ctx.lineTo(s.x, s.y + 8);
    ctx.stroke();
  }
  function label(ctx, text) {
    ctx.font = "14px system-ui, sans-serif";
    ctx.fillStyle = "rgba(0,0,0,0.7)"; ctx.fillRect(8, 8, ctx.measureText(text).width + 12, 22);
    ctx.fillStyle = "#fff"; ctx.fillText(text, 14, 24);
  }

  function pointer(v, px) {
    var b = compare.b && compare.b.image, r = compare.r && compare.r.image;
    compare.at = px && { viewer: v, px: px };
    if (compare.look === "side") (v === viewer ? baseViewer : viewer).draw();
    if (!px || !b || !r) return TV.pointerText(null);
    if (px.x < 0 || px.y < 0 || px.x >= b.width || px.y >= b.height)
      return TV.pointerText("x " + px.x + "  y " + px.y + "  hors de l'image");
    var i = px.x + px.y * b.width, d = compare.diff, text = "";
    if (b.grey && r.grey) {
      text = "base " + b.grey[i] + "  résultat " + r.grey[i] + "  |écart| ";
      text += d && d.covers && !d.covers(px.x, px.y) ? "non compté" : Math.abs(r.grey[i] - b.grey[i]);
    }
    TV.pointerText("x " + px.x + "  y " + px.y + "  " + text);
  }

  // Side by side, each pane follows the other's zoom and position.
  function follow(from, to) {
    if (compare.look !== "side") return;
    to.scale = from.scale; to.tx = from.tx; to.ty = from.ty;
    to.draw();
  }

  var viewer = new TV.Viewer($("compare-view"), {
    scene: function (ctx) {
      var b = compare.b, r = compare.r, look = compare.look;
      if (!b || !r) return;
      if (look === "difference") return compare.diff && ctx.drawImage(compare.diff.canvas, 0, 0);
      if (look === "blink") return ctx.drawImage(compare.showBase ? b.canvas : r.canvas, 0, 0);
      if (look === "side") return ctx.drawImage(r.canvas, 0, 0);
      ctx.drawImage(b.canvas, 0, 0);
      if (look === "blend") { ctx.globalAlpha = compare.alpha; ctx.drawImage(r.canvas, 0, 0); ctx.globalAlpha = 1; }
      if (look === "swipe") {
        var edge = (compare.divider * viewer.canvas.clientWidth - viewer.tx) / viewer.scale;
        if (edge > 0) ctx.drawImage(r.canvas, 0, 0, edge, r.image.height, 0, 0, edge, r.image.height);
      }
    },
    overlay: function (ctx) {
      var b = compare.b, r = compare.r;
      $("compare-caption").textContent = (r ? r.image.name + "  \u00b7  " : "") + viewer.zoomText();
      if (!b || !r) return;
      var text = { blink: compare.showBase ? b.image.name + " (base)" : r.image.name, side: r.image.name,
                   swipe: "\u25c2 " + r.image.name + "   |   " + b.image.name + " (base) \u25b8",
                   blend: r.image.name + " sur " + b.image.name + " à " + Math.round(compare.alpha * 100) + " %",
                   difference: "|" + r.image.name + " \u2212 " + b.image.name + "|" }[compare.look];
      if (compare.look === "swipe") {
        var x = Math.round(compare.divider * viewer.canvas.clientWidth) + 0.5;
        ctx.strokeStyle = "#fff"; ctx.lineWidth = 1;
        ctx.beginPath(); ctx.moveTo(x, 0); ctx.lineTo(x, viewer.canvas.clientHeight); ctx.stroke();
      }
      label(ctx, text);
      cross(viewer, ctx);
    },
    grab: function (sx) {
      return compare.look === "swipe" && Math.abs(sx - compare.divider * viewer.canvas.clientWidth) <= 8;
    },
    drag: function (dx, dy, s) { compare.divider = Math.min(1, Math.max(0, s.x / viewer.canvas.clientWidth)); },
    drop: function () {},
    click: function () {},
    size: function () { return compare.b && compare.b.image; },
    pointer: function (px) { pointer(viewer, px); },
    moved: function () { follow(viewer, baseViewer); }
  });

  var baseViewer = new TV.Viewer($("compare-base-view"), {
    scene: function (ctx) { if (compare.b && compare.r) ctx.drawImage(compare.b.canvas, 0, 0); },
    overlay: function (ctx) {
      var b = compare.b;
      $("compare-base-caption").textContent = (b ? b.image.name + " (base)  \u00b7  " : "") + baseViewer.zoomText();
      if (!b || !compare.r) return;
      label(ctx, b.image.name + " (base)");
      cross(baseViewer, ctx);
    },
    grab: function () { return false; },
    drag: function () {}, drop: function () {}, click: function () {},
    size: function () { return compare.b && compare.b.image; },
    pointer: function (px) { pointer(baseViewer, px); },
    moved: function () { follow(baseViewer, viewer); }
  });

  // Another look; the image position at the middle of the result's pane stays there
  // when the base's pane opens or closes beside it.
  function look(l) {
    var was = viewer.centre(), side = compare.look === "side" || l === "side";
    compare.look = l;
    $("compare-base-figure").hidden = l !== "side";
    $("legend").hidden = l !== "difference" || !compare.diff;
    if (side && compare.fitted) viewer.centreAt(was.x, was.y, was.scale);
    else viewer.draw();
  }

  // The gain's slider moves in steps; one recolouring a frame, whatever their pace.
  var recolour = 0;
  function gain(g) {
    compare.gain = g;
    if (recolour) return;
    recolour = requestAnimationFrame(function () { recolour = 0; contrast(); viewer.draw(); });
  }

  TV.showing(function () { return [compare.b, compare.r]; });

  TV.comparing = {
    setBase: function (file) { compare.base = file; return select(compare.current); },
    // Each result listed once: one chosen again is shown where it is listed.
    addResults: function (files) {
      var at = Array.prototype.map.call(files, function (f) {
        var i = compare.results.findIndex(function (g) { return TV.sameFile(g, f); });
        return i >= 0 ? i : compare.results.push(f) - 1;
      });
      return select(at.length ? at[0] : compare.results.length);
    },
    step: function (by) { select(compare.current + by); },
    look: look,
    alpha: function (a) { compare.alpha = a; viewer.draw(); },
    gain: gain,
    blink: function (on) { setBlinking(on === undefined ? !compare.timer : on); },
    rate: function () { if (compare.timer) setBlinking(true); },
    flip: function () { setBlinking(false); flip(); },
    viewer: viewer,
    shown: function () {
      if (!compare.fitted && compare.b) compare.fitted = viewer.fit();
      if (!compare.r && baseFile() && compare.results.length) select(compare.current); else viewer.draw();
    }
  };
})();
