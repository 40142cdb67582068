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

// The header as the Netpbm formats write it: magic, width, height, maximum value,
// separated by blanks and "#" comments, then one blank byte before the samples.
TV.readHeader = function (bytes, name) {
  var magic = String.fromCharCode(bytes[0], bytes[1]);
  if (bytes.length < 2 || (magic !== "P5" && magic !== "P6")) {
    var head = String.fromCharCode.apply(null, bytes.subarray(0, 4)), other = OTHER_FORMATS.filter(function (f) {
      return f[0].test(head);
    })[0];
    throw new Error(other ? name + " est " + other[1] + " : la page et tavrin lisent les PGM binaires (P5) ; " +
      "tavrin-series la convertit" : name + " n'est pas une image PGM binaire (P5) ni PPM (P6)");
  }
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
// missing (samples the file lacks, drawn black)}.
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
           missing: Math.max(0, count * channels - (bytes.length - h.offset)) };
};
