// The work kept in the browser, against a reload or a crash: the photographs' names,
// every point and the panes' views, in localStorage, written at each change. The next
// page offers the last work back; the browser cannot open a file by itself, so the
// photographs are chosen again, and each finds its points under its name. After the
// placing scripts, which it takes the series from.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var place = TV.place, series = place.series;
  var STORE = "tavrin-view.travail", KEPT = 5;  // the works of the last pages, the newest first
  var page = Date.now() + "-" + Math.random().toString(36).slice(2), written = "", timer = 0;

  function read() {
    try {
      var works = JSON.parse(localStorage.getItem(STORE));
      return Array.isArray(works) ? works.filter(function (w) { return w && Array.isArray(w.photos); }) : [];
    } catch (e) { return []; }
  }
  function write(works) {
    try { localStorage.setItem(STORE, JSON.stringify(works)); } catch (e) {
      TV.warn("not kept", "Le navigateur ne garde pas le travail de la page (" + e.name + ") : il sera perdu à " +
        "sa fermeture ; enregistrez les réponses souvent.", { causes: ["not kept"] });
    }
  }

  function photoOf(p) { return { name: p.name, points: p.points.map(place.copy), loaded: p.loaded || null }; }
  function counted(work) {
    return work.photos.reduce(function (n, p) { return n + p.points.filter(Boolean).length; }, 0);
  }

  // This page's work, written over its own earlier record: at once when its names or
  // points change, within a second when only a view does.
  function keep(now) {
    if (!series.base) return;
    var photos = [series.base].concat(series.further).map(photoOf), what = JSON.stringify(photos);
    if (what === written && !now) {
      if (!timer) timer = setTimeout(function () { keep(true); }, 1000);
      return;
    }
    clearTimeout(timer);
    timer = 0;
    written = what;
    var work = { page: page, time: Date.now(), photos: photos, current: series.current,
                 views: place.panes.map(function (p) { return p.entry ? p.viewer.centre() : p.view || null; }) };
    write([work].concat(read().filter(function (w) { return w.page !== page; })).slice(0, KEPT));
  }
  place.onRender(function () { keep(false); });
  // A pan or a zoom: written within a second, nothing done in the frame itself.
  place.onPan(function () { if (!timer && series.base) timer = setTimeout(function () { keep(true); }, 1000); });
  window.addEventListener("pagehide", function () { keep(true); });

  function forget(work) {
    TV.warn("offer", null);
    write(read().filter(function (w) { return w.page !== work.page; }));
  }

  function takeBack(work) {
    forget(work);
    if (!place.adopt(work.photos, work.current, "la reprise du travail")) return;
    place.panes.forEach(function (p, i) { if (work.views[i] && !p.entry) p.view = work.views[i]; });
    var missing = place.all().filter(function (p) { return !p.file; }).map(function (p) { return p.name; });
    if (missing.length)
      TV.say("Travail repris. Le navigateur ne peut pas rouvrir un fichier de lui-même : choisissez à nouveau " +
        missing.join(", ") + " ; chacune retrouve ses points dès qu'elle est choisie sous le même nom.", true,
        function () { return place.all().some(function (p) { return !p.file; }); });
  }

  // The newest work of another page, with a point at least, is offered back.
  var offered = read().filter(function (w) { return w.page !== page && counted(w); })[0];
  if (offered) {
    var when = new Date(offered.time), n = offered.photos.length - 1;
    TV.warn("offer", "Travail retrouvé, du " + when.toLocaleDateString("fr-FR") + " à " +
      when.toLocaleTimeString("fr-FR", { hour: "2-digit", minute: "2-digit" }) + " : " + offered.photos[0].name +
      (n ? " et " + n + " photographie" + (n > 1 ? "s suivantes" : " suivante") : "") + ", " + counted(offered) +
      " points placés. Le reprendre ? Il faudra choisir à nouveau les photographies ; leurs points reviendront " +
      "avec leurs noms.", { actions: [["Reprendre", function () { takeBack(offered); }],
                                      ["Ne pas reprendre", function () { forget(offered); }]] });
  }
})();
