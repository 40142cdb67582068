// The canvas: one image drawn at a zoom and a position, with marks drawn over it.
// A point of the screen lies over the image position (sx - tx) / scale; the pixel it
// falls in is that position rounded down: x the column, y the row, from 0 at the
// top-left, as tavrin counts them.
"use strict";
var TV = window.TV || (window.TV = {});

TV.Viewer = function (canvas, hooks) {
  this.canvas = canvas;
  this.ctx = canvas.getContext("2d");
  // scene(ctx), overlay(ctx), pointer(px | null, s: its screen point), click(px), grab(sx, sy) -> bool,
  // drag(dx, dy, s): the motion since the press in image pixels, drop(moved), size(),
  // and, if given, moved(): the zoom or the position changed
  this.hooks = hooks;
  this.scale = 1; this.tx = 0; this.ty = 0;
  this.panning = false;  // the view dragged, not a mark
  var self = this, press = null;
  new ResizeObserver(function () { self.draw(); }).observe(canvas);
  // A wheel's notch (100 pixels, or 3 lines) zooms by 2; a touchpad's small steps, by less.
  canvas.addEventListener("wheel", function (e) {
    e.preventDefault();
    var s = self.screen(e), amount = e.deltaY * [1, 100 / 3, 800][e.deltaMode];
    self.zoomAt(s.x, s.y, Math.pow(2, -amount / 100));
  }, { passive: false });
  canvas.addEventListener("pointerdown", function (e) {
    if (e.button !== 0) return;
    var s = self.screen(e);
    try { canvas.setPointerCapture(e.pointerId); } catch (_) { /* a pointer the browser no longer tracks */ }
    press = { x: s.x, y: s.y, tx: self.tx, ty: self.ty, moved: false, grabbed: self.hooks.grab(s.x, s.y) };
  });
  // Within 3 screen pixels of the press nothing moves: a hand's tremor is no drag.
  canvas.addEventListener("pointermove", function (e) {
    var s = self.screen(e), px = self.pixelAt(s.x, s.y);
    if (press) {
      press.moved = press.moved || Math.abs(s.x - press.x) + Math.abs(s.y - press.y) > 3;
      if (press.moved && press.grabbed) self.hooks.drag((s.x - press.x) / self.scale, (s.y - press.y) / self.scale, s);
      else if (press.moved) {
        self.panning = true;
        self.tx = press.tx + s.x - press.x; self.ty = press.ty + s.y - press.y; self.moved();
      }
      if (press.moved) self.draw();
    }
    self.hooks.pointer(px, s);
  });
  canvas.addEventListener("pointerup", function (e) {
    var s = self.screen(e), was = press;
    press = null; self.panning = false;
    if (!was) return;
    if (was.grabbed) self.hooks.drop(was.moved);
    else if (!was.moved) self.hooks.click(self.pixelAt(s.x, s.y));
    self.draw();
  });
  canvas.addEventListener("pointercancel", function () {
    if (press && press.grabbed) self.hooks.drop(press.moved);
    press = null; self.panning = false;
  });
  canvas.addEventListener("pointerleave", function () { self.hooks.pointer(null); });
};

TV.Viewer.prototype.moved = function () { if (this.hooks.moved) this.hooks.moved(); };

TV.Viewer.prototype.screen = function (e) {
  var r = this.canvas.getBoundingClientRect();
  return { x: e.clientX - r.left, y: e.clientY - r.top };
};

TV.Viewer.prototype.pixelAt = function (sx, sy) {
  return { x: Math.floor((sx - this.tx) / this.scale), y: Math.floor((sy - this.ty) / this.scale) };
};

TV.Viewer.prototype.toScreen = function (x, y) {
  return { x: this.tx + x * this.scale, y: this.ty + y * this.scale };
};

// Zooms by factor, keeping the image position under (sx, sy) where it is.
TV.Viewer.prototype.zoomAt = function (sx, sy, factor) {
  var scale = Math.min(64, Math.max(1 / 64, this.scale * factor));
  this.tx = sx - (sx - this.tx) * scale / this.scale;
  this.ty = sy - (sy - this.ty) * scale / this.scale;
  this.scale = scale;
  this.moved();
  this.draw();
};

// One screen pixel per image pixel, the image's top-left at the canvas's top-left.
TV.Viewer.prototype.actualPixels = function () {
  this.scale = 1; this.tx = 0; this.ty = 0; this.moved(); this.draw();
};

// Image position (x, y) at the middle of the canvas, at least at zoom scale.
TV.Viewer.prototype.centreOn = function (x, y, scale) { this.centreAt(x, y, Math.max(this.scale, scale)); };

// Image position (x, y) at the middle of the canvas, at zoom scale; false when the
// canvas is hidden, as fit() says it.
TV.Viewer.prototype.centreAt = function (x, y, scale) {
  this.scale = Math.min(64, Math.max(1 / 64, scale));
  this.tx = Math.round(this.canvas.clientWidth / 2 - x * this.scale);
  this.ty = Math.round(this.canvas.clientHeight / 2 - y * this.scale);
  this.moved();
  this.draw();
  return this.canvas.clientWidth > 0;
};

// The image position at the middle of the canvas, and the zoom.
TV.Viewer.prototype.centre = function () {
  return { x: (this.canvas.clientWidth / 2 - this.tx) / this.scale,
           y: (this.canvas.clientHeight / 2 - this.ty) / this.scale, scale: this.scale };
};

// The largest power-of-two zoom at which the whole image shows, centred; false when
// there is no image or the canvas is hidden, so that it can be done when shown.
TV.Viewer.prototype.fit = function () {
  var size = this.hooks.size();
  var w = this.canvas.clientWidth, h = this.canvas.clientHeight;
  if (!size || !w || !h) { this.draw(); return false; }
  this.scale = Math.pow(2, Math.floor(Math.log2(Math.min(w / size.width, h / size.height))));
  this.scale = Math.min(64, Math.max(1 / 64, this.scale));
  this.tx = Math.round((w - size.width * this.scale) / 2);
  this.ty = Math.round((h - size.height * this.scale) / 2);
  this.moved();
  this.draw();
  return true;
};

// The zoom as read: "4:1" four screen pixels a pixel, "1:2" one for two.
TV.Viewer.prototype.zoomText = function () {
  return this.scale >= 1 ? +this.scale.toFixed(2) + ":1" : "1:" + +(1 / this.scale).toFixed(2);
};

TV.Viewer.prototype.draw = function () {
  var c = this.canvas, ctx = this.ctx, dpr = window.devicePixelRatio || 1;
  var w = Math.round(c.clientWidth * dpr), h = Math.round(c.clientHeight * dpr);
  if (c.width !== w || c.height !== h) { c.width = w; c.height = h; }
  ctx.setTransform(1, 0, 0, 1, 0, 0);
  ctx.clearRect(0, 0, w, h);
  ctx.imageSmoothingEnabled = false;  // each pixel a square at any zoom
  ctx.setTransform(dpr * this.scale, 0, 0, dpr * this.scale, dpr * this.tx, dpr * this.ty);
  this.hooks.scene(ctx);
  ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
  this.hooks.overlay(ctx);
};

// An image drawn once into a canvas of its own, to be copied at each redraw.
TV.offscreen = function (pixels) {
  var c = document.createElement("canvas");
  c.width = pixels.width; c.height = pixels.height;
  c.getContext("2d").putImageData(pixels, 0, 0);
  return c;
};
