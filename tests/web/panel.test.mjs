// The web panel in Chromium against a real broker and a station on the
// simulated amplifier: one grouped run, each step named after the fault it
// catches.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { test } from 'node:test';
import zlib from 'node:zlib';
import { Backoff } from '../../web/js/backoff.js';
import { Rig, STATION, until } from './rig.mjs';

const topic = (leaf) => `vorlinq/v1/${STATION}/${leaf}`;
const text = (page, selector) => page.$eval(selector, (element) => element.textContent);
const usableKeys = (page) => page.$$eval('.key, .latch', (buttons) => buttons.filter((b) => !b.disabled).length);
const litLamps = (page) => page.$$eval('.lamp.lit', (lamps) => lamps.length);
const pictures = (page) => page.evaluate(() => window.pictureTimes.length);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A real, black PNG of any size.
function png(width, height) {
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type), data]);
    const frame = Buffer.alloc(body.length + 8);
    frame.writeUInt32BE(data.length);
    body.copy(frame, 4);
    frame.writeUInt32BE(zlib.crc32(body), body.length + 4);
    return frame;
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width);
  header.writeUInt32BE(height, 4);
  header.set([8, 2], 8); // 8 bits, RGB
  const rows = zlib.deflateSync(Buffer.alloc((width * 3 + 1) * height));
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header), chunk('IDAT', rows), chunk('IEND', Buffer.alloc(0))]);
}

