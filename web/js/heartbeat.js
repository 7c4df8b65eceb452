// Whether the station is heard. The station publishes its state every period
// (2 s) while it runs; only a state published while this page listens counts,
// not the retained copy the broker hands over at subscribing, which a station
// that lost its power long ago left behind. Three periods without one (from
// connecting, or from the last one heard) and the station reads as not heard,
// with the whole seconds since counting up.

const DEFAULT_PERIOD_MS = 2000;
const MISSED_BEATS = 3;

export class BeatWatch {
  // `onChange` runs whenever what silentSeconds() says changes. `windowMs`
  // replaces the three periods (the browser tests shorten it).
  constructor(onChange, windowMs = null) {
    this.onChange = onChange;
    this.windowMs = windowMs;
    this.periodMs = DEFAULT_PERIOD_MS;
    this.timer = null;
    this.stop();
  }

  // A new broker connection: nothing heard on it yet.
  start(now = performance.now()) {
    this.since = now;
    this.beat = null;
    this.heardAt = null;
    this.schedule(now);
  }

  stop() {
    clearTimeout(this.timer);
    this.timer = null;
    this.since = null;
    this.beat = null;
    this.heardAt = null;
  }

  // A state message of the station; `live` when the station published it
  // while this page listened.
  state(state, live, now = performance.now()) {
    if (state && Number.isInteger(state.period_ms) && state.period_ms > 0) this.periodMs = state.period_ms;
    if (!live || this.since === null) return;
    const wasSilent = this.silentSeconds(now) !== null;
    this.since = now;
    this.heardAt = now;
    this.beat = state && Number.isInteger(state.beat) ? state.beat : null;
    this.schedule(now);
    if (wasSilent) this.onChange();
  }

  window() {
    return this.windowMs ?? MISSED_BEATS * this.periodMs;
  }

  // Whole seconds the station has not been heard for, or null while it is.
  silentSeconds(now = performance.now()) {
    if (this.since === null || now - this.since < this.window()) return null;
    return Math.floor((now - this.since) / 1000);
  }

  // Wakes at the end of the window, then at each new whole second.
  schedule(now) {
    clearTimeout(this.timer);
    const quiet = now - this.since;
    const next = quiet < this.window() ? this.window() : (Math.floor(quiet / 1000) + 1) * 1000;
    this.timer = setTimeout(() => {
      const at = performance.now();
      this.schedule(at);
      this.onChange();
    }, Math.max(0, next - quiet));
  }
}
