// Photographs from the files chosen: each file read and decoded once, whichever mode
// shows it, into a canvas of its own (a P5 file also keeps its samples for the
// figures), and kept while the decoded photographs fit in memory, so that going back
// to one shows it at once. A file is the same file when its name, size and date are.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  // Bytes the decoded photographs may hold, beyond those on show: a quarter of the
  // machine's memory as the browser tells it, at most 1.5 GB. A 24 MP photograph
  // takes about 120 MB, and as a result, 144 MB more for its difference map.
  TV.MEMORY = Math.min(1.5, (navigator.deviceMemory || 4) / 4) * 1073741824;
  var cache = [];  // {key, name, promise, entry}, the most recently asked first
  var dropped = [];  // the names of photographs let go for memory, not decoded again since
  var sizes = new WeakMap();  // file -> its header's promise

  function keyOf(file) { return [file.name, file.size, file.lastModified].join("\n"); }
  TV.sameFile = function (a, b) { return !!a && !!b && keyOf(a) === keyOf(b); };

  // Each mode registers f() -> the entries it shows now (null where none): TV.fit never drops them.
  var showing = [];
  TV.showing = function (f) { showing.push(f); };

  // The header alone, read once a file: {width, height, grey, offset, missing (samples
  // the file lacks)}. Refused here, before any memory is taken for its samples: a file
  // that lacks more than half of them (such a header is damaged or not a photograph's),
  // and one larger than a canvas holds.
  TV.readSize = function (file) {
    if (!sizes.has(file)) sizes.set(file, file.slice(0, 65536).arrayBuffer().catch(function () {
      throw unreadable(file);
    }).then(function (head) {
      var h = TV.readHeader(new Uint8Array(head), file.name, file.size);
      var declared = h.width * h.height * (h.grey ? 1 : 3), held = Math.max(0, file.size - h.offset);
      if (held < declared / 2)
        throw new Error(file.name + " annonce " + TV.number(h.width) + " × " + TV.number(h.height) + " pixels (" +
          TV.number(declared) + " octets) et n'en contient que " + TV.number(held) + " : refusé, un fichier doit " +
          "contenir au moins la moitié de ce que son en-tête annonce");
      if (h.width * h.height > 268435456)  // Chromium's largest canvas, 16384 x 16384 pixels' worth
        throw new Error(file.name + " : " + TV.number(h.width) + " × " + TV.number(h.height) +
                        " pixels, plus que n'en tient un canevas du navigateur (268 millions)");
      h.missing = Math.max(0, declared - held);
      return h;
    }));
    return sizes.get(file);
  };

  function unreadable(file) {
    return new Error(file.name + " ne peut pas être lu : déplacé, effacé, ou sur un disque débranché depuis " +
                     "qu'il a été choisi ?");
  }

  // -> {file, image (see TV.decodePNM, less its pixels), canvas}.
  TV.open = function (file) {
    var key = keyOf(file), kept = cache.filter(function (c) { return c.key === key; })[0];
    if (kept) {
      cache = [kept].concat(cache.filter(function (c) { return c !== kept; }));
      return kept.promise;
    }
    var c = { key: key, name: file.name };
    c.promise = TV.readSize(file).then(function () {
      return file.arrayBuffer().catch(function () { throw unreadable(file); });
    }).then(function (buffer) {
      var image = TV.decodePNM(buffer, file.name);
      c.entry = { file: file, image: image, canvas: TV.offscreen(image.pixels) };
      image.pixels = null;  // the canvas holds them now
      if (image.missing)
        TV.warn("short " + key, file.name + " s'arrête " + TV.number(image.missing) + " octets trop tôt : cette " +
                "partie est dessinée en noir, et tavrin et les chiffres la comptent en noir.");
      if (image.maximum > 255)
        TV.warn("deep " + key, file.name + " annonce une valeur maximale de " + TV.number(image.maximum) + " : une " +
                "image de plus de 8 bits, dont tavrin prend un octet par pixel, comme la page la montre ; " +
                "tavrin-series la convertit en 8 bits.");
      if (dropped.indexOf(file.name) >= 0) dropped.splice(dropped.indexOf(file.name), 1);
      return c.entry;
    });
    c.promise.catch(function () { cache = cache.filter(function (d) { return d !== c; }); });
    cache.unshift(c);
    return c.promise;
  };

  function bytes(entry) {
    var n = entry.image.width * entry.image.height;
    return n * (entry.image.grey ? 5 : 4) + (entry.diff ? 6 * n : 0);
  }

  // Lets the photographs least recently asked go, beyond those on show, until the rest
  // fit in TV.MEMORY; says so, since going back to one of them then takes its decoding.
  // Called once what is on show has changed.
  TV.fit = function () {
    var shown = [].concat.apply([], showing.map(function (f) { return f(); })), total = 0;
    cache = cache.filter(function (c) {
      if (!c.entry || shown.indexOf(c.entry) >= 0) return true;
      if ((total += bytes(c.entry)) <= TV.MEMORY) return true;
      if (dropped.indexOf(c.name) < 0) dropped.push(c.name);
      return false;
    });
    var many = dropped.length > 1;
    TV.warn("memory", dropped.length && "Mémoire : pour rester sous " + TV.number(Math.round(TV.MEMORY / 1048576)) +
      " Mo, la page ne garde plus " + dropped.join(", ") + (many ? " décodées ; elles seront relues" :
      " décodée ; elle sera relue") + " en y revenant, ce qui prend quelques instants.", { causes: ["memory"] });
  };
})();
