// One login on the broker: MQTT 5 over WebSockets, with the user's own
// account. The page opens one session to find the stations and one per
// station it shows (a station's session carries the last will that gives the
// control token back when the page vanishes).
//
// Every broker connection is a client of its own with a clean session: when a
// connection ends, the keys it had not got acknowledged end with it (they are
// never sent again on the next one, where they would arrive late and perhaps
// twice), and the next connection keys under a new session token whose
// sequence starts again at 1.

import mqtt from 'mqtt';
import { Backoff } from './backoff.js';
import { BeatWatch } from './heartbeat.js';
import { ALL_STATES, keyTopic, noticeTopic, parseJson, probeTopic, splitTopic, stationTopic } from './topics.js';

// MQTT 5 reason codes the page tells apart.
export const NOT_AUTHORIZED = 135;
const BAD_LOGIN = 134;
const NO_SUBSCRIBERS = 16;

// A key older than this is of no use: the broker drops it unsent.
const KEY_EXPIRY_S = 2;
// The largest message the broker may hand this page (a picture is about 2 kB).
const MAX_PACKET_BYTES = 256 * 1024;

// The key topic no account is meant to publish under but its own: a broker
// that takes a key there from anybody else has no ACL on the key topics.
export const ACL_PROBE_USER = 'vorlinq-acl-probe';

const STATION_LEAVES = ['text', 'lamps', 'png', 'control'];

// The broker URL a page served by the broker itself uses: the page's own host,
// ws:// beside http:// and wss:// beside https://.
export function defaultBrokerUrl(location) {
  const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
  return location.host ? `${scheme}://${location.host}/mqtt` : '';
}

// True for a broker URL whose password would cross a network in clear: plain
// ws:// to anything but this computer.
export function passwordInClear(url) {
  let parsed;
  try {
    parsed = new URL(url);
  } catch {
    return false;
  }
  if (parsed.protocol !== 'ws:') return false;
  const host = parsed.hostname.replace(/^\[|\]$/g, '');
  return !(host === 'localhost' || host === '::1' || /^127\.\d+\.\d+\.\d+$/.test(host));
}

function randomHex(length) {
  const bytes = new Uint8Array(length / 2);
  crypto.getRandomValues(bytes);
  return Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
}

// Why a key was not carried out, as far as the page can know. `kind`:
// 'refused' (the broker refused it, `code` its reason), 'undelivered' (no
// station listens), 'unsure' (no acknowledgement came: it may or may not have
// reached the station), 'unsent' (the page did not send it).
export class KeyError extends Error {
  constructor(kind, message, code = null) {
    super(message);
    this.kind = kind;
    this.code = code;
  }
}

// Events: 'status' {detail: {state, text}} with state one of connecting,
// connected, lost (with the `reason`), refused; 'role' {detail: 'operator' | 'watcher'};
// 'heard' (whether the station is heard changed, see silentSeconds());
// 'acl-open' (the broker took a key under another user's name);
// 'message' {detail: {station, leaf, payload}}.
export class BrokerSession extends EventTarget {
  constructor({ url, user, password, station, beatWindowMs = null }) {
    super();
    this.url = url;
    this.user = user;
    this.password = password;
    this.station = station || null;
    this.role = null;
    this.link = null; // the current connection: { client, sid, seq, pending, connectedAt }
    this.closed = false;
    this.backoff = new Backoff();
    this.retry = null;
    this.beats = new BeatWatch(() => this.emit('heard'), beatWindowMs);
    this.connect();
  }

  emit(type, detail) {
    this.dispatchEvent(new CustomEvent(type, { detail }));
  }

  emitStatus(state, text) {
    this.emit('status', { state, text });
  }

  connect() {
    this.retry = null;
    const options = {
      protocolVersion: 5,
      username: this.user,
      password: this.password,
      clientId: `vorlinq-web-${randomHex(12)}`,
      clean: true,
      keepalive: 30,
      reconnectPeriod: 0, // each attempt is a client of its own, see above
      connectTimeout: 10000,
      properties: { maximumPacketSize: MAX_PACKET_BYTES },
    };
    if (this.station) {
      options.will = { topic: keyTopic(this.station, this.user), payload: 'release', qos: 1, retain: false };
    }
    this.emitStatus('connecting', `connecting to ${this.url}`);
    const link = { client: mqtt.connect(this.url, options), sid: randomHex(16), seq: 0, pending: new Set(), connectedAt: null, reason: '' };
    this.link = link;
    const current = (handler) => (...args) => {
      if (this.link === link && !this.closed) handler(...args);
    };
    link.client.on('connect', current(() => this.onConnect(link)));
    link.client.on('close', current(() => this.onClose(link)));
    link.client.on('error', current((error) => this.onError(link, error)));
    link.client.on('disconnect', current((packet) => {
      link.reason = (packet.properties && packet.properties.reasonString) || `the broker closed the connection (reason ${packet.reasonCode})`;
    }));
    link.client.on('message', current((topic, payload, packet) => this.onMessage(topic, payload, packet)));
  }

  onConnect(link) {
    link.connectedAt = performance.now();
    this.emitStatus('connected', 'connected to the broker');
    const topics = [ALL_STATES];
    if (this.station) {
      topics.push(...STATION_LEAVES.map((leaf) => stationTopic(this.station, leaf)));
      topics.push(noticeTopic(this.station, this.user));
      this.beats.start(link.connectedAt);
    }
    link.client.subscribe(topics, { qos: 1 });
    if (this.station) {
      this.probeRole(link);
      this.probeAcl(link);
    }
  }

