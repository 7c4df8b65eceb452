// The pause before the next attempt to reach the broker: it doubles from
// 250 ms up to a cap, each pause drawn within 25 % of its step so that pages
// cut off together do not all come back in the same instant, and it starts
// again from the first step only once a connection has held for 10 s (a
// broker that accepts and drops at once is not retried every 250 ms).

export class Backoff {
  constructor({ firstMs = 250, capMs = 30000, jitter = 0.25, holdMs = 10000, random = Math.random } = {}) {
    Object.assign(this, { firstMs, capMs, jitter, holdMs, random });
    this.step = 0;
  }

  // The pause after a connection that ended having held `heldMs` (0 for an
  // attempt that never connected).
  next(heldMs) {
    if (heldMs >= this.holdMs) this.step = 0;
    const base = Math.min(this.capMs, this.firstMs * 2 ** this.step);
    if (base < this.capMs) this.step += 1;
    return Math.round(base * (1 + this.jitter * (2 * this.random() - 1)));
  }
}
