// Binary PGM (P5) and PPM (P6) files, 8 bits a sample, decoded straight into the
// canvas's RGBA bytes. A grey image also keeps its raw bytes for the difference map.
"use strict";
var TV = window.TV || (window.TV = {});

// What a file is when it is not a binary PGM or PPM, from its first bytes: the
// formats an operator's photographs come in, which tavrin-series converts.
var OTHER_FORMATS = [[/^\x89PNG/, "une image PNG"], [/^\xff\xd8\xff/, "une image JPEG"],
                     [/^(II\x2a\0|MM\0\x2a)/, "une image TIFF"], [/^BM/, "une image BMP"],
                     [/^P2/, "un PGM en texte (P2)"], [/^P3/, "un PPM en texte (P3)"],
                     [/^P[14]/, "une image noir et blanc (PBM)"]];

// The P5 header as tavrin's library reads it (image/image.cpp, readP5Header), so that the
// page shows the very pixels tavrin takes: lines as fgets reads them, up to a line feed and
// 79 bytes at most, the end-of-file test before each read; comment lines ("#") skipped; the
// size line two "%d" numbers (a NUL ends its text), positive, 2147483647 pixels at most; then
// the next line that is no comment is the maximum line, whatever it says: tavrin takes one
// byte a pixel from there and refuses no maximum, so neither does the page. whole: the
// file's length when bytes are only its beginning.
function readP5(bytes, name, whole) {
  var pos = 0, end = false, line = [];
  function read() {  // one fgets: false when no byte is left, the line then left as it was
    var from = pos;
    while (pos < bytes.length && pos - from < 79) if (bytes[pos++] === 10) break;
    if (pos === bytes.length && pos - from < 79 && (pos === from || bytes[pos - 1] !== 10)) {  // the end stopped it
      if (whole > pos) throw tooLong();
      end = true;
    }
    if (pos > from) line = bytes.subarray(from, pos);
    return pos > from;
  }
  function tooLong() {
    return new Error("L'en-tête de " + name + " dépasse " + TV.number(bytes.length) + " octets : la page n'en lit " +
                     "pas de si long");
  }
  function skipComments() { while (!end && read() && line[0] === 35); }
  function number(at) {  // one "%d" from line[at.i], or null: no digit, or beyond the int range
    while ([32, 9, 10, 11, 12, 13].indexOf(line[at.i]) >= 0) ++at.i;
    var sign = line[at.i] === 45 ? -1 : 1, from = line[at.i] === 43 || line[at.i] === 45 ? ++at.i : at.i, n = 0;
    while (line[at.i] >= 48 && line[at.i] <= 57) n = n * 10 + line[at.i++] - 48;
    return at.i === from || sign * n > 2147483647 || sign * n < -2147483648 ? null : sign * n;
  }
  read();  // the magic's line
  skipComments();
  var at = { i: 0 }, width = number(at), height = width === null ? null : number(at);
  if (height === null)
    throw new Error(name + " : taille illisible ; tavrin la lit sur la ligne qui suit « P5 » et ses commentaires : " +
                    "la largeur puis la hauteur, en nombres entiers");
  if (width < 1 || height < 1 || width * height > 2147483647)
    throw new Error(name + " : " + TV.number(width) + " × " + TV.number(height) +
                    " n'est pas une taille d'image que tavrin lit");
  skipComments();  // the maximum line: said, as a photograph of more than 8 bits is read wrong
  var maximum = number({ i: 0 });
  return { grey: true, width: width, height: height, offset: pos, maximum: maximum === null ? 255 : maximum };
}

// The header of a P5 file by tavrin's rule; of a P6 file (tavrin-diff's maps) as the Netpbm
// formats write it: magic, width, height, maximum value, separated by blanks and "#" comments,
// then one blank byte before the samples.
TV.readHeader = function (bytes, name, whole) {
  var magic = String.fromCharCode(bytes[0], bytes[1]);
  if (bytes.length < 2 || (magic !== "P5" && magic !== "P6")) {
    var head = String.fromCharCode.apply(null, bytes.subarray(0, 4)), other = OTHER_FORMATS.filter(function (f) {
      return f[0].test(head);
    })[0];
    throw new Error(other ? name + " est " + other[1] + " : la page et tavrin lisent les PGM binaires (P5) ; " +
      "tavrin-series la convertit" : name + " n'est pas une image PGM binaire (P5) ni PPM (P6)");
  }
  if (magic === "P5") return readP5(bytes, name, whole);
  var pos = 2;
  function number(what) {
    for (;;) {
      while (pos < bytes.length && /\s/.test(String.fromCharCode(bytes[pos]))) ++pos;
      if (bytes[pos] !== 35) break;  // "#": a comment to the end of its line
      while (pos < bytes.length && bytes[pos] !== 10) ++pos;
    }
    if (pos >= bytes.length)
      throw new Error(name + " s'arrête dans son en-tête, avant sa " + what + " : le fichier est coupé");
    var start = pos;
    while (bytes[pos] >= 48 && bytes[pos] <= 57) ++pos;
    if (pos === start || pos - start > 10)
      throw new Error(name + " : la " + what + " de l'en-tête n'est pas un nombre");
    return Number(String.fromCharCode.apply(null, bytes.subarray(start, pos)));
  }
  var width = number("largeur"), height = number("hauteur"), maxval = number("valeur maximale");
  if (width < 1 || height < 1 || width * height > 2147483647)
    throw new Error(name + " : " + TV.number(width) + " × " + TV.number(height) +
                    " n'est pas une taille d'image que tavrin lit");
  if (maxval < 1 || maxval > 255)
    throw new Error(name + " : valeur maximale " + TV.number(maxval) +
                    (maxval > 255 ? ", une image de plus de 8 bits" : "") +
                    " ; la page et tavrin ne lisent que des échantillons de 8 bits (255 au plus)" +
                    (maxval > 255 ? " : tavrin-series la convertit" : ""));
  return { grey: magic === "P5", width: width, height: height, offset: pos + 1 };
};

// {name, width, height, grey (the P5 samples, or null for P6), pixels (ImageData),
// missing (samples the file lacks, drawn black), maximum (as the header says it)}.
TV.decodePNM = function (buffer, name) {
  var bytes = new Uint8Array(buffer);
  var h = TV.readHeader(bytes, name);
  var count = h.width * h.height, channels = h.grey ? 1 : 3;
  var samples = new Uint8Array(count * channels);
  samples.set(bytes.subarray(h.offset, h.offset + count * channels));
  var pixels = new ImageData(h.width, h.height);
  // One 32-bit store per pixel; every platform a browser runs on is little-endian: ABGR.
  var out = new Uint32Array(pixels.data.buffer);
  if (h.grey) {
    for (var i = 0; i < count; ++i) { var g = samples[i]; out[i] = 0xff000000 | g << 16 | g << 8 | g; }
  } else {
    for (var j = 0, k = 0; j < count; ++j, k += 3)
      out[j] = 0xff000000 | samples[k + 2] << 16 | samples[k + 1] << 8 | samples[k];
  }
  return { name: name, width: h.width, height: h.height, grey: h.grey ? samples : null,
           pixels: pixels,
           missing: Math.max(0, count * channels - (bytes.length - h.offset)), maximum: h.maximum || 255 };
};