  // The connection ended (or never came up): the keys it carried end with it,
  // and the next attempt follows after the back-off's pause.
  onClose(link) {
    const held = link.connectedAt === null ? 0 : performance.now() - link.connectedAt;
    this.link = null;
    this.beats.stop();
    this.endLink(link, 'the broker connection ended before the key was acknowledged');
    const pause = this.backoff.next(held);
    const reason = link.reason || (link.connectedAt === null ? 'the broker cannot be reached' : 'broker connection lost');
    this.reason = reason;
    this.emit('status', { state: 'lost', reason, text: `${reason}, trying again in ${Math.max(1, Math.round(pause / 1000))} s` });
    this.retry = setTimeout(() => this.connect(), pause);
  }

  endLink(link, why) {
    for (const settle of link.pending) settle(new KeyError('unsure', why));
    link.pending.clear();
    link.client.end(true);
  }

  onError(link, error) {
    if (error.code === BAD_LOGIN || error.code === NOT_AUTHORIZED) {
      this.close(false);
      this.emitStatus('refused', 'the broker refused the user name or password');
    } else if (error.message) {
      link.reason = `broker: ${error.message}`;
    }
  }

  onMessage(topic, payload, packet) {
    const where = splitTopic(topic);
    if (!where) return;
    if (where.station === this.station && where.leaf === 'state') {
      // A retained copy comes with the retain flag; one published now without.
      this.beats.state(parseJson(payload), !packet.retain);
    }
    this.emit('message', { ...where, payload });
  }

  // Whole seconds the station has not been heard for, or null while it is
  // (and while there is no connection to hear it on).
  silentSeconds() {
    return this.beats.silentSeconds();
  }

  // The broker's ACL decides who may key: an empty message on a key topic of
  // this account, under a name that is no station's, is refused for a watcher.
  probeRole(link) {
    link.client.publish(probeTopic(this.user), '', { qos: 1 }, (error) => {
      if (this.link !== link || (error && error.code === undefined)) return;
      this.role = error && error.code === NOT_AUTHORIZED ? 'watcher' : 'operator';
      this.emit('role', this.role);
    });
  }

  // A harmless key (release) under a name that is not this account's: a broker
  // that takes it lets anyone key as anyone.
  probeAcl(link) {
    if (this.user === ACL_PROBE_USER) return;
    const options = { qos: 1, properties: { messageExpiryInterval: KEY_EXPIRY_S } };
    link.client.publish(keyTopic(this.station, ACL_PROBE_USER), 'release', options, (error, packet) => {
      const taken = !error && (!packet || !packet.reasonCode || packet.reasonCode < 0x80);
      if (this.link === link && taken) this.emit('acl-open');
    });
  }

  // Publishes a key message ("1", "on", "release", ...) on this account's key
  // topic, marked with this connection's session token and sequence number and
  // with how long ago the station was last heard. Resolves once the broker
  // handed it to the station; rejects with a KeyError.
  sendKey(payload) {
    const link = this.link;
    if (!link || link.connectedAt === null) {
      return Promise.reject(new KeyError('unsent', this.reason || 'not connected to the broker'));
    }
    const silent = this.silentSeconds();
    if (silent !== null) return Promise.reject(new KeyError('unsent', `station not heard for ${silent} s`));
    const options = this.keyOptions(link);
    return new Promise((resolve, reject) => {
      let done = false;
      const settle = (error) => {
        if (done) return;
        done = true;
        link.pending.delete(settle);
        clearTimeout(timer);
        if (error) reject(error);
        else resolve();
      };
      // After its expiry a key is no use, whatever becomes of it.
      const timer = setTimeout(
        () => settle(new KeyError('unsure', 'the broker has not acknowledged it in time')),
        KEY_EXPIRY_S * 1000,
      );
      link.pending.add(settle);
      link.client.publish(keyTopic(this.station, this.user), payload, options, (error, packet) => {
        if (!error && packet && packet.reasonCode === NO_SUBSCRIBERS) {
          settle(new KeyError('undelivered', 'no station listens', NO_SUBSCRIBERS));
        } else if (!error) {
          settle(null);
        } else if (error.code !== undefined) {
          if (error.code === NOT_AUTHORIZED && this.role !== 'watcher') {
            this.role = 'watcher';
            this.emit('role', this.role);
          }
          settle(new KeyError('refused', error.message.replace(/^Publish error: /, ''), error.code));
        } // otherwise the connection ended: onClose settles it
      });
    });
  }

  // A key's publish options on `link`: QoS 1, the expiry, and the marks the
  // station tells resent and late keys by.
  keyOptions(link) {
    link.seq += 1;
    const userProperties = { sid: link.sid, seq: String(link.seq) };
    if (this.beats.beat !== null) {
      userProperties.beat = String(this.beats.beat);
      userProperties.age = String(Math.round(performance.now() - this.beats.heardAt));
    }
    return { qos: 1, properties: { messageExpiryInterval: KEY_EXPIRY_S, userProperties } };
  }

  // Leaves the broker. With `release`, a page that holds the control token
  // gives it back first (closing on purpose sends no last will).
  close(release) {
    if (this.closed) return;
    this.closed = true;
    clearTimeout(this.retry);
    this.password = '';
    const link = this.link;
    this.link = null;
    if (link) {
      const end = () => this.endLink(link, 'the page logged out');
      if (release && this.station && link.client.connected && this.role === 'operator') {
        link.client.publish(keyTopic(this.station, this.user), 'release', this.keyOptions(link), end);
        setTimeout(end, KEY_EXPIRY_S * 1000); // no answer: leave all the same
      } else {
        end();
      }
    }
    this.beats.stop();
  }
}
