// Comparing results: the base photograph against each rectified one, by blink, swipe,
// blend or the difference map that tavrin-diff writes, with its figures and legend.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var compare = { base: null, results: [], current: 0, look: "blink", timer: 0, showBase: false,
                  divider: 0.5, alpha: 0.5, b: null, r: null, diff: null, fitted: false };

  // The base chosen here, or else the one Place points shows: the same file, decoded once.
  function baseFile() { return compare.base || TV.placing.base(); }

  function listResults() {
    var ol = $("result-list");
    ol.textContent = "";
    compare.results.forEach(function (f, i) {
      var li = document.createElement("li");
      li.textContent = f.name;
      if (i === compare.current) li.className = "current";
      li.onclick = function () { select(i); };
      ol.appendChild(li);
    });
  }

  function measure(b, r) {
    var name = r.image.name, fp = TV.placing.footprint(name), key = fp ? fp.key : "";
    if (!b.image.grey || !r.image.grey) throw new Error("the difference map needs grey (P5) images");
    if (r.image.width !== b.image.width || r.image.height !== b.image.height)
      throw new Error(name + " is " + r.image.width + " x " + r.image.height + " pixels and " + b.image.name +
        " " + b.image.width + " x " + b.image.height + ": a rectified image has its base image's size");
    if (!r.diff || r.diff.base !== b || r.diff.key !== key) {
      var d = TV.differenceMap(b.image, r.image, fp && fp.covers);
      if (d.covered === 0) throw new Error(name + " covers no pixel of the base frame: nothing to compare");
      r.diff = { base: b, key: key, canvas: TV.offscreen(d.pixels), figures: d, covers: fp && fp.covers };
      d.pixels = null;  // the canvas holds them now
    }
    var short = [b, r].filter(function (e) { return e.image.missing; }).map(function (e) {
      return " " + e.image.name + " ends " + e.image.missing + " bytes short: that part counts as black here.";
    }).join("");
    $("figures").textContent = name + ": " + TV.figuresText(r.diff.figures);
    $("figures-note").textContent = (fp
      ? "Counted where " + name + " covers the frame, from its points in Place points."
      : "Counted over the whole frame; open " + name + " with its points in Place points to count only the " +
        "part it covers.") + short;
    legend(r.diff.figures.largest);
    return r.diff;
  }

  // The map's scale: 0 to the largest difference, in grey levels, as the map colours them.
  function legend(largest) {
    var c = $("legend-bar"), ctx = c.getContext("2d");
    for (var i = 0; i < c.width; ++i) {
      var e = Math.round(i * largest / (c.width - 1)), rgb = TV.paletteColour(largest ? 255.0 * e / largest : 0);
      ctx.fillStyle = "rgb(" + rgb.join(",") + ")";
      ctx.fillRect(i, 0, 1, c.height);
    }
    $("legend-max").textContent = largest + " grey levels";
  }

  function select(i) {
    var base = baseFile();
    if (i < 0 || i >= compare.results.length) return;
    compare.current = i;
    compare.showBase = false;  // each result is first seen itself
    listResults();
    $("figures").textContent = ""; $("figures-note").textContent = ""; $("legend").hidden = true;
    if (!base) return TV.say("open the base photograph too", true);
    return TV.task(function () {
      return TV.open(base).then(function (b) {
        return TV.open(compare.results[i]).then(function (r) {
          if (compare.current !== i) return;
          compare.b = b; compare.r = r; compare.diff = null;
          TV.say("");
          if (!compare.fitted) compare.fitted = viewer.fit(); else viewer.draw();
          compare.diff = measure(b, r);
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
    $("blink").textContent = on ? "Stop" : "Blink";
  }
  function flip() { compare.showBase = !compare.showBase; viewer.draw(); }

  var viewer = new TV.Viewer($("compare-view"), {
    scene: function (ctx) {
      var b = compare.b, r = compare.r, look = compare.look;
      if (!b || !r) return;
      if (look === "difference") return compare.diff && ctx.drawImage(compare.diff.canvas, 0, 0);
      if (look === "blink") return ctx.drawImage(compare.showBase ? b.canvas : r.canvas, 0, 0);
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
      var text = { blink: compare.showBase ? b.image.name + " (base)" : r.image.name,
                   swipe: "\u25c2 " + r.image.name + "   |   " + b.image.name + " (base) \u25b8",
                   blend: r.image.name + " over " + b.image.name + " at " + Math.round(compare.alpha * 100) + "%",
                   difference: "|" + r.image.name + " \u2212 " + b.image.name + "|" }[compare.look];
      if (compare.look === "swipe") {
        var x = Math.round(compare.divider * viewer.canvas.clientWidth) + 0.5;
        ctx.strokeStyle = "#fff"; ctx.lineWidth = 1;
        ctx.beginPath(); ctx.moveTo(x, 0); ctx.lineTo(x, viewer.canvas.clientHeight); ctx.stroke();
      }
      ctx.font = "14px system-ui, sans-serif";
      ctx.fillStyle = "rgba(0,0,0,0.7)"; ctx.fillRect(8, 8, ctx.measureText(text).width + 12, 22);
      ctx.fillStyle = "#fff"; ctx.fillText(text, 14, 24);
    },
    grab: function (sx) {
      return compare.look === "swipe" && Math.abs(sx - compare.divider * viewer.canvas.clientWidth) <= 8;
    },
    drag: function (dx, dy, s) { compare.divider = Math.min(1, Math.max(0, s.x / viewer.canvas.clientWidth)); },
    drop: function () {},
    click: function () {},
    size: function () { return compare.b && compare.b.image; },
    pointer: function (px) {
      var b = compare.b && compare.b.image, r = compare.r && compare.r.image;
      if (!px || !b || !r) return TV.pointerText(null);
      if (px.x < 0 || px.y < 0 || px.x >= b.width || px.y >= b.height)
        return TV.pointerText("x " + px.x + "  y " + px.y + "  outside");
      var i = px.x + px.y * b.width, d = compare.diff, text = "";
      if (b.grey && r.grey) {
        text = "base " + b.grey[i] + "  result " + r.grey[i] + "  |difference| ";
        text += d && d.covers && !d.covers(px.x, px.y) ? "not counted" : Math.abs(r.grey[i] - b.grey[i]);
      }
      TV.pointerText("x " + px.x + "  y " + px.y + "  " + text);
    }
  });

  TV.comparing = {
    setBase: function (file) { compare.base = file; return select(compare.current); },
    addResults: function (files) {
      var at = compare.results.length;
      compare.results = compare.results.concat(Array.prototype.slice.call(files));
      return select(at);
    },
    step: function (by) { select(compare.current + by); },
    look: function (look) {
      compare.look = look;
      $("legend").hidden = look !== "difference" || !compare.diff;
      viewer.draw();
    },
    alpha: function (a) { compare.alpha = a; viewer.draw(); },
    blink: function (on) { setBlinking(on === undefined ? !compare.timer : on); },
    rate: function () { if (compare.timer) setBlinking(true); },
    flip: function () { setBlinking(false); flip(); },
    viewer: viewer,
    entries: function () { return [compare.b, compare.r]; },
    shown: function () {
      if (!compare.fitted && compare.b) compare.fitted = viewer.fit();
      if (!compare.r && baseFile() && compare.results.length) select(compare.current); else viewer.draw();
    }
  };
})();
