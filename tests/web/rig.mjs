// The web panel's rig: a real mosquitto on free loopback ports (plain MQTT for
// the station, WebSockets serving the page), with a password and ACL file for
// a station, an operator (alice), a watcher (wendy) and an account whose rights
// reach every topic (mallory, as a broker without an ACL would treat anyone);
// a station on the simulated amplifier; headless Chromium with the page logged
// in, directly or through a TCP relay that can lose the broker's answers and
// cut the connection. Every wait is bounded; stop() ends every process the rig
// started.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import mqtt from 'mqtt';
import puppeteer from 'puppeteer-core';

export const STATION = 'shack';
export const PASSWORDS = { station: 'station-secret', alice: 'alice-secret', wendy: 'wendy-secret', mallory: 'mallory-secret' };

const env = (name) => {
  if (!process.env[name]) throw new Error(`${name} is not set (ctest sets it)`);
  return process.env[name];
};

export const now = () => performance.timeOrigin + performance.now();

export async function until(what, check, timeoutMs = 10000) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 25));
  }
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function waitForPort(port, timeoutMs) {
  return until(`port ${port}`, () =>
    new Promise((resolve) => {
      const socket = net.connect(port, '127.0.0.1', () => {
        socket.end();
        resolve(true);
      });
      socket.on('error', () => resolve(false));
    }), timeoutMs);
}

export class Rig {
  static async start() {
    const rig = new Rig();
    try {
      await rig.startBroker();
      await rig.startStation();
    } catch (error) {
      await rig.stop();
      throw new Error(`${error.message}\n${rig.processes.map((child) => child.errors).join('\n')}`);
    }
    return rig;
  }

  constructor() {
    this.dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vorlinq-web-'));
    this.processes = [];
    this.clients = [];
    this.relays = [];
    this.browser = null;
  }

  file(name, text, mode = 0o600) {
    const file = path.join(this.dir, name);
    fs.writeFileSync(file, text, { mode });
    return file;
  }

