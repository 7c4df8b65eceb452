// The web panel: log in to the broker, pick a station, show its display,
// lamps, state and control token, and key it with the same rules as the
// desktop viewer.

import { BrokerSession, NOT_AUTHORIZED, defaultBrokerUrl, passwordInClear } from './broker.js';
import { DisplayPicture, DisplayText } from './display.js';
import { Keypad } from './keypad.js';
import { LampRow } from './lamps.js';
import { describeControl, describeView } from './status.js';
import { parseJson, validStationName } from './topics.js';

const $ = (id) => document.getElementById(id);
const stored = window.localStorage;
const params = new URLSearchParams(window.location.search);

// A message larger than this on any topic but the picture is not the station's.
const MAX_PAYLOAD_BYTES = 64 * 1024;
// How long a station may stay unheard before it reads as off-line; by default
// three of its periods (the browser tests shorten it).
const BEAT_WINDOW_MS = Number(params.get('heard-within-ms')) || null;

const page = {
  session: null,
  user: '',
  password: '',
  url: '',
  station: null,
  connected: false,
  reason: '', // why the broker connection is down
  role: null,
  state: null,
  control: null,
  stations: new Set(),
};

const picture = new DisplayPicture($('picture'));
const text = new DisplayText($('display-text'), $('display-changes'));
const lamps = new LampRow($('lamps'));
const keypad = new Keypad($('keypad'), $('off-question'), (payload) => sendKey(payload));

function say(element, message) {
  element.textContent = message;
  element.hidden = message === '';
}

// What became of a key that was not carried out, as far as the page knows.
function keyTrouble(error) {
  if (error.kind === 'refused' && error.code === NOT_AUTHORIZED) return 'This account may only watch: the broker refused the key.';
  if (error.kind === 'refused') return `The key did not reach the station: the broker refused it (${error.message}).`;
  if (error.kind === 'undelivered') return 'The key did not reach the station: no station listens.';
  if (error.kind === 'unsure') return `The key may not have reached the station: ${error.message}.`;
  return `The key was not sent: ${error.message}.`;
}

function sendKey(payload) {
  say($('notice'), '');
  page.session.sendKey(payload).catch((error) => say($('notice'), keyTrouble(error)));
}

function render() {
  const silent = page.session ? page.session.silentSeconds() : null;
  const view = describeView(page.state, { connected: page.connected, reason: page.reason, silent });
  say($('station-state'), page.station ? view.text : 'looking for stations');
  $('station-state').dataset.state = view.look;
  $('panel').dataset.current = String(view.current);
  $('panel').dataset.blank = String(view.blank);
  lamps.setCurrent(view.current);
  const holder = page.control ? page.control.holder : null;
  say($('control'), page.station ? describeControl(page.control, page.user) : '');
  let role = '';
  if (page.role === 'watcher') role = 'This account may only watch.';
  else if (page.role === null && page.connected && page.station) role = 'Checking what this account may do.';
  else if (holder && holder !== page.user) role = `${holder} holds control: the keys are theirs.`;
  say($('role'), role);
  $('release').hidden = !(page.connected && holder === page.user);
  const usable =
    page.connected && page.role === 'operator' && view.keyable && (holder === null || holder === undefined || holder === page.user);
  keypad.setEnabled(usable);
}

function renderStations() {
  const choice = $('station-choice');
  const names = [...page.stations].sort();
  choice.replaceChildren(...names.map((name) => new Option(name, name, false, name === page.station)));
  $('station-picker').hidden = names.length < 2;
}

function onMessage({ station, leaf, payload }) {
  if (leaf !== 'png' && payload.length > MAX_PAYLOAD_BYTES) return;
  if (leaf === 'state' && validStationName(station)) {
    if (!page.stations.has(station)) {
      page.stations.add(station);
      renderStations();
    }
    if (!page.station) {
      openStation(station); // the first station found
      return;
    }
  }
  if (station !== page.station) return;
  if (leaf === 'state') page.state = parseJson(payload);
  else if (leaf === 'control') page.control = parseJson(payload);
  else if (leaf === 'png') picture.show(payload);
  else if (leaf === 'text') text.update(new TextDecoder().decode(payload));
  else if (leaf === 'lamps') lamps.update(parseJson(payload) || {});
  else if (leaf === `notice/${page.user}`) say($('notice'), (parseJson(payload) || {}).text || '');
  render();
}

