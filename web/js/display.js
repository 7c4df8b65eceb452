// The amplifier's display: the picture the station drew (a 244 x 68 PNG) on a
// canvas, scaled by whole device pixels without smoothing, and the display's
// eight text lines for assistive technology, whose changed lines go to a live
// region.

import { pngSize } from './png.js';

export const WIDTH = 244;
export const HEIGHT = 68;

// At most one announcement per this many milliseconds, so that a moving bar
// graph does not flood the screen reader.
const ANNOUNCE_INTERVAL_MS = 300;

export class DisplayPicture {
  constructor(canvas) {
    this.canvas = canvas;
    this.context = canvas.getContext('2d', { alpha: false });
    this.context.imageSmoothingEnabled = false;
    this.sequence = 0;
    this.shown = 0;
    this.fit();
    new ResizeObserver(() => this.fit()).observe(canvas.parentElement);
    window.matchMedia(`(resolution: ${window.devicePixelRatio}dppx)`).addEventListener('change', () => this.fit());
  }

  // The largest whole number of device pixels per picture pixel that fits the
  // width, so that every pixel of the picture is the same size on screen.
  fit() {
    const ratio = window.devicePixelRatio || 1;
    const available = this.canvas.parentElement.clientWidth * ratio;
    const scale = Math.max(1, Math.floor(available / WIDTH));
    this.canvas.style.width = `${(WIDTH * scale) / ratio}px`;
    this.canvas.style.height = `${(HEIGHT * scale) / ratio}px`;
  }

  // Shows a PNG; pictures that arrive while an older one is still being
  // decoded are shown in their order, and a late older one is dropped.
  // Anything that is not a 244 x 68 PNG by its header is not decoded at all.
  async show(png) {
    const size = pngSize(png);
    if (!size || size.width !== WIDTH || size.height !== HEIGHT) return;
    const sequence = ++this.sequence;
    let bitmap;
    try {
      bitmap = await createImageBitmap(new Blob([png], { type: 'image/png' }), {
        colorSpaceConversion: 'none',
        premultiplyAlpha: 'none',
      });
    } catch {
      return; // not a picture: keep the last one
    }
    if (sequence > this.shown) {
      this.shown = sequence;
      this.context.drawImage(bitmap, 0, 0, WIDTH, HEIGHT);
      this.canvas.dispatchEvent(new CustomEvent('picture', { detail: sequence }));
    }
    bitmap.close();
  }
}

export class DisplayText {
  constructor(textElement, liveRegion) {
    this.textElement = textElement;
    this.liveRegion = liveRegion;
    this.lines = null; // what the display shows now
    this.told = null; // what the live region last announced
    this.timer = null;
    this.lastAnnounced = 0;
  }

  update(text) {
    this.lines = text.split('\n');
    this.textElement.textContent = text;
    if (this.told === null) {
      this.told = this.lines; // the first screen is read, not announced
      return;
    }
    if (this.timer === null) {
      const wait = Math.max(0, this.lastAnnounced + ANNOUNCE_INTERVAL_MS - performance.now());
      this.timer = setTimeout(() => this.announce(), wait);
    }
  }

  // Announces every whole line that differs from what was last announced;
  // lines that became blank are not read out.
  announce() {
    this.timer = null;
    this.lastAnnounced = performance.now();
    const changed = this.lines.filter((line, i) => line !== this.told[i] && line.trim() !== '');
    this.told = this.lines;
    if (changed.length > 0) this.liveRegion.textContent = changed.join('\n');
  }

  // A new station: its first screen is read, not announced.
  reset() {
    clearTimeout(this.timer);
    this.timer = null;
    this.lines = null;
    this.told = null;
    this.textElement.textContent = '';
    this.liveRegion.textContent = '';
  }
}