test('web panel against a station through the broker', { timeout: 150000 }, async (t) => {
  const rig = await Rig.start();
  t.after(() => rig.stop());

  // The station's own account sees everything, the operators' keys included.
  const observer = await rig.client('station');
  const seen = { keys: [] };
  observer.on('message', (name, payload) => {
    if (name === topic('frame')) seen.frame = { payload, at: Date.now() };
    else if (name === topic('png')) seen.png = payload;
    else if (name === topic('text')) seen.text = payload.toString();
    else if (name.startsWith(topic('key/'))) seen.keys.push(`${name.split('/').pop()}:${payload}`);
  });
  await observer.subscribeAsync([topic('frame'), topic('png'), topic('text'), topic('key/+')]);
  await until('the station on-line', () => rig.stationRunning() && seen.frame && seen.text, 20000);

  const alice = await rig.openPage('alice');
  await until('the first picture', () => alice.evaluate(() => window.pictureTimes.length > 0));

  await t.test('picture differs from the desktop still image of the same frame', async () => {
    await until('a settled screen', () => Date.now() - seen.frame.at > 500);
    const bmp = execFileSync(process.env.VORLINQ_STILL_IMAGE, { input: seen.frame.payload });
    const shown = await alice.$eval('#picture', (canvas) => Array.from(canvas.getContext('2d').getImageData(0, 0, 244, 68).data));
    let differing = 0;
    for (let y = 0; y < 68; ++y) {
      for (let x = 0; x < 244; ++x) {
        const b = 54 + (67 - y) * 732 + x * 3;
        const c = (y * 244 + x) * 4;
        if (shown[c] !== bmp[b + 2] || shown[c + 1] !== bmp[b + 1] || shown[c + 2] !== bmp[b]) ++differing;
      }
    }
    assert.equal(differing, 0, 'pixels of the page picture that differ from the still image');
    assert.equal(await alice.$eval('#picture', (canvas) => getComputedStyle(canvas).imageRendering), 'pixelated');
  });

  await t.test('INPUT on the page does not reach the amplifier as key code 1, nor the live region', async () => {
    assert.match(seen.text.split('\n')[1], /^IN 1 /);
    await alice.click('.key-input');
    await until('key 1 from alice', () => seen.keys.includes('alice:1'));
    // Only key code 1 switches the simulated amplifier to its other input.
    const changed = await until('the amplifier on input 2', () => /^IN 2 /.test(seen.text.split('\n')[1]) && seen.text.split('\n')[1]);
    await until('the changed line announced', async () => (await text(alice, '#display-changes')) === changed);
    await until('the token shown to its holder', async () => (await text(alice, '#control')) === 'control: you');
  });

  await t.test('a watcher gets usable keys or sends a key', async () => {
    const wendy = await rig.openPage('wendy');
    await until('the watcher told', async () => (await text(wendy, '#role')) === 'This account may only watch.');
    assert.equal(await text(wendy, '#control'), 'control: alice');
    assert.equal(await usableKeys(wendy), 0);
    const publishes = wendy.traffic.sentPublishes; // the account check at login is one
    await wendy.click('.key-input');
    await wendy.keyboard.press('i');
    await wendy.click('.latch');
    await new Promise((resolve) => setTimeout(resolve, 300));
    assert.equal(wendy.traffic.sentPublishes, publishes);
    assert.deepEqual(seen.keys, ['alice:1']);
  });

  await t.test('an account that may key as anyone goes unnoticed', async () => {
    const mallory = await rig.openPage('mallory');
    const warning = 'The broker has no ACL for key topics: anyone can key as anyone.';
    await until('the warning', async () => (await text(mallory, '#acl-warning')) === warning);
    assert.equal(await alice.$eval('#acl-warning', (element) => element.hidden), true);
    await mallory.browserContext().close();
  });

  await t.test('a picture of the wrong size is decoded and shown', async () => {
    const before = await pictures(alice);
    await observer.publishAsync(topic('png'), png(488, 136));
    await observer.publishAsync(topic('png'), seen.png); // the station's own, to know the first was handled
    await until('the station picture again', async () => (await pictures(alice)) > before);
    await sleep(300);
    assert.equal(await pictures(alice), before + 1);
  });

  // alice again, through a relay, with the station's silence shown after 4 s.
  const relay = await rig.relay();
  const far = await rig.openPage('alice', { broker: relay.url, query: '?heard-within-ms=4000' });
  await until('keys usable through the relay', async () => (await usableKeys(far)) > 0 && (await litLamps(far)) > 0);

  await t.test('a key whose acknowledgement was lost is sent again on the next connection, and a cut one reads on-line', async () => {
    const before = seen.keys.length;
    relay.answers = false;
    await far.click('.key-lPlus');
    await until('the key at the station', () => seen.keys.length > before);
    Object.assign(relay, { open: false, answers: true });
    relay.cut();
    await until('the off-line look at once', async () => (await far.$eval('#panel', (panel) => panel.dataset.current)) === 'false', 1000);
    assert.match(await text(far, '#station-state'), /^off-line: /);
    assert.equal(await litLamps(far), 0);
    assert.equal(await usableKeys(far), 0);
    assert.match(await text(far, '#notice'), /^The key may not have reached the station: /);
    relay.open = true;
    await until('on-line again', async () => (await text(far, '#station-state')) === 'on-line');
    await sleep(500);
    // The cut connection's last will gives the token back: that release is the broker's.
    assert.deepEqual(seen.keys.slice(before).filter((key) => key !== 'alice:release'), ['alice:6']);
  });

  await t.test('a station that stopped beating still reads as on-line and takes keys', async () => {
    rig.freezeStation(true);
    try {
      const first = await until('station not heard', async () => /^off-line: station not heard for (\d+) s$/.exec(await text(far, '#station-state')), 7000);
      assert.equal(await usableKeys(far), 0);
      assert.equal(await litLamps(far), 0);
      await until('the seconds counting up', async () => (await text(far, '#station-state')) === `off-line: station not heard for ${Number(first[1]) + 1} s`, 2000);
    } finally {
      rig.freezeStation(false);
    }
    await until('heard again', async () => (await text(far, '#station-state')) === 'on-line');
  });

  await t.test('a killed station does not read as station gone', async () => {
    rig.killStation();
    await until('station gone', async () => (await text(alice, '#station-state')) === 'station gone');
    assert.equal(await usableKeys(alice), 0);
    assert.deepEqual(alice.errors, []);
  });
});

test('a broker that accepts and drops is retried every 250 ms, all pages in step', () => {
  const pauses = (random) => {
    const backoff = new Backoff({ random });
    return [backoff.next(0), backoff.next(0), backoff.next(9000), backoff.next(9000), backoff.next(10000)];
  };
  assert.deepEqual(pauses(() => 0.5), [250, 500, 1000, 2000, 250]);
  assert.deepEqual(pauses(() => 0).slice(0, 2), [188, 375]);
  assert.deepEqual(pauses(() => 1).slice(0, 2), [313, 625]);
});
