// The answers file: what an operator types at tavrin's prompts, one answer a line:
// the base photograph's name, A and B as x,y; each further photograph's name with its
// A' and B'; then a closing name that nothing in the folder answers to, which ends
// tavrin's series. Their rules have one home, image/answers.h, which tavrin, tavrin-match
// and tavrin-series share; this is the page's copy. man/tavrin-match.1 (DESCRIPTION)
// describes the same answers.
"use strict";
var TV = window.TV || (window.TV = {});

TV.LONGEST_NAME = 233;  // bytes of UTF-8, as tavrin reads a name

// The name as tavrin reads it back: in double quotes when it holds white space (C's
// isspace) or begins with a byte-order mark, as answers::written puts it; null when no
// answer can carry it.
TV.answerName = function (name) {
  if (!name || name.indexOf('"') >= 0 || new TextEncoder().encode(name).length > TV.LONGEST_NAME) return null;
  return /[ \t\n\v\f\r]|^\ufeff/.test(name) ? '"' + name + '"' : name;
};

// "fin", or "fin-2", "fin-3"... while a name of the series is that one: the rule of
// answers::closingName, over the names the page knows (it cannot list the folder).
// Windows opens a name in any case, so case does not tell names apart.
TV.closingName = function (names) {
  var taken = names.map(function (n) { return n.toLowerCase(); }), name = "fin";
  for (var k = 2; taken.indexOf(name) >= 0; ++k) name = "fin-" + k;
  return name;
};

// tavrin reads a point with "%f,%f": blanks before each number, none before the comma.
var NUMBER = "([-+]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][-+]?\\d+)?)";
var POINT = new RegExp("[ \\t\\n\\v\\f\\r]*" + NUMBER + ",[ \\t\\n\\v\\f\\r]*" + NUMBER +
                       "(?=[ \\t\\n\\v\\f\\r]|$)", "y");
var WHOLE_POINT = new RegExp("^" + NUMBER + "," + NUMBER + "$");

// -> [{name, points: [A, B]}], the base photograph first. A name followed by no point
// closes the series; anything after it is not read, as tavrin does not read it. Names
// are read as tavrin reads them: a name in double quotes runs to the next one, blanks
// included. (A byte-order mark is gone already: file.text() drops it.)
TV.parseAnswers = function (text) {
  var at = 0, photos = [], count = 0;
  function name() {
    while (at < text.length && /[ \t\n\v\f\r]/.test(text[at])) ++at;
    if (at >= text.length) return null;
    var quoted = text[at] === '"', start = quoted ? ++at : at;
    while (at < text.length && (quoted ? text[at] !== '"' : !/[ \t\n\v\f\r]/.test(text[at]))) ++at;
    var word = text.slice(start, at);
    if (quoted) ++at;
    return word;
  }
  function point() {
    POINT.lastIndex = at;
    var m = POINT.exec(text);
    if (!m) return null;
    at = POINT.lastIndex;
    return { x: +m[1], y: +m[2], text: m[1] + "," + m[2] };
  }
  for (var word; (word = name()) !== null;) {
    ++count;
    if (WHOLE_POINT.test(word))
      throw new Error("la réponse " + count + " est un point (" + word + ") là où doit venir le nom d'une " +
                      "photographie");
    var a = point();
    if (!a) break;
    var b = point();
    if (!b) throw new Error(word + " n'a qu'un point ; il en faut deux, écrits x,y");
    count += 2;
    photos.push({ name: word, points: [a, b] });
  }
  if (photos.length === 0) throw new Error("ce fichier de réponses ne donne aucune photographie avec ses deux points");
  return photos;
};

// The bytes tavrin reads; a point keeps the text it was loaded with until it is moved.
// Refuses what tavrin would misread: a name it cannot take, two points on one pixel.
TV.formatAnswers = function (photos, closing) {
  var lines = [];
  photos.forEach(function (p, i) {
    var label = i === 0 ? ["A", "B"] : ["A'", "B'"], name = TV.answerName(p.name), a = p.points[0], b = p.points[1];
    if (name === null)
      throw new Error(p.name.indexOf('"') >= 0
        ? p.name + " : un nom qui contient un guillemet ne peut pas s'écrire dans les réponses ; renommez le fichier."
        : p.name + " : tavrin lit les noms de " + TV.LONGEST_NAME + " octets au plus ; renommez le fichier.");
    if (!a || !b) throw new Error("Placez d'abord " + label[a ? 1 : 0] + " sur " + p.name + ".");
    if (a.x === b.x && a.y === b.y)
      throw new Error(label[0] + " et " + label[1] + " de " + p.name + " sont le même pixel : tavrin ne peut pas en " +
                      "tirer la rotation ni l'échelle ; déplacez l'un des deux.");
    lines.push(name, TV.pointText(a), TV.pointText(b));
  });
  if (lines.length === 0) throw new Error("Ouvrez d'abord la photographie de base.");
  return lines.concat(closing).join("\n") + "\n";
};

// A point as written: its loaded text, or its numbers, at most six decimals.
TV.pointText = function (p) {
  function n(v) { return String(Math.round(v * 1e6) / 1e6); }
  return p.text || n(p.x) + "," + n(p.y);
};
