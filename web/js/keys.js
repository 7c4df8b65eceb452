// The amplifier's front-panel keys and the four latches of the full keypad.
//
// A key's code depends on the latch held when it is pressed: POWER and CAT
// make the L and C keys step coarse and fine, DISPLAY turns INPUT and C + into
// their second functions, OPERATE turns TUNE into "store". The latches sit on
// one panel of the keypad, so at most one of them is held at a time.

export const LATCHES = ['POWER', 'CAT', 'DISPLAY', 'OPERATE'];

// id: the key's name in code; label: the caption on the button; name: what
// assistive technology reads; letter: the key that types it; panel: the
// keypad panel it sits on.
export const KEYS = [
  { id: 'input', label: 'INPUT', name: 'INPUT', letter: 'I', panel: 'left' },
  { id: 'ant', label: 'ANT', name: 'ANT', letter: 'A', panel: 'left' },
  { id: 'lMinus', label: '◀ L', name: 'L minus', panel: 'left' },
  { id: 'lPlus', label: 'L ▶', name: 'L plus', letter: 'L', panel: 'left' },
  { id: 'bandMinus', label: '◀ BAND', name: 'BAND minus', panel: 'left' },
  { id: 'bandPlus', label: 'BAND ▶', name: 'BAND plus', letter: 'B', panel: 'left' },
  { id: 'cMinus', label: '◀ C', name: 'C minus', panel: 'left' },
  { id: 'cPlus', label: 'C ▶', name: 'C plus', letter: 'C', panel: 'left' },
  { id: 'tune', label: 'TUNE', name: 'TUNE', letter: 'U', panel: 'left' },
  { id: 'display', label: 'DISPLAY', name: 'DISPLAY', letter: 'D', panel: 'right', latch: 'DISPLAY' },
  { id: 'left', label: '◀ −', name: 'Left arrow', letter: '-', panel: 'right' },
  { id: 'right', label: '+ ▶', name: 'Right arrow', letter: '+', panel: 'right' },
  { id: 'on', label: 'ON', name: 'ON', letter: 'N', panel: 'right' },
  { id: 'power', label: 'POWER', name: 'POWER', letter: 'P', panel: 'right', latch: 'POWER' },
  { id: 'cat', label: 'CAT', name: 'CAT', letter: 'T', panel: 'right', latch: 'CAT' },
  { id: 'set', label: 'SET', name: 'SET', letter: 'S', panel: 'right' },
  { id: 'off', label: 'OFF', name: 'OFF', letter: 'F', panel: 'right' },
  { id: 'operate', label: 'OPERATE', name: 'OPERATE', letter: 'O', panel: 'right', latch: 'OPERATE' },
];

// Codes by latch: [plain, POWER held, CAT held] for the L and C keys.
const STEPPED = {
  lMinus: [5, 28, 30],
  lPlus: [6, 29, 31],
  cMinus: [7, 24, 26],
  cPlus: [8, 25, 27],
};

const FIXED = {
  ant: 4,
  bandMinus: 2,
  bandPlus: 3,
  power: 11,
  display: 12,
  operate: 13,
  cat: 14,
  left: 15,
  right: 16,
  set: 17,
  off: 10,
};

export class Latches {
  constructor() {
    this.held = null; // one of LATCHES, or null
  }

  // Latches or releases without sending anything (the desktop's right click).
  toggle(latch) {
    this.held = this.held === latch ? null : latch;
  }

  release(latch) {
    if (this.held === latch) this.held = null;
  }

  // What pressing key `id` sends: a decimal key code, "on" for the power-on
  // request, or null for a key that sends nothing by itself. Applies the
  // latch changes that pressing the key makes.
  press(id) {
    const key = KEYS.find((k) => k.id === id);
    if (!key) return null;
    if (key.latch) {
      // Pressing a latching key ends its own latch and sends its plain code;
      // a latch on another key stays.
      this.release(key.latch);
    }
    if (id === 'on') return 'on';
    if (id === 'input') {
      if (this.held === 'DISPLAY') {
        this.held = null;
        return '19';
      }
      return '1';
    }
    if (id === 'tune') {
      if (this.held === 'OPERATE') {
        this.held = null;
        return '18';
      }
      return '9';
    }
    if (id === 'cPlus' && this.held === 'DISPLAY') {
      this.held = null;
      return '21';
    }
    if (id in STEPPED) {
      const [plain, power, cat] = STEPPED[id];
      if (this.held === 'POWER') return String(power);
      if (this.held === 'CAT') return String(cat);
      return String(plain);
    }
    return id in FIXED ? String(FIXED[id]) : null;
  }
}
