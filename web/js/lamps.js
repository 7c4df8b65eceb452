// The six lamps of the full keypad, as text with their state: "TUNE, on".

export const LAMPS = ['AL', 'TUNE', 'SET', 'OP', 'TX', 'ON'];

export class LampRow {
  constructor(list) {
    this.items = new Map();
    for (const name of LAMPS) {
      const item = document.createElement('li');
      item.className = `lamp lamp-${name.toLowerCase()}`;
      const caption = document.createElement('span');
      caption.textContent = name;
      const state = document.createElement('span');
      state.className = 'visually-hidden';
      item.append(caption, state);
      list.append(item);
      this.items.set(name, { item, state });
    }
    this.lit = {};
    this.current = false;
    this.render();
  }

  // The station's lamps message: {"v":1,"AL":false,...}.
  update(lamps) {
    this.lit = lamps;
    this.render();
  }

  // Lamps are dark while the station has no current picture of the amplifier.
  setCurrent(current) {
    this.current = current;
    this.render();
  }

  render() {
    for (const [name, { item, state }] of this.items) {
      const on = this.current && this.lit[name] === true;
      item.classList.toggle('lit', on);
      state.textContent = on ? ', on' : ', off';
    }
  }
}
