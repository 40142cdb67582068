// The live preview, while placing points: the current photograph rectified into the base's
// frame as tavrin rectifies it (app/geometry.cpp), to the byte, computed in the page and
// shown on the base's pane alone, blinking with it, behind a curtain or as the difference
// map. While a mark is dragged, the part in view at the screen's resolution, each frame
// for the points of that moment; once it is let go, the whole frame, in slices that
// leave the pointer free and are dropped as soon as a point changes again. After
// placing-marks.js, whose panes it draws on, and before placing-table.js, whose first
// render draws them.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  // ------------------------------------------------------------ tavrin's rectification

  var HALF_TURN = 3.141592654, FULL_TURN = 6.283185308;  // tavrin's decimal constants, not Math.PI
  var ROUNDING_SHIFT = 6755399441055744;  // 1.5 * 2^52: (x + it) - it is x rounded to a whole value, |x| < 2^51
  var UNIT_ROUNDOFF = Math.pow(2, -53), LIBM_ULPS = 16, LARGEST_BOUND = 1 / 16;
  var STRIP_CACHE_LINES = 384, NARROWEST_STRIP = 128;

  // A coordinate as tavrin reads its text with scanf's "%f": the float nearest the decimal.
  // Number() then Math.fround rounds twice, which can differ only where Number() lands on
  // the midpoint of two floats (a text with more than eight decimals): that case is settled
  // on the exact decimal.
  var F32 = new Float32Array(1), U32 = new Uint32Array(F32.buffer);
  var F64 = new Float64Array(1), HALVES = new Uint32Array(F64.buffer);  // low word, then high, little-endian
  TV.floatOf = function (text) {
    var d = Number(text), f = Math.fround(d);
    if (f === d || !isFinite(f)) return f;
    F32[0] = f;  // then the float on d's other side
    if (f === 0) U32[0] = d > 0 ? 1 : 0x80000001; else U32[0] += (d > f) === (f > 0) ? 1 : -1;
    var g = F32[0];
    if ((f + g) / 2 !== d) return f;
    var above = exactlyAbove(text, d);
    return above === 0 ? f : above > 0 ? Math.max(f, g) : Math.min(f, g);
  };
  // The sign of the decimal text minus the double d, of the same sign as the text.
  function exactlyAbove(text, d) {
    var m = /^[-+]?(\d*)\.?(\d*)(?:[eE]([-+]?\d+))?$/.exec(text.trim());
    var left = BigInt(m[1] + m[2]), ten = Number(m[3] || 0) - m[2].length;
    F64[0] = Math.abs(d);
    var exponent = HALVES[1] >>> 20, right = BigInt(HALVES[1] & 0xfffff) * BigInt(4294967296) + BigInt(HALVES[0]);
    if (exponent) right += BigInt(2) ** BigInt(52);
    var two = Math.max(exponent, 1) - 1075;  // |d| = right * 2^two
    if (ten >= 0) left *= BigInt(10) ** BigInt(ten); else right *= BigInt(10) ** BigInt(-ten);
    if (two >= 0) right *= BigInt(2) ** BigInt(two); else left *= BigInt(2) ** BigInt(-two);
    var sign = left > right ? 1 : left < right ? -1 : 0;
    return d < 0 ? -sign : sign;
  }

  function bearingOf(dx, dy) {
    if (dy === 0) dy = 0.01;
    var t = Math.atan(Math.abs(dx) / Math.abs(dy));
    if (dx >= 0 && dy >= 0) return t;
    if (dx > 0 && dy <= 0) return HALF_TURN - t;
    if (dx <= 0 && dy < 0) return t + HALF_TURN;
    if (dx < 0 && dy >= 0) return FULL_TURN - t;
    return t;
  }

  // Subtracted in single precision, as tavrin does, and only then widened.
  function segment(p, q) {
    var dx = Math.fround(q.x - p.x), dy = Math.fround(q.y - p.y);
    return { bearing: bearingOf(dx, dy), distance: Math.sqrt(dx * dx + dy * dy) };
  }

  function anchorOf(c) {
    if (isNaN(c)) return c;
    if (c >= 2147483648) return 2147483647;
    if (c < -2147483648) return -2147483648;
    return Math.trunc(c) + 0;  // + 0: -0 becomes 0, as the int does
  }

  // A, B, A', B' as floats -> what maps a base position onto the photograph.
  TV.registration = function (a, b, a2, b2) {
    var base = segment(a, b), further = segment(a2, b2);
    return { ax: a.x, ay: a.y, anchorX: anchorOf(a2.x), anchorY: anchorOf(a2.y),
             scale: base.distance / further.distance, rotation: further.bearing - base.bearing };
  };

  // Why the page gives tavrin's bytes
  // ---------------------------------
  // tavrin's own proof (app/resample_fast.cpp) bounds by E how far the u and v of its
  // affine row loop lie from those of the literal formula, atan, sin and cos being off by
  // at most K = 16 ulp of 1 (2 K e, e = 2^-53). The loop here is the same (u = baseU + l cu,
  // v = baseV - l su, the same operations in the same order), but the browser's atan, sin
  // and cos are not the C library's and may end in another bit: the rotation may then
  // differ from tavrin's by (8 K + 24) e, which moves u and v by that times Q, and the
  // literal formula here from tavrin's by twice its own bound and as much again. 2 E
  // covers either with room, so a u and v, of the loop or of the literal formula, at least
  // 2 E from every half integer have tavrin's floor(0.5 + u). Any other pixel, and the row
  // of base A, go through the literal formula; those that it too leaves within 2 E of a
  // half integer are counted as undecided: tavrin's pixel there hangs on its C library's
  // last bit (its builds may differ there). On photographs they are a few in a billion;
  // points that give exactly the scale 2 and no turn put many pixels on a half, and the
  // count says so.
  TV.Rectifier = function (t, photo, frameWidth, frameHeight) {
    this.t = t; this.src = photo.grey; this.w = photo.width; this.h = photo.height;
    this.undecided = 0;
    var maxDy = Math.max(Math.abs(t.ay), Math.abs(frameHeight - 1 - t.ay));
    var q = (Math.abs(t.ax) + (frameWidth - 1) + maxDy) / Math.abs(t.scale);
    var bound = Math.max(Math.abs(t.anchorX), Math.abs(t.anchorY)) + q;
    this.e = 2 * 2 * UNIT_ROUNDOFF * ((28 + 6 * LIBM_ULPS + 2 * Math.abs(t.rotation)) * q + 5 * bound + 2);
    // Every pixel to one place: scale 0, infinite or NaN, a point or the turn not finite.
    this.onePlace = ![t.ax, t.ay, t.anchorX, t.anchorY, t.rotation, t.scale].every(isFinite) || t.scale === 0;
    this.fast = !this.onePlace && this.e <= LARGEST_BOUND && Math.abs(t.scale) >= Math.pow(2, -1000);
    // Off the row of A, the bearing is the true one plus a shift: above A, below and left, below and right.
    this.plans = [HALF_TURN - Math.PI, FULL_TURN - 2 * Math.PI, 0].map(function (shift) {
      var angle = shift + t.rotation;
      return { cu: Math.cos(angle) / t.scale, su: Math.sin(angle) / t.scale };
    });
    // Columns a strip, so that the source lines its rows cross stay in the cache.
    var lines = Math.abs(this.plans[2].su) + Math.abs(this.plans[2].cu) / 64;
    this.strip = lines > 0.5 ? Math.max(NARROWEST_STRIP, Math.floor(STRIP_CACHE_LINES / lines)) : Infinity;
  };

  // The byte of tavrin's literal formula at (l, k); counts it undecided as said above.
  TV.Rectifier.prototype.literal = function (l, k) {
    var t = this.t, dx = l - t.ax, dy = k - t.ay;
    var r = Math.sqrt(dx * dx + dy * dy) / t.scale, psi = bearingOf(dx, dy) + t.rotation;
    var u = t.anchorX + Math.sin(psi) * r, v = t.anchorY + Math.cos(psi) * r;
    var x = Math.floor(0.5 + u), y = Math.floor(0.5 + v);
    if (Math.abs(u - x) >= 0.5 - this.e || Math.abs(v - y) >= 0.5 - this.e) ++this.undecided;  // near x +- 0.5
    return x >= 0 && y >= 0 && x < this.w && y < this.h ? this.src[x + y * this.w] : this.src[0];
  };

  // The frame's pixels (l0 + i step, k0 + j step), for i < cols and j0 <= j < j1, into
  // out[j cols + i].
  TV.Rectifier.prototype.rows = function (out, l0, k0, step, cols, j0, j1) {
    var ax = this.t.ax, o, i, j, k;
    if (this.onePlace) return out.fill(this.literal(0, 0), j0 * cols, j1 * cols);
    var split = Math.min(Math.max(Math.ceil((ax - l0) / step), 0), cols);  // columns i < split: l < ax
    while (split > 0 && l0 + (split - 1) * step >= ax) --split;
    while (split < cols && l0 + split * step < ax) ++split;
    var width = Math.min(cols, Math.max(1, Math.floor(this.strip / step)));
    for (var s0 = 0; s0 < cols; s0 += width) {
      var s1 = Math.min(cols, s0 + width);
      for (j = j0; j < j1; ++j) {
        k = k0 + j * step; o = j * cols;
        if (k === this.t.ay || !this.fast) {
          for (i = s0; i < s1; ++i) out[o + i] = this.literal(l0 + i * step, k);
          continue;
        }
        if (k < this.t.ay) this.span(out, o, this.plans[0], k, l0, step, s0, s1);
        else {
          this.span(out, o, this.plans[1], k, l0, step, s0, Math.min(s1, split));
          this.span(out, o, this.plans[2], k, l0, step, Math.max(s0, split), s1);
        }
      }
    }
  };

  // Columns [from, to) of row k by the affine map of one angle shift.
  TV.Rectifier.prototype.span = function (out, o, plan, k, l0, step, from, to) {
    var t = this.t, src = this.src, w = this.w, lastColumn = w - 1, lastRow = this.h - 1;
    var fallback = src[0], limit = 0.5 - this.e, cu = plan.cu, su = plan.su, dy = k - t.ay;
    var baseU = (t.anchorX + dy * su) - t.ax * cu, baseV = (t.anchorY + dy * cu) + t.ax * su;
    for (var i = from; i < to; ++i) {
      var l = l0 + i * step, u = baseU + l * cu, v = baseV - l * su;
      var ru = (u + ROUNDING_SHIFT) - ROUNDING_SHIFT, rv = (v + ROUNDING_SHIFT) - ROUNDING_SHIFT;
      var du = u - ru, dv = v - rv;
      if (du <= limit && du >= -limit && dv <= limit && dv >= -limit)  // false for NaN
        out[o + i] = ru >= 0 && ru <= lastColumn && rv >= 0 && rv <= lastRow ? src[ru + rv * w] : fallback;
      else out[o + i] = this.literal(l, k);
    }
  };

  // ------------------------------------------------------------ the preview on the base's pane

  var $ = function (id) { return document.getElementById(id); };
  var place = TV.place, series = place.series, pane = place.panes[0];
  // ms of work between two looks at the pointer; rows a band; what a part in view may cost, in pixels side by
  // side (a pixel taken every step-th costs four: each reads a cache line of its own of the photograph).
  var SLICE = 12, BAND = 64, REDUCED = 1600000;
  var GREY = new Uint32Array(256);
  for (var g = 0; g < 256; ++g) GREY[g] = 0xff000000 | g << 16 | g << 8 | g;
  // look: off (the base alone), preview, blink, swipe, difference. want: what the points
  // ask for now. full and reduced: the layers, the whole frame and the part in view, each
  // {key, paint, grid, grey, canvas, done; figures and spans for a difference map}. job:
  // the whole frame under way.
  var state = { look: "off", want: { id: "" }, full: null, reduced: null, job: null, frame: 0, blink: 0,
                showBase: false, divider: 0.5 };

  function paint() { return state.look === "difference" ? "difference" : "grey"; }

  // The registration the points give now, or why there is none.
  function wanted() {
    var base = series.base, photo = place.current(), b = pane.entry, p = place.panes[1].entry;
    if (!base || !photo || !b || !p || !TV.sameFile(b.file, base.file) || !TV.sameFile(p.file, photo.file))
      return { why: "ouvrez la photographie de base et une photographie suivante." };
    if (!b.image.grey || !p.image.grey) return { why: "tavrin ne lit que les PGM en gris (P5)." };
    var points = base.points.slice(0, 2).concat(photo.points.slice(0, 2));  // A, B, A', B'
    if (points.indexOf(null) >= 0) return { why: "placez A et B sur la base, A' et B' sur " + photo.name + "." };
    var floats = points.map(function (q) {
      var xy = TV.pointText(q).split(",");  // the text tavrin reads
      return { x: TV.floatOf(xy[0]), y: TV.floatOf(xy[1]) };
    });
    for (var i = 0; i < 4; i += 2) {
      if (floats[i].x === floats[i + 1].x && floats[i].y === floats[i + 1].y)
        return { why: (i ? "A' et B' de " + photo.name : "A et B de " + base.name) + " sont le même pixel." };
    }
    var t = TV.registration(floats[0], floats[1], floats[2], floats[3]);
    return { key: [b.file.name, b.file.size, b.file.lastModified, p.file.name, p.file.size, p.file.lastModified,
                   JSON.stringify(floats)].join("\n"),
             name: photo.name, base: b.image, points: floats,
             rectifier: new TV.Rectifier(t, p.image, b.image.width, b.image.height),
             covers: TV.footprint(points[0], points[1], points[2], points[3], p.image.width, p.image.height) };
  }

  // The grid of the frame in view: every pixel at 1:1 and closer, every step-th further out,
  // fewer when that would cost more than REDUCED.
  function inView() {
    var v = pane.viewer, c = v.canvas, size = state.want.base, dpr = window.devicePixelRatio || 1;
    if (!size || !c.clientWidth) return null;
    for (var step = Math.max(1, Math.floor(1 / (v.scale * dpr)));; ++step) {
      var l0 = Math.max(0, Math.floor(-v.tx / v.scale / step) * step);
      var k0 = Math.max(0, Math.floor(-v.ty / v.scale / step) * step);
      var cols = Math.ceil((Math.min(size.width, (c.clientWidth - v.tx) / v.scale) - l0) / step);
      var rows = Math.ceil((Math.min(size.height, (c.clientHeight - v.ty) / v.scale) - k0) / step);
      if (cols <= 0 || rows <= 0) return null;
      if (cols * rows * (step > 1 ? 4 : 1) <= REDUCED) return { l0: l0, k0: k0, step: step, cols: cols, rows: rows };
    }
  }
  function sameGrid(a, b) {
    return a.l0 === b.l0 && a.k0 === b.k0 && a.step === b.step && a.cols === b.cols && a.rows === b.rows;
  }

  function ready(r) { return !!r && r.done && r.key === state.want.key && r.paint === paint(); }
  // The whole frame when done; else the part in view, which may be a frame behind the points.
  function shown() {
    var r = state.reduced;
    return ready(state.full) ? state.full : state.want.key && r && r.done && r.paint === paint() ? r : null;
  }

  // At each drawing of either pane: what the points ask for is compared with what is
  // shown, and a frame of work is asked for when they differ.
  function check() {
    if (state.look === "off") return;
    var w = wanted();
    if ((w.key || w.why) !== state.want.id) {
      w.id = w.key || w.why;
      state.want = w;
      state.job = null;  // stale: dropped at its next slice
      tell();
      if (!w.key) later(function () { pane.viewer.draw(); });  // the stale preview taken away
    }
    if (!w.key || ready(state.full) || state.frame) return;
    var grid = inView(), r = state.reduced;
    if (!ready(r) || grid && !sameGrid(grid, r.grid) || !state.job && !place.dragging)
      state.frame = requestAnimationFrame(frame);
  }

  // One frame of work: the part in view for the points of now, then, once no mark is held,
  // the whole frame begun.
  function frame() {
    state.frame = 0;
    var w = state.want, grid = inView(), r = state.reduced;
    if (!w.key || ready(state.full)) return;
    if (grid && !(ready(r) && sameGrid(grid, r.grid))) {
      r = state.reduced = layer(r, grid);
      r.key = w.key;
      w.rectifier.rows(r.grey, grid.l0, grid.k0, grid.step, grid.cols, 0, grid.rows);
      if (r.paint === "difference") r.figures = figures(r, w, 0, grid.rows, null);
      colour(r, w, 0, grid.rows);
      r.done = true;
      tell();
      pane.viewer.draw();
    }
    if (!place.dragging && !state.job) whole(w);
  }

  // A layer for the grid, the one given when it is of that size; not done.
  function layer(r, grid) {
    if (!r || r.grid.cols !== grid.cols || r.grid.rows !== grid.rows) {
      r = { grey: new Uint8Array(grid.cols * grid.rows), canvas: document.createElement("canvas"),
            pixels: new ImageData(grid.cols, Math.min(grid.rows, BAND)) };
      r.canvas.width = grid.cols; r.canvas.height = grid.rows;
    }
    r.grid = grid; r.paint = paint(); r.key = ""; r.figures = null; r.done = false;
    return r;
  }

  // Rows [j0, j1) of a layer onto its canvas, grey or as the difference map in the Compare
  // mode's colours, from its figures.
  function colour(r, w, j0, j1) {
    var g = r.grid, cols = g.cols, difference = r.paint === "difference", spans = r.spans;
    var table = difference && TV.mapTable(r.figures.largest, 1), base = w.base.grey, bw = w.base.width;
    var out = new Uint32Array(r.pixels.data.buffer), ctx = r.canvas.getContext("2d"), i;
    for (var j = j0; j < j1; j += BAND) {
      var end = Math.min(j1, j + BAND);
      for (var jj = j, n = 0; jj < end; ++jj, n += cols) {
        var o = jj * cols;
        if (!difference) {
          for (i = 0; i < cols; ++i) out[n + i] = GREY[r.grey[o + i]];
          continue;
        }
        var first = spans[2 * jj], last = spans[2 * jj + 1], b = g.l0 + (g.k0 + jj * g.step) * bw;
        for (i = 0; i < cols; ++i) out[n + i] = table[256];
        for (i = first; i <= last; ++i) out[n + i] = table[Math.abs(r.grey[o + i] - base[b + i * g.step])];
      }
      ctx.putImageData(r.pixels, 0, j, 0, 0, cols, end - j);
    }
  }

  // What tavrin-diff counts, over rows [j0, j1) of a layer, added to f (or to a new count),
  // and the span of each row that the photograph covers: the footprint's u and v are
  // monotonic along a row, so the pixels it counts there are one run, found from its ends.
  function figures(r, w, j0, j1, f) {
    var g = r.grid, cols = g.cols, base = w.base.grey, bw = w.base.width, covers = w.covers;
    var spans = r.spans || (r.spans = new Int32Array(2 * g.rows));
    f = f || { covered: 0, sumAbs: 0, within: 0, largest: 0, frame: cols * g.rows };
    for (var j = j0; j < j1; ++j) {
      var k = g.k0 + j * g.step, first = 0, last = cols - 1;
      if (covers) {
        while (first <= last && !covers(g.l0 + first * g.step, k)) ++first;
        while (last >= first && !covers(g.l0 + last * g.step, k)) --last;
      }
      spans[2 * j] = first; spans[2 * j + 1] = last;
      for (var i = first, o = j * cols, b = g.l0 + k * bw; i <= last; ++i) {
        var e = Math.abs(r.grey[o + i] - base[b + i * g.step]);
        f.sumAbs += e;
        if (e <= TV.TOLERANCE) ++f.within;
        if (e > f.largest) f.largest = e;
      }
      f.covered += last - first + 1;
    }
    return f;
  }

  // The whole frame, BAND rows at a time, SLICE ms a task; given up as soon as another is
  // asked for. Each band is counted or painted grey while its bytes are fresh; the
  // difference map is painted once all are counted. The grey bytes are kept when only the
  // colours change.
  function whole(w) {
    var W = w.base.width, H = w.base.height, old = state.full, again = !!old && old.key === w.key;
    var r = state.full = layer(old, { l0: 0, k0: 0, step: 1, cols: W, rows: H }), grey = r.paint === "grey";
    if (!again) r.undecided = 0;
    var job = state.job = {}, made = 0, painted = grey ? H : 0;
    r.key = again ? w.key : "";
    later(function slice() {  // not in this frame, which has drawn the part in view
      if (state.job !== job) return;
      for (var until = performance.now() + SLICE; performance.now() < until;) {
        var j = made < H ? made : painted, end = Math.min(H, j + BAND);
        if (made < H) {
          var before = w.rectifier.undecided;  // a part in view may be computed meanwhile
          if (!again) w.rectifier.rows(r.grey, 0, 0, 1, W, j, end);
          r.undecided += w.rectifier.undecided - before;
          if (grey) colour(r, w, j, end); else r.figures = figures(r, w, j, end, r.figures);
          if ((made = end) === H) r.key = w.key;
        } else if (painted < H) {
          colour(r, w, j, end);
          painted = end;
        } else {
          r.done = true;
          state.job = null;
          tell();
          return pane.viewer.draw();
        }
      }
      later(slice);
    });
  }

  // The next slice as a task of its own, after the events waiting (setTimeout would wait 4 ms).
  var channel = new MessageChannel(), queued = [];
  channel.port1.onmessage = function () { queued.shift()(); };
  function later(f) { queued.push(f); channel.port2.postMessage(0); }

  // The base's pane in the look chosen; false: the base alone, which the pane draws.
  function scene(ctx) {
    check();
    var look = state.look, r = shown(), g = r && r.grid;
    if (look === "off" || !r) return false;
    if (look === "swipe" || look === "blink" && state.showBase) ctx.drawImage(pane.entry.canvas, 0, 0);
    if (look === "blink" && state.showBase) return true;
    ctx.save();
    if (look === "swipe") {
      var v = pane.viewer, edge = (state.divider * v.canvas.clientWidth - v.tx) / v.scale;
      ctx.beginPath(); ctx.rect(0, 0, Math.max(0, edge), g.k0 + g.rows * g.step); ctx.clip();
    }
    ctx.drawImage(r.canvas, 0, 0, g.cols, g.rows, g.l0, g.k0, g.cols * g.step, g.rows * g.step);
    ctx.restore();
    return true;
  }

  // Over either pane, before its marks: on the base's, the curtain's line and what it shows.
  function overlay(p, ctx) {
    check();
    var look = state.look, r = shown(), v = pane.viewer, base = series.base && series.base.name;
    if (p !== pane || look === "off" || !r) return;
    var name = "aperçu de " + state.want.name + (r === state.full ? "" : " (réduit)"), cap = "A" + name.slice(1);
    if (look === "swipe") {
      var x = Math.round(state.divider * v.canvas.clientWidth) + 0.5;
      ctx.strokeStyle = "#fff"; ctx.lineWidth = 1;
      ctx.beginPath(); ctx.moveTo(x, 0); ctx.lineTo(x, v.canvas.clientHeight); ctx.stroke();
    }
    var text = { preview: cap, blink: state.showBase ? base + " (base)" : cap,
                 swipe: "\u25c2 " + name + "   |   " + base + " (base) \u25b8",
                 difference: "|" + name + " \u2212 " + base + "|" }[look];
    ctx.font = "14px system-ui, sans-serif";
    ctx.fillStyle = "rgba(0,0,0,0.7)"; ctx.fillRect(8, 8, ctx.measureText(text).width + 12, 22);
    ctx.fillStyle = "#fff"; ctx.fillText(text, 14, 24);
  }

  // The line under the choice: why there is no preview, or what it shows.
  function tell() {
    var w = state.want, full = ready(state.full) && state.full, text = "";
    if (state.look === "off") text = "";
    else if (!w.key) text = "Pas d'aperçu : " + w.why;
    else if (!full)
      text = "Aperçu de " + w.name + " : la partie en vue" + (place.dragging ? ", tant que la marque est tenue." :
                                                               " ; tout le cadre suit.");
    else {
      text = "Aperçu de " + w.name + " : tout le cadre, " + TV.number(full.grid.cols) + " × " +
        TV.number(full.grid.rows) + " pixels" +
        (full.figures ? " ; " + TV.figuresText(full.figures) + (w.covers ? ", là où " + w.name + " couvre le cadre"
                                                                           : "") : "") + ".";
      var n = full.undecided;
      if (n) text += " " + TV.number(n) + (n > 1 ? " pixels tombent" : " pixel tombe") + " presque exactement " +
        "entre deux pixels de " + w.name + " : tavrin peut y prendre l'autre voisin, selon la bibliothèque de " +
        "calcul avec laquelle il est construit.";
    }
    $("preview-state").textContent = text;
  }

  function setLook(look) {
    state.look = look;
    clearInterval(state.blink);
    state.blink = look === "blink" ? setInterval(function () {
      state.showBase = !state.showBase;
      if (!$("points-stage").hidden) pane.viewer.draw();
    }, 500) : 0;
    state.showBase = false;
    if (look === "off") {  // its memory given back
      state.job = null; state.full = state.reduced = null; state.want = { id: "" };
    }
    tell();
    pane.viewer.draw();
  }

  document.querySelectorAll("input[name=preview]").forEach(function (r) {
    r.onchange = function () { setLook(r.value.replace(/^preview-/, "")); };  // values apart from Compare's looks
  });
  // The curtain follows the pointer over the base's pane, and stays where it leaves it.
  pane.viewer.canvas.addEventListener("pointermove", function (e) {
    if (state.look !== "swipe") return;
    state.divider = Math.min(1, Math.max(0, pane.viewer.screen(e).x / pane.viewer.canvas.clientWidth));
    pane.viewer.draw();
  });

  place.onDraw("scene", function (p, ctx) { return p === pane && scene(ctx); });
  place.onDraw("under", overlay);

  TV.preview = {
    // For the page's test: the layer on show, its grid, grey bytes and canvas, the points as floats.
    shown: function () {
      var r = shown();
      return r && { whole: r === state.full, current: r.key === state.want.key, grid: r.grid, grey: r.grey,
                    canvas: r.canvas, points: state.want.points };
    }
  };
})();
