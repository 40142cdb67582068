// Binary PGM (P5) and PPM (P6) files, 8 bits a sample, decoded straight into the
// canvas's RGBA bytes. A grey image also keeps its raw bytes for the difference map.
"use strict";
var TV = window.TV || (window.TV = {});

// The header as the Netpbm formats write it: magic, width, height, maximum value,
// separated by blanks and "#" comments, then one blank byte before the samples.
TV.readHeader = function (bytes, name) {
  var magic = String.fromCharCode(bytes[0], bytes[1]);
  if (bytes.length < 2 || (magic !== "P5" && magic !== "P6"))
    throw new Error(name + " is not a binary PGM (P5) or PPM (P6) image");
  var pos = 2;
  function number(what) {
    for (;;) {
      while (pos < bytes.length && /\s/.test(String.fromCharCode(bytes[pos]))) ++pos;
      if (bytes[pos] !== 35) break;  // "#": a comment to the end of its line
      while (pos < bytes.length && bytes[pos] !== 10) ++pos;
    }
    var start = pos;
    while (bytes[pos] >= 48 && bytes[pos] <= 57) ++pos;
    if (pos === start || pos - start > 10)
      throw new Error(name + ": the header's " + what + " is not a number");
    return Number(String.fromCharCode.apply(null, bytes.subarray(start, pos)));
  }
  var width = number("width"), height = number("height"), maxval = number("maximum value");
  if (width < 1 || height < 1 || width * height > 2147483647)
    throw new Error(name + ": " + width + " x " + height + " is not an image size tavrin reads");
  if (maxval < 1 || maxval > 255)
    throw new Error(name + ": maximum value " + maxval + "; only 8-bit samples (up to 255) are read");
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
