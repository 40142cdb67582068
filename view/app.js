// The page: two modes over one canvas. Placing points: a series of photographs, two
// points on each, saved as the answers tavrin reads. Comparing results: the base
// photograph against each rectified one, by blink, swipe, blend or difference map.
"use strict";
(function () {
  var $ = function (id) { return document.getElementById(id); };
  var COLOURS = ["#ffd400", "#00e5ff"];  // A, B: neither can be a grey of the photograph
  var mode = "points", fitted = false;
  var points = { photos: [], current: 0, next: 0, shown: null, dragging: -1 };
  var compare = { base: null, results: [], current: 0, look: "blink", timer: 0, showBase: false,
                  divider: 0.5, alpha: 0.5, b: null, r: null, diff: null };
  TV.state = { points: points, compare: compare };
  TV.busy = 0;
  TV.marks = [];

  function say(text, note) { $("message").textContent = text || ""; $("message").className = note ? "note" : ""; }

  // Runs one step of work; its failure is told on the page. TV.busy lets a driver wait.
  function task(work) {
    ++TV.busy;
    return Promise.resolve().then(work).catch(function (e) { say(e.message); })
      .finally(function () { --TV.busy; });
  }

  // Decoded images, the last four kept: a 24 MP photograph takes about 120 MB.
  var cache = [];
  function load(file) {
    var kept = cache.filter(function (e) { return e.file === file; })[0];
    if (kept) return Promise.resolve(kept);
    var t0 = performance.now();
    return file.arrayBuffer().then(function (buffer) {
      var t1 = performance.now(), image = TV.decodePNM(buffer, file.name), t2 = performance.now();
      var entry = { file: file, image: image, canvas: TV.offscreen(image.pixels) };
      image.pixels = null;  // the canvas holds them now
      entry.timing = { name: file.name, read: t1 - t0, decode: t2 - t1, upload: performance.now() - t2, start: t0 };
      cache = [entry].concat(cache.slice(0, 3));
      if (image.missing) say(file.name + " ends " + image.missing + " bytes short; those samples are drawn black", true);
      return entry;
    });
  }

  // The first draw of a freshly opened image closes its timing: one pixel read back
  // waits for the drawing to be done.
  function shown(entry) {
    if (!fitted) { fitted = true; viewer.fit(); } else viewer.draw();
    if (entry && entry.timing && !entry.timing.total) {
      viewer.ctx.getImageData(0, 0, 1, 1);
      entry.timing.total = performance.now() - entry.timing.start;
      TV.lastOpen = entry.timing;
    }
  }

  // ------------------------------------------------------------ placing points

  function labels(i) { return i === 0 ? ["A", "B"] : ["A'", "B'"]; }
  function pointText(p) { return p ? p.text || p.x + "," + p.y : "?"; }
  function photoNamed(name) { return points.photos.filter(function (p) { return p.name === name; })[0]; }

  function listPhotos() {
    var ol = $("photo-list");
    ol.textContent = "";
    points.photos.forEach(function (p, i) {
      var li = document.createElement("li"), l = labels(i);
      li.textContent = p.name + (i === 0 ? " (base)" : "") + "  " + l[0] + " " + pointText(p.points[0]) +
        "  " + l[1] + " " + pointText(p.points[1]);
      if (!p.file) li.insertAdjacentHTML("beforeend", ' <span class="missing">not opened</span>');
      if (i === points.current) li.className = "current";
      li.onclick = function () { selectPhoto(i); };
      ol.appendChild(li);
    });
    var l = labels(points.current);
    $("label-a").textContent = l[0]; $("label-b").textContent = l[1];
    document.querySelector("input[name=next][value='" + points.next + "']").checked = true;
  }

  function selectPhoto(i) {
    if (i < 0 || i >= points.photos.length) return;
    var photo = points.photos[i];
    points.current = i;
    points.next = photo.points[0] && !photo.points[1] ? 1 : 0;
    points.shown = null;
    listPhotos();
    viewer.draw();
    if (!photo.file) return say("open " + photo.name + " to see its points on it", true);
    return task(function () {
      return load(photo.file).then(function (entry) {
        photo.width = entry.image.width; photo.height = entry.image.height;
        if (points.current !== i) return;
        points.shown = entry;
        if (!entry.image.grey) say(photo.name + " is a colour (P6) image; tavrin reads P5 only", true);
        shown(entry);
      });
    });
  }

  // Chosen files join the series by name: a photograph the answers named gets its file.
  function addPhotos(files, asBase) {
    files = Array.prototype.slice.call(files);
    if (!files.length) return;
    say("");
    var attached = files.map(function (f, i) {
      var p = photoNamed(f.name);
      if (i === 0 && (asBase || !points.photos.length) && p !== points.photos[0]) {
        // A new base: the old one's points were for another photograph.
        p = { name: f.name, points: [null, null] };
        points.photos = [p].concat(points.photos.slice(1).filter(function (q) { return q.name !== f.name; }));
      } else if (!p) points.photos.push(p = { name: f.name, points: [null, null] });
      p.file = f;
      return p;
    });
    attached.forEach(function (p) { task(function () { return readSize(p); }); });
    return selectPhoto(asBase ? 0 : points.current);
  }

  // A photograph's size from its header alone, for the part of the frame it covers.
  function readSize(photo) {
    return photo.file.slice(0, 65536).arrayBuffer().then(function (buffer) {
      var h = TV.readHeader(new Uint8Array(buffer), photo.name);
      photo.width = h.width; photo.height = h.height;
    });
  }

  function loadAnswers(file) {
    return task(function () {
      return file.text().then(function (text) {
        var read = TV.parseAnswers(text).map(function (p) {
          var old = photoNamed(p.name);
          if (old) old.points = p.points;
          return old || p;
        });
        points.photos = read.concat(points.photos.filter(function (p) {
          return !read.some(function (q) { return q.name === p.name; });
        }));
        say("");
        return selectPhoto(0);
      });
    });
  }

  function saveAnswers() {
    try {
      var text = TV.formatAnswers(points.photos);
      var a = document.createElement("a");
      a.href = URL.createObjectURL(new Blob([text], { type: "text/plain" }));
      a.download = "answers.txt";
      a.click();
      setTimeout(function () { URL.revokeObjectURL(a.href); }, 60000);
      say("answers.txt: " + points.photos.length + " photographs, closed by \"" + TV.CLOSING_NAME +
          "\"; in the photographs' folder: tavrin < answers.txt", true);
    } catch (e) { say(e.message); }
  }

  function placePoint(k, px) {
    var photo = points.photos[points.current];
    photo.points[k] = { x: px.x, y: px.y };
    listPhotos();
  }

  function drawMark(ctx, x, y, colour, label) {
    var s = viewer.toScreen(x + 0.5, y + 0.5);  // the middle of the pixel
    ctx.strokeStyle = colour; ctx.lineWidth = 2;
    ctx.beginPath();
    [[1, 0], [-1, 0], [0, 1], [0, -1]].forEach(function (d) {
      ctx.moveTo(s.x + 4 * d[0], s.y + 4 * d[1]); ctx.lineTo(s.x + 12 * d[0], s.y + 12 * d[1]);
    });
    ctx.stroke();
    ctx.font = "13px monospace";
    var w = ctx.measureText(label).width;
    ctx.fillStyle = "rgba(0,0,0,0.7)"; ctx.fillRect(s.x + 12, s.y - 28, w + 8, 18);
    ctx.fillStyle = colour; ctx.fillText(label, s.x + 16, s.y - 14);
    TV.marks.push({ label: label, x: s.x, y: s.y });
  }

  var pointsHooks = {
    scene: function (ctx) { if (points.shown) ctx.drawImage(points.shown.canvas, 0, 0); },
    overlay: function (ctx) {
      var photo = points.photos[points.current], l = labels(points.current);
      if (!photo || !points.shown) return;
      photo.points.forEach(function (p, k) {
        if (p) drawMark(ctx, p.x, p.y, COLOURS[k], l[k] + " " + pointText(p));
      });
    },
    grab: function (sx, sy) {
      var photo = points.photos[points.current];
      points.dragging = -1;
      if (photo && points.shown) photo.points.forEach(function (p, k) {
        var s = p && viewer.toScreen(p.x + 0.5, p.y + 0.5);
        if (s && Math.abs(s.x - sx) <= 8 && Math.abs(s.y - sy) <= 8) points.dragging = k;
      });
      return points.dragging >= 0;
    },
    drag: function (px) {  // a mark stays on its photograph
      var photo = points.photos[points.current];
      placePoint(points.dragging, { x: Math.min(Math.max(px.x, 0), photo.width - 1),
                                    y: Math.min(Math.max(px.y, 0), photo.height - 1) });
    },
    click: function (px) {
      var photo = points.photos[points.current];
      if (!points.shown) return say("open the base photograph first");
      if (px.x < 0 || px.y < 0 || px.x >= photo.width || px.y >= photo.height)
        return say("that is outside " + photo.name);
      say("");
      placePoint(points.next, px);
      points.next = 1 - points.next;
      listPhotos();
    },
    size: function () { return points.shown && points.shown.image; },
    valueAt: function (px) { return points.shown && greyAt(points.shown.image, px); }
  };

  // ------------------------------------------------------------ comparing results

  function listResults() {
    var ol = $("result-list");
    ol.textContent = "";
    compare.results.forEach(function (f, i) {
      var li = document.createElement("li");
      li.textContent = f.name;
      if (i === compare.current) li.className = "current";
      li.onclick = function () { selectResult(i); };
      ol.appendChild(li);
    });
  }

  // Where the result's photograph covers the base frame, when Place points knows its
  // size and the four points; otherwise the whole frame counts, as tavrin-diff does.
  function footprintFor(name) {
    var base = points.photos[0], p = photoNamed(name);
    if (!base || !p || p === base || !p.width || !base.points[0] || !base.points[1] || !p.points[0] || !p.points[1])
      return null;
    return { key: [base.points, p.points, p.width, p.height].map(JSON.stringify).join(),
             covers: TV.footprint(base.points[0], base.points[1], p.points[0], p.points[1], p.width, p.height) };
  }

  function measure(b, r) {
    var name = r.image.name, fp = footprintFor(name), key = fp ? fp.key : "";
    if (!b.image.grey || !r.image.grey) throw new Error("the difference map needs grey (P5) images");
    if (r.image.width !== b.image.width || r.image.height !== b.image.height)
      throw new Error(name + " is " + r.image.width + " x " + r.image.height + " pixels and " + b.image.name +
        " " + b.image.width + " x " + b.image.height + ": a rectified image has its base image's size");
    if (!r.diff || r.diff.base !== b || r.diff.key !== key) {
      var d = TV.differenceMap(b.image, r.image, fp && fp.covers);
      if (d.covered === 0) throw new Error(name + " covers no pixel of the base frame: nothing to compare");
      r.diff = { base: b, key: key, canvas: TV.offscreen(d.pixels), figures: d };
    }
    $("figures").textContent = name + ": " + TV.figuresText(r.diff.figures);
    $("figures-note").textContent = fp ? "Counted where " + name + " covers the frame, from its points in Place points."
      : "Counted over the whole frame; open " + name + " with its points in Place points to count only the part it covers.";
    return r.diff;
  }

  function selectResult(i) {
    if (!compare.base || i < 0 || i >= compare.results.length) return;
    compare.current = i;
    listResults();
    $("figures").textContent = ""; $("figures-note").textContent = "";
    return task(function () {
      return load(compare.base).then(function (b) {
        return load(compare.results[i]).then(function (r) {
          if (compare.current !== i) return;
          compare.b = b; compare.r = r; compare.diff = null;
          say("");
          shown(r);
          compare.diff = measure(b, r);
          viewer.draw();
        });
      });
    });
  }

  function setBlinking(on) {
    clearInterval(compare.timer);
    compare.timer = 0;
    if (on) compare.timer = setInterval(flip, 1000 / Math.min(20, Math.max(0.5, +$("rate").value || 2)));
    $("blink").textContent = on ? "Stop" : "Blink";
  }
  function flip() { compare.showBase = !compare.showBase; viewer.draw(); }

  var compareHooks = {
    scene: function (ctx) {
      var b = compare.b, r = compare.r, look = compare.look;
      if (!b || !r) return;
      if (look === "difference") return compare.diff && ctx.drawImage(compare.diff.canvas, 0, 0);
      if (look === "blink") return ctx.drawImage(compare.showBase ? b.canvas : r.canvas, 0, 0);
      ctx.drawImage(b.canvas, 0, 0);
      if (look === "blend") { ctx.globalAlpha = compare.alpha; ctx.drawImage(r.canvas, 0, 0); ctx.globalAlpha = 1; }
      if (look === "swipe") {
        var edge = (compare.divider * viewer.canvas.clientWidth - viewer.tx) / viewer.scale;
        if (edge > 0) ctx.drawImage(r.canvas, 0, 0, edge, r.image.height, 0, 0, edge, r.image.height);
      }
    },
    overlay: function (ctx) {
      var b = compare.b, r = compare.r;
      if (!b || !r) return;
      var text = { blink: compare.showBase ? b.image.name + " (base)" : r.image.name,
                   swipe: "\u25c2 " + r.image.name + "   |   " + b.image.name + " (base) \u25b8",
                   blend: r.image.name + " over " + b.image.name + " at " + Math.round(compare.alpha * 100) + "%",
                   difference: "|" + r.image.name + " \u2212 " + b.image.name + "|: dark blue 0 \u2192 red the largest" }[compare.look];
      if (compare.look === "swipe") {
        var x = Math.round(compare.divider * viewer.canvas.clientWidth) + 0.5;
        ctx.strokeStyle = "#fff"; ctx.lineWidth = 1;
        ctx.beginPath(); ctx.moveTo(x, 0); ctx.lineTo(x, viewer.canvas.clientHeight); ctx.stroke();
      }
      ctx.font = "14px system-ui, sans-serif";
      ctx.fillStyle = "rgba(0,0,0,0.7)"; ctx.fillRect(8, 8, ctx.measureText(text).width + 12, 22);
      ctx.fillStyle = "#fff"; ctx.fillText(text, 14, 24);
    },
    grab: function (sx) {
      return compare.look === "swipe" && Math.abs(sx - compare.divider * viewer.canvas.clientWidth) <= 8;
    },
    drag: function (px, s) { compare.divider = Math.min(1, Math.max(0, s.x / viewer.canvas.clientWidth)); },
    click: function () {},
    size: function () { return compare.b && compare.b.image; },
    valueAt: function (px) {
      return compare.b && compare.r && "base " + greyAt(compare.b.image, px) + "  result " + greyAt(compare.r.image, px);
    }
  };

  // ------------------------------------------------------------ both modes

  function greyAt(image, px) {
    if (px.x < 0 || px.y < 0 || px.x >= image.width || px.y >= image.height) return "outside";
    return image.grey ? String(image.grey[px.x + px.y * image.width]) : "";
  }

  function hooks() { return mode === "points" ? pointsHooks : compareHooks; }
  var viewer = TV.viewer = new TV.Viewer($("view"), {
    scene: function (ctx) { hooks().scene(ctx); },
    overlay: function (ctx) { TV.marks = []; hooks().overlay(ctx); },
    grab: function (sx, sy) { return hooks().grab(sx, sy); },
    drag: function (px, s) { hooks().drag(px, s); },
    click: function (px) { hooks().click(px); },
    size: function () { return hooks().size(); },
    pointer: function (px) {
      $("cursor").textContent = px ? "x " + px.x + "  y " + px.y + "  " + (hooks().valueAt(px) || "") : "x \u2013 y \u2013";
    }
  });

  function setMode(m) {
    mode = m;
    setBlinking(false);
    $("points-panel").hidden = m !== "points";
    $("compare-panel").hidden = m !== "compare";
    say("");
    viewer.draw();
  }

  function step(by) {
    if (mode === "points") selectPhoto(points.current + by); else selectResult(compare.current + by);
  }

  function dropped(files) {
    files = Array.prototype.slice.call(files);
    var answers = files.filter(function (f) { return /\.txt$/i.test(f.name); });
    var images = files.filter(function (f) { return !/\.txt$/i.test(f.name); });
    if (answers.length) loadAnswers(answers[0]);
    if (!images.length) return;
    if (mode === "points") return addPhotos(images, false);
    if (!compare.base) compare.base = images.shift();
    compare.results = compare.results.concat(images);
    selectResult(compare.results.length - images.length);
  }

  $("points-base").onchange = function () { addPhotos(this.files, true); };
  $("points-further").onchange = function () { addPhotos(this.files, false); };
  $("answers-file").onchange = function () { if (this.files[0]) loadAnswers(this.files[0]); };
  $("save").onclick = saveAnswers;
  $("compare-base").onchange = function () { compare.base = this.files[0]; selectResult(compare.current); };
  $("compare-results").onchange = function () {
    var at = compare.results.length;
    compare.results = compare.results.concat(Array.prototype.slice.call(this.files));
    if (!compare.base) say("open the base photograph too", true);
    selectResult(at);
  };
  $("fit").onclick = function () { viewer.fit(); };
  $("actual").onclick = function () { viewer.actualPixels(); };
  $("blink").onclick = function () { setBlinking(!compare.timer); };
  $("rate").onchange = function () { if (compare.timer) setBlinking(true); };
  $("alpha").oninput = function () { compare.alpha = this.value / 100; viewer.draw(); };
  document.querySelectorAll("input[name=mode]").forEach(function (r) { r.onchange = function () { setMode(r.value); }; });
  document.querySelectorAll("input[name=look]").forEach(function (r) {
    r.onchange = function () { compare.look = r.value; viewer.draw(); };
  });
  document.querySelectorAll("input[name=next]").forEach(function (r) { r.onchange = function () { points.next = +r.value; }; });
  $("stage").addEventListener("dragover", function (e) { e.preventDefault(); });
  $("stage").addEventListener("drop", function (e) { e.preventDefault(); dropped(e.dataTransfer.files); });
  document.addEventListener("keydown", function (e) {
    if (e.target.type === "number" || e.ctrlKey || e.altKey || e.metaKey) return;
    var act = {
      f: function () { viewer.fit(); }, 1: function () { viewer.actualPixels(); },
      PageDown: function () { step(1); }, PageUp: function () { step(-1); },
      b: function () { if (mode === "compare") setBlinking(!compare.timer); },
      " ": function () { if (mode === "compare") { setBlinking(false); flip(); } }
    }[e.key];
    if (act) { e.preventDefault(); act(); }
  });
})();
