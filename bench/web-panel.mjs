// Figures of the web panel on loopback, with the browser tests' rig (real
// mosquitto, a station on the simulated amplifier, headless Chromium):
//   - page load to the first picture;
//   - station frame to picture shown in the browser, mean and 99th percentile,
//     from the moment the frame message reaches a plain MQTT client on the
//     broker to the moment the page has drawn the picture, split at the
//     picture message's arrival in the page (before it: the station drawing
//     and publishing the picture, the broker and the browser's network; after
//     it: the page checking, decoding and drawing it), with one page and with
//     ten, each page in a browser context (and renderer process) of its own;
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
const figures = (values) => `mean ${ms(mean(values))}, p99 ${ms(percentile(values, 99))}, max ${ms(Math.max(...values))}`;

// Notes when each picture message reaches the page (the page's WebSocket hands
// its messages to this listener before the MQTT client's own), and each
// picture drawn with its number: the n-th picture the page decodes is the
// n-th picture message it received.
function notePictureArrivals() {
  window.pngTimes = [];
  window.drawn = [];
  document.addEventListener('picture', ({ detail }) => window.drawn.push([performance.timeOrigin + performance.now(), detail]), true);
  const isPng = (bytes) => bytes.some((b, i) => b === 0x89 && bytes[i + 1] === 0x50 && bytes[i + 2] === 0x4e && bytes[i + 3] === 0x47);
  const Native = window.WebSocket;
  window.WebSocket = class extends Native {
    constructor(...args) {
      super(...args);
      this.addEventListener('message', ({ data }) => {
        if (data instanceof ArrayBuffer && isPng(new Uint8Array(data))) window.pngTimes.push(performance.timeOrigin + performance.now());
      });
    }
  };
}

// A watcher's page in a browser context of its own, once it shows a picture.
async function openWatcher(rig) {
  const page = await rig.openPage('wendy', { init: notePictureArrivals });
  await until('the first picture', () => page.evaluate(() => window.pictureTimes.length > 0), 30000);
  return page;
}

const rig = await Rig.start();
try {
  const observer = await rig.client('station');
  const frames = [];
  const pngs = []; // for each picture message: when it and its frame reached the observer
  observer.on('message', (name) => (name === topic('frame') ? frames.push(now()) : pngs.push({ at: now(), frame: frames.at(-1) })));
  await observer.subscribeAsync([topic('frame'), topic('png')]);
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
  const page = await openWatcher(rig);
  await sleep(1000);

  let start = page.traffic.received;
  await sleep(STILL_MS);
  console.log(`still screen: ${((page.traffic.received - start) / (STILL_MS / 1000)).toFixed(1)} bytes/s per page`);

  // A changing screen: an operator steps L up and down ten times a second.
  const operator = await rig.client('alice');
  const changing = async (pages) => {
    const state = () => pages.map((p) => p.evaluate(() => [window.pngTimes.length, window.drawn.length ? window.drawn.at(-1)[1] : 0]));
    const marks = await Promise.all(state());
    const firstFrame = frames.length;
    const firstPng = pngs.length;
    const began = now();
    const bytesBefore = page.traffic.received;
    for (let i = 0; i < CHANGES; ++i) {
      await operator.publishAsync(topic('key/alice'), i % 2 === 0 ? '6' : '5', { qos: 1 });
      await sleep(CHANGE_EVERY_MS);
    }
    const seconds = (now() - began) / 1000;
    await sleep(1000);
    const published = pngs.slice(firstPng);
    const result = { ages: [], transit: [], drawing: [], shown: 0, lost: 0, frames: frames.length - firstFrame, pictures: published.length, rate: (page.traffic.received - bytesBefore) / seconds };
    for (const [i, p] of pages.entries()) {
      const [arrivals, drawn] = await p.evaluate(() => [window.pngTimes, window.drawn]);
      const [firstArrival, firstDrawn] = marks[i];
      const arrived = arrivals.slice(firstArrival);
      result.lost += published.length - arrived.length;
      arrived.forEach((at, j) => j < published.length && result.transit.push(at - published[j].frame));
      for (const [at, number] of drawn.filter(([, n]) => n > firstDrawn)) {
        const j = number - firstDrawn - 1;
        if (j >= published.length || j >= arrived.length) continue;
        result.shown += 1;
        result.ages.push(at - published[j].frame);
        result.drawing.push(at - arrived[j]);
      }
    }
    return result;
  };
  const report = (count, result) => {
    console.log(`${count} page(s): ${result.frames} frames, ${result.pictures} pictures published, ${result.shown} shown, ${result.lost} not received`);
    console.log(`  frame to picture: ${figures(result.ages)}`);
    console.log(`    frame to picture message in the page: ${figures(result.transit)}`);
    console.log(`    picture message to picture drawn: ${figures(result.drawing)}`);
  };

  const one = await changing([page]);
  console.log(`changing screen: ${one.rate.toFixed(0)} bytes/s per page`);
  report(1, one);
  const pages = [page];
  while (pages.length < 10) pages.push(await openWatcher(rig));
  await sleep(1000);
  report(10, await changing(pages));
} finally {
  await rig.stop();
}
