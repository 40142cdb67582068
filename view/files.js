// Photographs from the files chosen: each file read and decoded once, whichever mode
// shows it, into a canvas of its own (a P5 file also keeps its samples for the
// figures). A file is the same file when its name, size and date are.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  // Decoded files kept beyond those shown: a 24 MP photograph takes about 120 MB, and
  // as a result, 100 MB more for its difference map.
  var KEEP = 2;
  var cache = [];  // {key, promise, entry}, the most recently asked first

  function keyOf(file) { return [file.name, file.size, file.lastModified].join("\n"); }
  TV.sameFile = function (a, b) { return !!a && !!b && keyOf(a) === keyOf(b); };

  // Replaced by the wiring: the entries on show now, which are never dropped.
  TV.shownEntries = function () { return []; };

  // The header alone: {width, height, grey, offset, missing (samples the file lacks)}.
  // A file that lacks more than half the samples its header declares is refused here,
  // before any memory is taken for them: such a header is damaged or not a photograph's.
  TV.readSize = function (file) {
    return file.slice(0, 65536).arrayBuffer().then(function (head) {
      var h = TV.readHeader(new Uint8Array(head), file.name);
      var declared = h.width * h.height * (h.grey ? 1 : 3), held = Math.max(0, file.size - h.offset);
      if (held < declared / 2)
        throw new Error(file.name + " declares " + h.width + " x " + h.height + " pixels (" + declared +
          " bytes) and holds " + held + " bytes of them: refused, a file must hold at least half of what its " +
          "header declares");
      h.missing = Math.max(0, declared - held);
      return h;
    });
  };

  // -> {file, image (see TV.decodePNM, less its pixels), canvas}.
  TV.open = function (file) {
    var key = keyOf(file), kept = cache.filter(function (c) { return c.key === key; })[0];
    if (kept) {
      cache = [kept].concat(cache.filter(function (c) { return c !== kept; }));
      return kept.promise;
    }
    var c = { key: key };
    c.promise = TV.readSize(file).then(function (h) {
      if (h.width * h.height > 268435456)  // Chromium's largest canvas, 16384 x 16384 pixels' worth
        throw new Error(file.name + ": " + h.width + " x " + h.height +
                        " is more than a browser canvas holds (268 million pixels)");
      return file.arrayBuffer();
    }).then(function (buffer) {
      var image = TV.decodePNM(buffer, file.name);
      c.entry = { file: file, image: image, canvas: TV.offscreen(image.pixels) };
      image.pixels = null;  // the canvas holds them now
      if (image.missing)
        TV.warn("short " + key, file.name + " ends " + image.missing + " bytes short: that part is drawn " +
                "black, and tavrin and the figures count it as black.");
      return c.entry;
    });
    c.promise.catch(function () { cache = cache.filter(function (d) { return d !== c; }); });
    cache.unshift(c);
    var shown = TV.shownEntries(), others = 0;
    cache = cache.filter(function (d) { return !d.entry || shown.indexOf(d.entry) >= 0 || ++others <= KEEP; });
    return c.promise;
  };
})();
