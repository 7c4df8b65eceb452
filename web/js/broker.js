// One login on the broker: MQTT 5 over WebSockets, with the user's own
// account. The page opens one session to find the stations and one per
// station it shows (a station's session carries the last will that gives the
// control token back when the page vanishes).

import mqtt from 'mqtt';
import { ALL_STATES, keyTopic, noticeTopic, probeTopic, splitTopic, stationTopic } from './topics.js';

// MQTT 5 reason codes the page tells apart.
export const NOT_AUTHORIZED = 135;
const BAD_LOGIN = 134;

const STATION_LEAVES = ['text', 'lamps', 'png', 'control'];

// The broker URL a page served by the broker itself uses: the page's own host,
// ws:// beside http:// and wss:// beside https://.
export function defaultBrokerUrl(location) {
  const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
  return location.host ? `${scheme}://${location.host}/mqtt` : '';
}

function randomId() {
  const bytes = new Uint8Array(6);
  crypto.getRandomValues(bytes);
  return Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
}

// Events: 'status' {detail: {state, text}} with state one of connecting,
// connected, lost, refused; 'role' {detail: 'operator' | 'watcher'};
// 'message' {detail: {station, leaf, payload}}.
export class BrokerSession extends EventTarget {
  constructor({ url, user, password, station }) {
    super();
    this.url = url;
    this.user = user;
    this.station = station || null;
    this.role = null;
    const options = {
      protocolVersion: 5,
      username: user,
      password,
      clientId: `vorlinq-web-${randomId()}`,
      clean: true,
      keepalive: 30,
      reconnectPeriod: 2000,
      connectTimeout: 10000,
      resubscribe: true,
    };
    if (this.station) {
      options.will = { topic: keyTopic(this.station, user), payload: 'release', qos: 1, retain: false };
    }
    this.emitStatus('connecting', `connecting to ${url}`);
    this.client = mqtt.connect(url, options);
    this.client.on('connect', () => this.onConnect());
    this.client.on('reconnect', () => this.emitStatus('connecting', `connecting to ${url}`));
    this.client.on('offline', () => this.emitStatus('lost', 'broker connection lost, reconnecting'));
    this.client.on('error', (error) => this.onError(error));
    this.client.on('message', (topic, payload) => {
      const where = splitTopic(topic);
      if (where) this.emit('message', { ...where, payload });
    });
  }

  emit(type, detail) {
    this.dispatchEvent(new CustomEvent(type, { detail }));
  }

  emitStatus(state, text) {
    this.emit('status', { state, text });
  }

  onConnect() {
    this.emitStatus('connected', 'connected to the broker');
    const topics = [ALL_STATES];
    if (this.station) {
      topics.push(...STATION_LEAVES.map((leaf) => stationTopic(this.station, leaf)));
      topics.push(noticeTopic(this.station, this.user));
    }
    this.client.subscribe(topics, { qos: 1 });
    if (this.station) this.probeRole();
  }

  // The broker's ACL decides who may key: an empty message on a key topic of
  // this account, under a name that is no station's, is refused for a watcher.
  probeRole() {
    this.client.publish(probeTopic(this.user), '', { qos: 1 }, (error) => {
      this.role = error && error.code === NOT_AUTHORIZED ? 'watcher' : 'operator';
      this.emit('role', this.role);
    });
  }

  onError(error) {
    if (error.code === BAD_LOGIN || error.code === NOT_AUTHORIZED) {
      this.client.end(true);
      this.emitStatus('refused', 'the broker refused the user name or password');
    } else {
      this.emitStatus('lost', `broker: ${error.message}`);
    }
  }

  // Publishes a key message ("1", "on", "release", ...) on this account's key
  // topic. Resolves when the broker took it; rejects with the broker's reason.
  sendKey(payload) {
    return new Promise((resolve, reject) => {
      this.client.publish(keyTopic(this.station, this.user), payload, { qos: 1 }, (error) => {
        if (!error) {
          resolve();
          return;
        }
        if (error.code === NOT_AUTHORIZED && this.role !== 'watcher') {
          this.role = 'watcher';
          this.emit('role', this.role);
        }
        reject(error);
      });
    });
  }

  // Leaves the broker. With `release`, a page that holds the control token
  // gives it back first (closing on purpose sends no last will).
  close(release) {
    if (release && this.station && this.client.connected && this.role === 'operator') {
      this.client.publish(keyTopic(this.station, this.user), 'release', { qos: 1 }, () => this.client.end());
      return;
    }
    this.client.end();
  }
}
