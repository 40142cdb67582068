// Placing points, the check point: C on the base photograph and C' on a further one,
// which the answers never carry (tavrin reads A and B alone). Where the similarity
// through A, B, A', B' puts C, how far C' lies from there, and which of A' or B' to
// move, and where, to close the gap: tavrin-diff's line, in its words and figures.
// After placing-marks.js, before placing-table.js; what they share is TV.place.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var $ = function (id) { return document.getElementById(id); };
  var place = TV.place, series = place.series;

  // Complex numbers {re, im} as std::complex<double> reckons them with GCC: the product
  // as written, the quotient by Smith's method (libgcc's __divdc3), the modulus a hypot.
  function plus(p, q) { return { re: p.re + q.re, im: p.im + q.im }; }
  function minus(p, q) { return { re: p.re - q.re, im: p.im - q.im }; }
  function times(p, q) { return { re: p.re * q.re - p.im * q.im, im: p.re * q.im + p.im * q.re }; }
  function over(p, q) {
    var a = p.re, b = p.im, c = q.re, d = q.im, ratio, denom;
    if (Math.abs(c) < Math.abs(d)) {
      ratio = c / d; denom = c * ratio + d;
      return { re: (a * ratio + b) / denom, im: (b * ratio - a) / denom };
    }
    ratio = d / c; denom = d * ratio + c;
    return { re: (b * ratio + a) / denom, im: (b - a * ratio) / denom };
  }
  function modulus(p) { return Math.hypot(p.re, p.im); }
  function complex(p) { return { re: p.x, im: p.y }; }

  // checkPoint() of tools/diff.cpp: C lands at A'(1-u) + B'u, u = (C-A)/(B-A); the gap r
  // is closed by moving A' by r/(1-u) or B' by r/u, A' when |1-u| >= |u|.
  // -> {sent, gap, moveA, by, to}, places as {re, im}, distances in pixels.
  TV.checkPoint = function (a, b, a2, b2, c, c2) {
    a = complex(a); b = complex(b); a2 = complex(a2); b2 = complex(b2);
    var u = over(minus(complex(c), a), minus(b, a)), rest = { re: 1 - u.re, im: 0 - u.im };
    var sent = plus(times(a2, rest), times(b2, u)), r = minus(complex(c2), sent);
    var moveA = modulus(rest) >= modulus(u), move = over(r, moveA ? rest : u);
    return { sent: sent, gap: modulus(r), moveA: moveA, by: modulus(move), to: plus(moveA ? a2 : b2, move) };
  };

  // The line: places as tavrin reads points, distances in French.
  TV.checkText = function (k) {
    function at(p) { return TV.fixed(p.re, 2) + "," + TV.fixed(p.im, 2); }
    return "point de contrôle C : A et B le placent en " + at(k.sent) + " ; C' en est à " + TV.number(k.gap, 2) +
      " pixels ; déplacer " + (k.moveA ? "A'" : "B'") + " de " + TV.number(k.by, 2) + " pixels, en " + at(k.to) +
      ", l'y ramène";
  };

  // The photograph's check, once the six points are placed; null otherwise, or when A, B
  // (or A', B') are one pixel, which tavrin-diff refuses.
  function checkOf(photo) {
    var p = series.base && series.base.points, q = photo && photo !== series.base && photo.points;
    function apart(s, t) { return s.x !== t.x || s.y !== t.y; }
    if (!q || !p[0] || !p[1] || !p[2] || !q[0] || !q[1] || !q[2] || !apart(p[0], p[1]) || !apart(q[0], q[1]))
      return null;
    return TV.checkPoint(p[0], p[1], q[0], q[1], p[2], q[2]);
  }

  place.renderCheck = function () {
    var k = checkOf(place.current());
    $("check-head").hidden = !series.base;
    $("check-line").textContent = k ? TV.checkText(k) : "";
  };

  // On the photograph, a ring where A and B put C, a dotted line to C' from it; never
  // before C' is placed, so that C' is placed where the photograph shows it, not where
  // the points foretell.
  place.onDraw("over", function (pane, ctx) {
    var k = pane.side === "photo" && checkOf(pane.photo());
    if (!k) return;
    var v = pane.viewer, s = v.toScreen(k.sent.re + 0.5, k.sent.im + 0.5), c2 = pane.photo().points[2];
    var e = v.toScreen(c2.x + 0.5, c2.y + 0.5), gap = Math.hypot(e.x - s.x, e.y - s.y), label = "C d'après A et B";
    ctx.strokeStyle = place.COLOURS[2]; ctx.lineWidth = 2;
    ctx.beginPath(); ctx.arc(s.x, s.y, 6, 0, 2 * Math.PI); ctx.stroke();
    if (gap > 6) {
      ctx.lineWidth = 1; ctx.setLineDash([2, 3]);
      ctx.beginPath(); ctx.moveTo(s.x + (e.x - s.x) * 6 / gap, s.y + (e.y - s.y) * 6 / gap); ctx.lineTo(e.x, e.y);
      ctx.stroke(); ctx.setLineDash([]);
    }
    ctx.font = "12px system-ui, sans-serif";
    ctx.fillStyle = "rgba(0,0,0,0.7)"; ctx.fillRect(s.x + 8, s.y + 10, ctx.measureText(label).width + 8, 17);
    ctx.fillStyle = place.COLOURS[2]; ctx.fillText(label, s.x + 12, s.y + 23);
  });
})();
