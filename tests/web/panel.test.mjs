// The web panel in Chromium against a real broker and a station on the
// simulated amplifier: one grouped run, each step named after the fault it
// catches.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { test } from 'node:test';
import { Rig, STATION, until } from './rig.mjs';

const topic = (leaf) => `vorlinq/v1/${STATION}/${leaf}`;
const text = (page, selector) => page.$eval(selector, (element) => element.textContent);
const usableKeys = (page) => page.$$eval('.key, .latch', (buttons) => buttons.filter((b) => !b.disabled).length);

test('web panel against a station through the broker', { timeout: 150000 }, async (t) => {
  const rig = await Rig.start();
  t.after(() => rig.stop());

  // The station's own account sees everything, the operators' keys included.
  const observer = await rig.client('station');
  const seen = { keys: [] };
  observer.on('message', (name, payload) => {
    if (name === topic('frame')) seen.frame = { payload, at: Date.now() };
    else if (name === topic('text')) seen.text = payload.toString();
    else if (name.startsWith(topic('key/'))) seen.keys.push(`${name.split('/').pop()}:${payload}`);
  });
  await observer.subscribeAsync([topic('frame'), topic('text'), topic('key/+')]);
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

  await t.test('a killed station does not read as station gone', async () => {
    rig.killStation();
    await until('station gone', async () => (await text(alice, '#station-state')) === 'station gone');
    assert.equal(await usableKeys(alice), 0);
    assert.deepEqual(alice.errors, []);
  });
});
