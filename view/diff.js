// The difference map and the alignment figures, as tavrin-diff makes them: the same
// false-colour scale to the byte, the same pixels counted, the same printed figures.
"use strict";
var TV = window.TV || (window.TV = {});

TV.TOLERANCE = 8;  // grey levels, as tavrin-diff counts them

// The library's palette on a full scale of 255, each channel's low eight bits. The
// channels are single precision there, so each stage is rounded to float here too.
TV.paletteColour = function (v) {
  var f = Math.fround;
  function byte(x) { return (isNaN(x) ? 0 : Math.trunc(Math.max(-2147483648, Math.min(2147483647, x)))) & 255; }
  if (v < 0) return [39, 0, byte(3.0 * v + 159.0)];
  if (isNaN(v)) return [0, 0, 0];
  var s = Math.min(255.0 * v / 255, 255.0), H = (255.0 - s) / 1.5, L = 48.0 * v / 255 + 80.0;
  var c = [0, 0, 0];  // R, G, B
  if (H <= 40.0) { c[0] = 255; c[1] = f(255.0 * H / 40.0); }
  else if (H <= 80.0) { c[0] = f(-255.0 * H / 40.0 + 510.0); c[1] = 255; }
  else if (H <= 120.0) { c[1] = 255; c[2] = f(255.0 * H / 40.0 - 510.0); }
  else if (H <= 160.0) { c[1] = f(-255.0 * H / 40.0 + 1020.0); c[2] = 255; }
  else if (H <= 200.0) { c[0] = f(255.0 * H / 40.0 - 1020.0); c[2] = 255; }
  else if (H <= 240.0) { c[0] = 255; c[2] = f(-255.0 * H / 40.0 + 1530.0); }
  return c.map(function (X) {
    X = f(f(X - 159) * 255.0 / 255.0 + 159.0);  // full saturation: X again, as the library does it
    if (L > 128.0) {
      var gap = f(255 - X);
      if (gap !== 0) X = f(X + gap * (L - 128.0) / 128.0);
    } else X = f(X * L / 128.0);
    return byte(X);
  });
};

// Which base pixels the further photograph covers, as tavrin-diff decides it from A, B
// on the base and A', B' on a further photograph of width x height; null: all of them.
TV.footprint = function (a, b, a2, b2, width, height) {
  var bx = b.x - a.x, by = b.y - a.y, px = b2.x - a2.x, py = b2.y - a2.y;
  var n = bx * bx + by * by;
  if (n === 0 || px * px + py * py === 0) return null;
  var re = (px * bx + py * by) / n, im = (py * bx - px * by) / n;
  var lastX = width - 2.0, lastY = height - 2.0;
  return function (x, y) {
    var dx = x - a.x, dy = y - a.y;
    var u = a2.x + re * dx - im * dy, v = a2.y + im * dx + re * dy;
    return u >= 1 && u <= lastX && v >= 1 && v <= lastY;
  };
};

// Two grey images of one size -> {pixels (ImageData, the map at the gain 1), differences
// (each pixel's, -1 where not counted), width, height, covered, sumAbs, within, largest}.
TV.differenceMap = function (base, result, covers) {
  var w = base.width, n = w * base.height, d = new Int16Array(n);
  var covered = 0, sumAbs = 0, within = 0, largest = 0;
  for (var y = 0, i = 0; y < base.height; ++y) {
    for (var x = 0; x < w; ++x, ++i) {
      if (covers && !covers(x, y)) { d[i] = -1; continue; }
      var e = Math.abs(result.grey[i] - base.grey[i]);
      d[i] = e; ++covered; sumAbs += e; within += e <= TV.TOLERANCE ? 1 : 0;
      if (e > largest) largest = e;
    }
  }
  var f = { differences: d, width: w, height: base.height, covered: covered, sumAbs: sumAbs, within: within,
            frame: n, largest: largest };
  f.pixels = TV.mapColours(f, 1);
  return f;
};

// The map's colours, from the largest difference M: e -> 255 e / M, as tavrin-diff
// writes them; at a gain g, 255 min(1, g e / M), the colours spread over the small
// differences. Uncovered pixels hold -53/150 M there and take 150 (-53/150 M) / M
// (with M = 0: minus infinity).
TV.mapColours = function (f, gain) {
  var table = TV.mapTable(f.largest, gain), d = f.differences;
  var pixels = new ImageData(f.width, f.height), out = new Uint32Array(pixels.data.buffer);
  for (var j = 0, n = d.length; j < n; ++j) out[j] = table[d[j] < 0 ? 256 : d[j]];
  return pixels;
};

// Those colours as RGBA words, little-endian: [e] for a difference e, [256] for a pixel not counted.
TV.mapTable = function (largest, gain) {
  var table = new Uint32Array(257);
  for (var k = 0; k <= 256; ++k) {
    var v;
    if (k === 256) v = largest > 0 ? 150.0 * (-largest * 53.0 / 150.0) / largest : -Infinity;
    else v = k === 0 ? 0 : Math.min(255.0, 255.0 * k * gain / largest);
    var c = TV.paletteColour(v);
    table[k] = 0xff000000 | c[2] << 16 | c[1] << 8 | c[0];
  }
  return table;
};

// tavrin-diff's figures, less the file name in front, in the page's French.
TV.figuresText = function (f) {
  return "écart moyen " + TV.number(f.sumAbs / f.covered, 2) + " ; " +
    TV.number(100.0 * f.within / f.covered, 1) + "\u202f% à " + TV.TOLERANCE + " niveaux de gris près, sur " +
    TV.number(f.covered) + " pixels (" + TV.number(100.0 * f.covered / f.frame, 1) + "\u202f% du cadre)";
};
