// The answers file: what an operator types at tavrin's prompts, one answer a line:
// the base photograph's name, A and B as x,y; each further photograph's name with its
// A' and B'; then a name that cannot be opened, which ends tavrin's series.
"use strict";
var TV = window.TV || (window.TV = {});

TV.CLOSING_NAME = "fin";

// tavrin reads a point with "%f,%f", so a blank may follow the comma.
var POINT = /^([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?),([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)$/;

// -> [{name, points: [A, B]}], the base photograph first. A name followed by no point
// closes the series; anything after it is not read, as tavrin does not read it.
TV.parseAnswers = function (text) {
  var words = text.replace(/,\s+/g, ",").split(/\s+/).filter(Boolean), photos = [];
  for (var i = 0; i < words.length; i += 3) {
    var a = POINT.exec(words[i + 1] || ""), b = POINT.exec(words[i + 2] || "");
    if (POINT.test(words[i]))
      throw new Error("answer " + (i + 1) + " is a point (" + words[i] + ") where a photograph's name should be");
    if (!a) break;
    if (!b) throw new Error(words[i] + " has one point; it needs two, as x,y");
    photos.push({ name: words[i], points: [{ x: +a[1], y: +a[2], text: a[1] + "," + a[2] },
                                           { x: +b[1], y: +b[2], text: b[1] + "," + b[2] }] });
  }
  if (photos.length === 0) throw new Error("no photograph with its two points in this answers file");
  return photos;
};

// The bytes tavrin reads; a point keeps the text it was loaded with until it is moved.
TV.formatAnswers = function (photos) {
  var lines = [];
  photos.forEach(function (p, i) {
    var label = i === 0 ? ["A", "B"] : ["A'", "B'"];
    if (/\s/.test(p.name) || new TextEncoder().encode(p.name).length > 233)
      throw new Error(p.name + ": tavrin reads a name as one word of at most 233 bytes");
    lines.push(p.name);
    p.points.forEach(function (q, k) {
      if (!q) throw new Error("place " + label[k] + " on " + p.name + " first");
      lines.push(q.text || q.x + "," + q.y);
    });
  });
  if (lines.length === 0) throw new Error("open the base photograph first");
  return lines.concat(TV.CLOSING_NAME).join("\n") + "\n";
};