function openSession(station) {
  if (page.session) page.session.close(false);
  Object.assign(page, { station, connected: false, reason: '', role: null, state: null, control: null });
  text.reset();
  say($('acl-warning'), '');
  const session = new BrokerSession({
    url: page.url, user: page.user, password: page.password, station, beatWindowMs: BEAT_WINDOW_MS,
  });
  page.session = session;
  const mine = (handler) => (event) => {
    if (page.session === session) handler(event.detail);
  };
  session.addEventListener('status', mine((detail) => {
    page.connected = detail.state === 'connected';
    if (detail.state === 'connected') page.reason = '';
    if (detail.state === 'lost') page.reason = detail.reason;
    say($('broker-state'), page.connected ? '' : detail.text);
    if (detail.state === 'refused') {
      page.password = '';
      showLogin(detail.text);
    }
    render();
  }));
  session.addEventListener('role', mine((role) => {
    page.role = role;
    render();
  }));
  session.addEventListener('heard', mine(render));
  session.addEventListener('acl-open', mine(() => say($('acl-warning'), 'The broker has no ACL for key topics: anyone can key as anyone.')));
  session.addEventListener('message', mine(onMessage));
  render();
}

function openStation(station) {
  stored.setItem('vorlinq.station', station);
  $('station-name').textContent = station;
  const url = new URL(window.location.href);
  url.searchParams.set('station', station);
  window.history.replaceState(null, '', url);
  openSession(station);
}

function showLogin(error) {
  $('panel').hidden = true;
  $('login').hidden = false;
  say($('login-error'), error);
  $('password').value = '';
  $('password').focus();
}

// Leaves the broker (giving control back if this page holds it) and forgets
// the password.
function logOut(message) {
  if (page.session) page.session.close(page.control !== null && page.control.holder === page.user);
  Object.assign(page, { session: null, station: null, password: '', connected: false, reason: '', role: null });
  say($('broker-state'), '');
  render();
  showLogin(message);
}

$('login').addEventListener('submit', (event) => {
  event.preventDefault();
  page.user = $('user').value.trim();
  page.password = $('password').value;
  page.url = $('broker').value.trim() || defaultBrokerUrl(window.location);
  const station = $('station').value.trim();
  if (/[/+#]/.test(page.user)) {
    say($('login-error'), `The broker user name "${page.user}" cannot key: keys go to a topic named after it, where '/', '+' and '#' are not plain characters.`);
    return;
  }
  if (station !== '' && !validStationName(station)) {
    say($('login-error'), 'A station name has letters, digits, - and _ only.');
    return;
  }
  stored.setItem('vorlinq.user', page.user);
  stored.setItem('vorlinq.broker', $('broker').value.trim());
  say($('login-error'), '');
  const host = passwordInClear(page.url) ? new URL(page.url).host : '';
  say($('clear-warning'), host ? `The password went to ${host} unencrypted (ws://): anyone on the way can read it. Use wss://.` : '');
  $('login').hidden = true;
  $('panel').hidden = false;
  $('panel').focus();
  page.stations.clear();
  renderStations();
  if (station) openStation(station);
  else openSession(null);
});

$('station-choice').addEventListener('change', () => openStation($('station-choice').value));
$('release').addEventListener('click', () => sendKey('release'));
$('logout').addEventListener('click', () => logOut(''));
// A page that is left logs out, so that one restored from the browser's
// back/forward cache shows itself logged out, not a connection that is gone.
window.addEventListener('pagehide', () => {
  if (page.session) logOut('You left the page, which logged you out.');
});

$('user').value = stored.getItem('vorlinq.user') || '';
$('broker').value = stored.getItem('vorlinq.broker') || '';
$('broker').placeholder = defaultBrokerUrl(window.location);
$('station').value = params.get('station') || stored.getItem('vorlinq.station') || '';
render();
