// What the page says about the station and the control token.

// The station's state message -> { text, look, current, keyable, blank }:
// `current` when the picture and lamps are the amplifier's present ones,
// `keyable` when the station can carry out a key (an amplifier that is off
// still takes ON), `look` the state line's colour (online, offline, gone).
export function describeState(state) {
  if (!state) return { text: 'waiting for the station', look: 'none', current: false, keyable: false, blank: false };
  if (state.state === 'online') return { text: 'on-line', look: 'online', current: true, keyable: true, blank: false };
  const detail = typeof state.detail === 'string' && state.detail !== '' ? state.detail : state.reason;
  if (state.state === 'gone') return { text: detail || 'station gone', look: 'gone', current: false, keyable: false, blank: false };
  // A silent amplifier shows a blank display and dark lamps, as on a direct link.
  const silent = state.reason === 'silent';
  return { text: `off-line: ${detail || 'unknown reason'}`, look: 'offline', current: false, keyable: silent, blank: silent };
}

// The same, seen through this page's own link: a broker connection that is
// down, or a station not heard for a while, makes whatever the station last
// said stale. A station that said it stopped or is gone is not expected to
// be heard, and reads as it said.
// link: { connected, reason (why the connection is down, '' before the first
// attempt ended), silent (whole seconds the station has not been heard for,
// or null) }.
export function describeView(state, link) {
  const offline = (text) => ({ text: `off-line: ${text}`, look: 'offline', current: false, keyable: false, blank: false });
  if (!link.connected) {
    if (link.reason) return offline(link.reason);
    return { ...describeState(null), text: 'connecting to the broker' };
  }
  const ended = state && (state.state === 'gone' || state.reason === 'stopped');
  if (link.silent !== null && !ended) return offline(`station not heard for ${link.silent} s`);
  return describeState(state);
}

export function describeControl(control, user) {
  if (!control || control.holder === null || control.holder === undefined) return 'control: free';
  if (control.holder === user) return 'control: you';
  return `control: ${control.holder}`;
}
