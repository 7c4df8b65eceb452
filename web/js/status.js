// What the page says about the station and the control token.

// The station's state message -> { text, current, keyable }: `current` when
// the picture and lamps are the amplifier's present ones, `keyable` when the
// station can carry out a key (an amplifier that is off still takes ON).
export function describeState(state) {
  if (!state) return { text: 'waiting for the station', current: false, keyable: false, blank: false };
  if (state.state === 'online') return { text: 'on-line', current: true, keyable: true, blank: false };
  const detail = typeof state.detail === 'string' && state.detail !== '' ? state.detail : state.reason;
  if (state.state === 'gone') return { text: detail || 'station gone', current: false, keyable: false, blank: false };
  // A silent amplifier shows a blank display and dark lamps, as on a direct link.
  const silent = state.reason === 'silent';
  return { text: `off-line: ${detail || 'unknown reason'}`, current: false, keyable: silent, blank: silent };
}

export function describeControl(control, user) {
  if (!control || control.holder === null || control.holder === undefined) return 'control: free';
  if (control.holder === user) return 'control: you';
  return `control: ${control.holder}`;
}
