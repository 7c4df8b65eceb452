// Figures of the web panel on loopback, with the browser tests' rig (real
// mosquitto, a station on the simulated amplifier, headless Chromium):
//   - page load to the first picture;
//   - station frame to picture shown in the browser, mean and 99th percentile,
//     from the moment the frame message reaches a plain MQTT client on the
//     broker to the moment the page has drawn the picture;
//   - WebSocket bytes per second per page on a still and on a changing screen.
// Run: cmake --build build --target web_panel_figures
import { Rig, STATION, now, until } from '../tests/web/rig.mjs';

const topic = (leaf) => `vorlinq/v1/${STATION}/${leaf}`;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const LOADS = 10;
const CHANGES = 300;
const CHANGE_EVERY_MS = 100;
const STILL_MS = 60000; // two keep-alive periods

function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.ceil((p / 100) * sorted.length) - 1)];
}
const mean = (values) => values.reduce((sum, v) => sum + v, 0) / values.length;
const ms = (value) => `${value.toFixed(1)} ms`;

const rig = await Rig.start();
try {
  const observer = await rig.client('station');
  const frames = [];
  observer.on('message', () => frames.push(now()));
  await observer.subscribeAsync(topic('frame'));
  await until('the station on-line', () => rig.stationRunning() && frames.length > 0, 20000);
  await rig.launchBrowser();

  // Page load: a fresh page each time, the login filled in as soon as the
  // document is there; from the start of navigation to the first picture.
  const loads = [];
  const logins = []; // from the login to the first picture
  for (let i = 0; i < LOADS; ++i) {
    const page = await rig.browser.newPage();
    await page.evaluateOnNewDocument(() => {
      document.addEventListener('picture', () => (window.firstPicture ??= performance.now()), true);
    });
    await page.goto(rig.pageUrl, { waitUntil: 'domcontentloaded' });
    const ready = await page.evaluate(() => {
      document.getElementById('user').value = 'wendy';
      document.getElementById('password').value = 'wendy-secret';
      document.querySelector('#login button[type=submit]').click();
      return performance.now();
    });
    const first = await until('the first picture', () => page.evaluate(() => window.firstPicture));
    loads.push(first);
    logins.push(first - ready);
    await page.close();
  }
  console.log(`page load to first picture: mean ${ms(mean(loads))}, min ${ms(Math.min(...loads))}, max ${ms(Math.max(...loads))} (${LOADS} loads); of it, login to first picture: mean ${ms(mean(logins))}`);

  // A watcher's page for the rest, so the keys below come from elsewhere.
  const page = await rig.openPage('wendy');
  await until('the first picture', () => page.evaluate(() => window.pictureTimes.length > 0));
  await sleep(1000);

  let start = page.traffic.received;
  await sleep(STILL_MS);
  console.log(`still screen: ${((page.traffic.received - start) / (STILL_MS / 1000)).toFixed(1)} bytes/s per page`);

  // A changing screen: an operator steps L up and down ten times a second.
  const operator = await rig.client('alice');
  const firstPicture = await page.evaluate(() => window.pictureTimes.length);
  const firstFrame = frames.length;
  start = page.traffic.received;
  const began = now();
  for (let i = 0; i < CHANGES; ++i) {
    await operator.publishAsync(topic('key/alice'), i % 2 === 0 ? '6' : '5', { qos: 1 });
    await sleep(CHANGE_EVERY_MS);
  }
  const seconds = (now() - began) / 1000;
  const bytes = page.traffic.received - start;
  await sleep(500);
  const pictures = (await page.evaluate(() => window.pictureTimes)).slice(firstPicture);
  const changed = frames.slice(firstFrame);
  const ages = pictures.map((shown) => shown - changed.filter((arrived) => arrived <= shown).pop()).filter((age) => age >= 0);
  console.log(`changing screen: ${(bytes / seconds).toFixed(0)} bytes/s per page, ${changed.length} frames, ${pictures.length} pictures shown`);
  console.log(`frame to picture: mean ${ms(mean(ages))}, p99 ${ms(percentile(ages, 99))}, max ${ms(Math.max(...ages))} (${ages.length} pictures)`);
} finally {
  await rig.stop();
}