  // The child ends with the test even when the test is killed.
  spawn(command, args) {
    const child = spawn('setpriv', ['--pdeathsig', 'SIGKILL', command, ...args], { stdio: ['ignore', 'ignore', 'pipe'], env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' } });
    child.errors = '';
    child.stderr.on('data', (chunk) => (child.errors += chunk));
    this.processes.push(child);
    return child;
  }

  async startBroker() {
    const passwords = this.file('passwords', '');
    for (const [user, password] of Object.entries(PASSWORDS)) execFileSync('mosquitto_passwd', ['-b', passwords, user, password]);
    const own = (leaf) => `vorlinq/v1/${STATION}/${leaf}`;
    const acl = this.file('acl', [
      'user station', ...['state', 'control'].map((leaf) => `topic readwrite ${own(leaf)}`),
      ...['frame', 'text', 'lamps', 'png', 'notice/+'].map((leaf) => `topic write ${own(leaf)}`), `topic read ${own('key/+')}`,
      'user alice', 'topic write vorlinq/v1/+/key/alice',
      'user mallory', 'topic readwrite vorlinq/v1/#',
      ...['state', 'frame', 'text', 'lamps', 'png', 'control', 'notice/%u'].map((leaf) => `pattern read vorlinq/v1/+/${leaf}`),
    ].join('\n') + '\n');
    this.mqttPort = await freePort();
    this.wsPort = await freePort();
    // mosquitto 2.0.11 binds a WebSocket listener to every interface whatever
    // address it is given; the tests only ever connect to 127.0.0.1. Started
    // by root, it keeps the test's own user instead of dropping to its own,
    // who could read neither these files nor the build tree.
    const config = this.file('mosquitto.conf', [
      `user ${os.userInfo().username}`, 'per_listener_settings false', 'allow_anonymous false', `password_file ${passwords}`, `acl_file ${acl}`,
      'persistence false', `listener ${this.mqttPort} 127.0.0.1`,
      `listener ${this.wsPort} 127.0.0.1`, 'protocol websockets', `http_dir ${env('VORLINQ_WEB_DIR')}`,
    ].join('\n') + '\n');
    this.broker = this.spawn('mosquitto', ['-c', config]);
    await waitForPort(this.mqttPort, 10000);
    await waitForPort(this.wsPort, 10000);
    this.pageUrl = `http://127.0.0.1:${this.wsPort}/index.html`;
  }

  async startStation() {
    const passwordFile = this.file('station-password', `${PASSWORDS.station}\n`);
    this.station = this.spawn(env('VORLINQ'), [
      `--station=${STATION}`, `--broker=mqtt://127.0.0.1:${this.mqttPort}`, '--broker-user=station',
      `--broker-password-file=${passwordFile}`, '--simulator',
    ]);
  }

  // Throws with the station's complaints once it has ended by itself.
  stationRunning() {
    if (this.station.exitCode !== null) throw new Error(`the station ended: ${this.station.errors}`);
    return true;
  }

  killStation() {
    this.station.kill('SIGKILL');
  }

  // Stops the station's process without ending its broker connection, and
  // lets it go on.
  freezeStation(frozen) {
    this.station.kill(frozen ? 'SIGSTOP' : 'SIGCONT');
  }

  // A relay in front of the WebSocket listener, for pages to connect through.
  async relay() {
    const relay = new Relay(this.wsPort);
    await relay.listen();
    this.relays.push(relay);
    return relay;
  }

  // A plain MQTT 5 client on the broker, for watching what the station and
  // the pages publish.
  async client(user) {
    const client = await mqtt.connectAsync(`mqtt://127.0.0.1:${this.mqttPort}`, {
      protocolVersion: 5, username: user, password: PASSWORDS[user], reconnectPeriod: 0, connectTimeout: 5000,
    });
    this.clients.push(client);
    return client;
  }

  async launchBrowser() {
    this.browser = await puppeteer.launch({
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      userDataDir: fs.mkdtempSync(path.join(this.dir, 'chromium-')),
      args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
        '--disable-sync', '--no-first-run', '--disable-dev-shm-usage'],
      pipe: true, // Chromium ends when the test does: its end of the pipe closes
      protocolTimeout: 20000,
    });
  }

  // A page logged in as `user`, in a browser context of its own, on the broker
  // URL `broker` (default: its own) with the page parameters `query`, `init`
  // run in it before its own script. The page
  // keeps the times at which it showed each picture, and `traffic` counts the
  // bytes of the WebSocket frames.
  async openPage(user, { broker = '', query = '', init = null, viewport = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true } } = {}) {
    if (!this.browser) await this.launchBrowser();
    const context = await this.browser.createBrowserContext(); // a browser of its own: no shared storage
    const page = await context.newPage();
    await page.setViewport(viewport);
    page.errors = [];
    page.on('pageerror', (error) => page.errors.push(error.message));
    await page.evaluateOnNewDocument(() => {
      window.pictureTimes = [];
      document.addEventListener('picture', () => window.pictureTimes.push(performance.timeOrigin + performance.now()), true);
    });
    if (init) await page.evaluateOnNewDocument(init);
    const traffic = { received: 0, sentPublishes: 0 };
    const cdp = await page.createCDPSession();
    await cdp.send('Network.enable');
    cdp.on('Network.webSocketFrameReceived', ({ response }) => {
      traffic.received += response.opcode === 2 ? Buffer.from(response.payloadData, 'base64').length : Buffer.byteLength(response.payloadData);
    });
    cdp.on('Network.webSocketFrameSent', ({ response }) => {
      const first = response.opcode === 2 ? Buffer.from(response.payloadData, 'base64')[0] : 0;
      if (first >> 4 === 3) traffic.sentPublishes += 1;
    });
    page.traffic = traffic;
    await page.goto(`${this.pageUrl}${query}`, { waitUntil: 'domcontentloaded' });
    await page.$eval('#broker', (input, url) => (input.value = url), broker);
    await page.type('#user', user);
    await page.type('#password', PASSWORDS[user]);
    await page.click('#login button[type=submit]');
    return page;
  }

  async stop() {
    for (const client of this.clients) client.end(true);
    for (const relay of this.relays) relay.close();
    if (this.browser) await this.browser.close().catch(() => {});
    for (const child of this.processes.reverse()) {
      if (child.exitCode === null && child.signalCode === null) {
        child.kill('SIGTERM');
        await until('a child to end', () => child.exitCode !== null || child.signalCode !== null, 5000).catch(() => child.kill('SIGKILL'));
      }
    }
    fs.rmSync(this.dir, { recursive: true, force: true });
  }
}

// Passes TCP connections on to a port on 127.0.0.1. While `answers` is false
// it drops what the far side sends; cut() ends every connection it carries,
// and while `open` is false it ends new ones at once.
export class Relay {
  constructor(port) {
    this.port = port;
    this.answers = true;
    this.open = true;
    this.sockets = new Set();
    this.server = net.createServer((near) => this.carry(near));
  }

  listen() {
    return new Promise((resolve) => this.server.listen(0, '127.0.0.1', () => {
      this.url = `ws://127.0.0.1:${this.server.address().port}/mqtt`;
      resolve();
    }));
  }

  carry(near) {
    if (!this.open) return near.destroy();
    const far = net.connect(this.port, '127.0.0.1');
    for (const socket of [near, far]) {
      this.sockets.add(socket);
      socket.on('error', () => {});
      socket.on('close', () => (this.sockets.delete(socket), near.destroy(), far.destroy()));
    }
    near.on('data', (chunk) => far.write(chunk));
    far.on('data', (chunk) => this.answers && near.write(chunk));
  }

  cut() {
    for (const socket of this.sockets) socket.destroy();
  }

  close() {
    this.cut();
    this.server.close();
  }
}
