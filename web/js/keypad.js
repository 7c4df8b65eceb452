// The full keypad: eighteen keys on two panels, the four latches, the OFF
// question, and the letters that type the keys. Everything it sends goes
// through `send` (a key code in decimal, or "on").

import { KEYS, LATCHES, Latches } from './keys.js';

export class Keypad {
  constructor(root, offQuestion, send) {
    this.latches = new Latches();
    this.send = send;
    this.offQuestion = offQuestion;
    this.buttons = new Map();
    this.latchButtons = new Map();
    this.enabled = false;

    for (const key of KEYS) {
      const button = document.createElement('button');
      button.type = 'button';
      button.className = `key key-${key.id}`;
      button.textContent = key.label;
      if (key.label !== key.name) button.setAttribute('aria-label', key.name);
      if (key.letter) button.setAttribute('aria-keyshortcuts', key.letter === '+' ? 'Shift+Equal' : key.letter);
      button.addEventListener('click', () => this.press(key.id));
      if (key.latch) {
        // A right click or a long touch latches, as on the desktop keypad.
        button.addEventListener('contextmenu', (event) => {
          event.preventDefault();
          if (this.enabled) this.toggleLatch(key.latch);
        });
      }
      root.querySelector(`.panel-${key.panel} .keys`).append(button);
      this.buttons.set(key.id, button);
    }

    const latchRow = root.querySelector('.latches');
    for (const latch of LATCHES) {
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'latch';
      button.textContent = latch;
      button.setAttribute('aria-label', `Latch ${latch}`);
      button.addEventListener('click', () => this.toggleLatch(latch));
      latchRow.append(button);
      this.latchButtons.set(latch, button);
    }

    offQuestion.addEventListener('close', () => {
      if (offQuestion.returnValue === 'yes' && this.enabled) this.send('10');
    });
    document.addEventListener('keydown', (event) => this.onKeyDown(event));
    this.setEnabled(false);
  }

  press(id) {
    if (!this.enabled) return;
    if (id === 'off') {
      this.askOff();
      return;
    }
    const payload = this.latches.press(id);
    this.renderLatches();
    if (payload !== null) this.send(payload);
  }

  askOff() {
    if (this.offQuestion.open) return;
    this.offQuestion.returnValue = 'no';
    this.offQuestion.showModal();
    this.offQuestion.querySelector('[value="no"]').focus();
  }

  toggleLatch(latch) {
    if (!this.enabled) return;
    this.latches.toggle(latch);
    this.renderLatches();
  }

  renderLatches() {
    for (const [latch, button] of this.latchButtons) {
      button.setAttribute('aria-pressed', String(this.latches.held === latch));
    }
    for (const key of KEYS) {
      if (!key.latch) continue;
      const held = this.latches.held === key.latch;
      const button = this.buttons.get(key.id);
      button.classList.toggle('latched', held);
      button.setAttribute('aria-label', held ? `${key.name}, latched` : key.name);
    }
  }

  // Keys are usable only for an operator whose station can carry them out
  // while nobody else holds control. Disabled keys ignore every way of
  // pressing them.
  setEnabled(enabled) {
    this.enabled = enabled;
    for (const button of [...this.buttons.values(), ...this.latchButtons.values()]) {
      button.disabled = !enabled;
    }
    if (!enabled && this.offQuestion.open) this.offQuestion.close('no');
    this.renderLatches();
  }

  // The letters of the desktop's display window: I, A, L, B, C, U, D, +, -, N,
  // P, T, S, O type their key; F asks to switch the amplifier off.
  onKeyDown(event) {
    if (event.ctrlKey || event.altKey || event.metaKey || this.offQuestion.open) return;
    if (event.target.closest('input, select, textarea, dialog')) return;
    const letter = event.key.length === 1 ? event.key.toUpperCase() : '';
    const key = KEYS.find((k) => k.letter === letter);
    if (!key) return;
    event.preventDefault();
    this.press(key.id);
  }
}
