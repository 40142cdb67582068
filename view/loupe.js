// The magnifier: the pixels about the pointer, ten screen pixels each and square,
// copied from the decoded image into a small canvas of its own (the pane is not drawn
// again), a crosshair about the pixel pointed at and its coordinates as tavrin writes
// them, x,y. It lies beside the pointer, never over the pixel pointed at.
"use strict";
var TV = window.TV || (window.TV = {});

(function () {
  var SPAN = 15, ZOOM = 10, SIDE = SPAN * ZOOM, STRIP = 20, GAP = 24;  // pixels shown; screen pixels

  TV.Loupe = function (canvas) { this.canvas = canvas; this.ctx = canvas.getContext("2d"); };

  // image: the decoded photograph's canvas; px: the pixel pointed at; at: the pointer in
  // the window; marks: [{x, y, colour}], each outlined where it falls in the loupe.
  TV.Loupe.prototype.show = function (image, px, at, marks) {
    var c = this.canvas, ctx = this.ctx, dpr = window.devicePixelRatio || 1, h = SIDE + STRIP;
    if (c.width !== Math.round(SIDE * dpr)) {
      c.width = Math.round(SIDE * dpr); c.height = Math.round(h * dpr);
      c.style.width = SIDE + "px"; c.style.height = h + "px";
    }
    // Below and right of the pointer, or on the other side where the window ends.
    var left = at.x + GAP + SIDE > window.innerWidth ? at.x - GAP - SIDE : at.x + GAP;
    var top = at.y + GAP + h > window.innerHeight ? at.y - GAP - h : at.y + GAP;
    c.style.left = left + "px"; c.style.top = top + "px";
    c.hidden = false;
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    ctx.clearRect(0, 0, SIDE, h);
    ctx.fillStyle = "#000"; ctx.fillRect(0, 0, SIDE, h);
    ctx.imageSmoothingEnabled = false;  // each pixel a square
    var x0 = px.x - (SPAN - 1) / 2, y0 = px.y - (SPAN - 1) / 2;
    // Only the part inside the image is copied: a source rectangle beyond its edges is not drawn alike everywhere.
    var sx = Math.max(0, x0), sy = Math.max(0, y0);
    var sw = Math.min(image.width, x0 + SPAN) - sx, sh = Math.min(image.height, y0 + SPAN) - sy;
    if (sw > 0 && sh > 0)
      ctx.drawImage(image, sx, sy, sw, sh, (sx - x0) * ZOOM, (sy - y0) * ZOOM, sw * ZOOM, sh * ZOOM);
    marks.forEach(function (m) {
      var mx = (m.x - x0) * ZOOM, my = (m.y - y0) * ZOOM;
      if (mx < 0 || my < 0 || mx >= SIDE || my >= SIDE) return;
      ctx.strokeStyle = m.colour; ctx.lineWidth = 2; ctx.strokeRect(mx + 1, my + 1, ZOOM - 2, ZOOM - 2);
    });
    // The crosshair: lines up to the pixel pointed at, and a square about it; the pixel itself left clear.
    var lo = (SPAN - 1) / 2 * ZOOM, hi = lo + ZOOM, mid = lo + ZOOM / 2;
    [["#000", 3], ["#fff", 1]].forEach(function (pen) {
      ctx.strokeStyle = pen[0]; ctx.lineWidth = pen[1];
      ctx.beginPath();
      ctx.moveTo(mid, 0); ctx.lineTo(mid, lo - 2); ctx.moveTo(mid, hi + 2); ctx.lineTo(mid, SIDE);
      ctx.moveTo(0, mid); ctx.lineTo(lo - 2, mid); ctx.moveTo(hi + 2, mid); ctx.lineTo(SIDE, mid);
      ctx.rect(lo - 1.5, lo - 1.5, ZOOM + 3, ZOOM + 3);
      ctx.stroke();
    });
    ctx.font = "12px monospace"; ctx.fillStyle = "#e8eaed";
    ctx.fillText(px.x + "," + px.y, 6, SIDE + 14);  // as tavrin writes a point: x the column, y the row
  };

  // Called in each frame of a pan: the page is left as it is when already hidden.
  TV.Loupe.prototype.hide = function () { if (!this.canvas.hidden) this.canvas.hidden = true; };
})();
