// The web panel: log in to the broker, pick a station, show its display,
// lamps, state and control token, and key it with the same rules as the
// desktop viewer.

import { BrokerSession, NOT_AUTHORIZED, defaultBrokerUrl } from './broker.js';
import { DisplayPicture, DisplayText } from './display.js';
import { Keypad } from './keypad.js';
import { LampRow } from './lamps.js';
import { describeControl, describeState } from './status.js';
import { parseJson, validStationName } from './topics.js';

const $ = (id) => document.getElementById(id);
const stored = window.localStorage;

const page = {
  session: null,
  user: '',
  password: '',
  url: '',
  station: null,
  connected: false,
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

function sendKey(payload) {
  say($('notice'), '');
  page.session.sendKey(payload).catch((error) => {
    say(
      $('notice'),
      error.code === NOT_AUTHORIZED
        ? 'This account may only watch: the broker refused the key.'
        : `The broker did not take the key: ${error.message}`,
    );
  });
}

function render() {
  const state = describeState(page.state);
  say($('station-state'), page.station ? state.text : 'looking for stations');
  $('station-state').dataset.state = page.state ? page.state.state : 'none';
  $('panel').dataset.current = String(state.current);
  $('panel').dataset.blank = String(state.blank);
  lamps.setCurrent(state.current);
  const holder = page.control ? page.control.holder : null;
  say($('control'), page.station ? describeControl(page.control, page.user) : '');
  let role = '';
  if (page.role === 'watcher') role = 'This account may only watch.';
  else if (page.role === null && page.connected && page.station) role = 'Checking what this account may do.';
  else if (holder && holder !== page.user) role = `${holder} holds control: the keys are theirs.`;
  say($('role'), role);
  $('release').hidden = !(page.connected && holder === page.user);
  const usable =
    page.connected && page.role === 'operator' && state.keyable && (holder === null || holder === undefined || holder === page.user);
  keypad.setEnabled(usable);
}

function renderStations() {
  const choice = $('station-choice');
  const names = [...page.stations].sort();
  choice.replaceChildren(...names.map((name) => new Option(name, name, false, name === page.station)));
  $('station-picker').hidden = names.length < 2;
}

function onMessage({ station, leaf, payload }) {
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
  Object.assign(page, { station, connected: false, role: null, state: null, control: null });
  text.reset();
  const session = new BrokerSession({ url: page.url, user: page.user, password: page.password, station });
  page.session = session;
  session.addEventListener('status', ({ detail }) => {
    if (page.session !== session) return;
    page.connected = detail.state === 'connected';
    say($('broker-state'), page.connected ? '' : detail.text);
    if (detail.state === 'refused') showLogin(detail.text);
    render();
  });
  session.addEventListener('role', ({ detail }) => {
    if (page.session !== session) return;
    page.role = detail;
    render();
  });
  session.addEventListener('message', ({ detail }) => {
    if (page.session === session) onMessage(detail);
  });
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

$('login').addEventListener('submit', (event) => {
  event.preventDefault();
  page.user = $('user').value.trim();
  page.password = $('password').value;
  page.url = $('broker').value.trim() || defaultBrokerUrl(window.location);
  const station = $('station').value.trim();
  if (station !== '' && !validStationName(station)) {
    say($('login-error'), 'A station name has letters, digits, - and _ only.');
    return;
  }
  stored.setItem('vorlinq.user', page.user);
  stored.setItem('vorlinq.broker', $('broker').value.trim());
  say($('login-error'), '');
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
$('logout').addEventListener('click', () => {
  const holder = page.control ? page.control.holder : null;
  page.session.close(holder === page.user);
  page.session = null;
  page.station = null;
  Object.assign(page, { connected: false, role: null });
  render();
  showLogin('');
});
window.addEventListener('pagehide', () => {
  if (page.session) page.session.close(page.control && page.control.holder === page.user);
});

const params = new URLSearchParams(window.location.search);
$('user').value = stored.getItem('vorlinq.user') || '';
$('broker').value = stored.getItem('vorlinq.broker') || '';
$('broker').placeholder = defaultBrokerUrl(window.location);
$('station').value = params.get('station') || stored.getItem('vorlinq.station') || '';
render();
