// SPDX-License-Identifier: MIT
// Measures pixolan.html in Debian's Chromium, headless: opening it to the
// frame with the built-in picture, one Encode of 132x176, placing a large
// picture, the WebAssembly memory and the file's size. Prints the
// benchmarks' section on the page, or writes it into a file in place of the
// one there (`make bench-web` writes docs/benchmarks.md):
//   PIXOLAN_PAGE=build/web/pixolan.html PIXOLAN_PICTURES=tests/data/pictures node web/bench/page_bench.mjs [--write FILE]
import fs from 'node:fs';
import os from 'node:os';
import {DismissMessage, LoadThroughChooser, OpenPage, Picture, WaitForMessage, kPage} from '../tests/browser.mjs';

const kOpenRuns = Number(process.env.RUNS || 10);
const kEncodeRuns = 30;
const kLarge = {width: 6000, height: 4000};
const kHeading = '## The browser page';

function Median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// Prose wrapped at 100 columns, as the rest of the file is.
function Wrap(text) {
  const lines = [''];
  for (const word of text.split(' ')) {
    const last = lines.length - 1;
    if (lines[last] && lines[last].length + 1 + word.length > 100) lines.push(word);
    else lines[last] += (lines[last] ? ' ' : '') + word;
  }
  return lines.join('\n');
}

const Ms = (value) => `${value.toFixed(value < 10 ? 2 : 0)} ms`;
const Mb = (bytes) => `${bytes / (1024 * 1024)} MB`;

// Opening the file to the frame with the built-in picture: the page marks
// the first animation frame after drawing it.
async function OpenToPicture() {
  const times = [];
  for (let run = 0; run < kOpenRuns; ++run) {
    const session = await OpenPage();
    times.push(await session.page.evaluate(() => new Promise((resolve) => {
      const look = () => {
        const [mark] = performance.getEntriesByName('pixolan-first-picture');
        if (mark) resolve(mark.startTime);
        else requestAnimationFrame(look);
      };
      look();
    })));
    await session.close();
  }
  return times;
}

// Encode of a 132x176 picture: the page times reading the options and the
// core's run. The download is left out: Chromium holds back a page that
// downloads many files in a row.
async function EncodeTimes(session) {
  await session.page.click('#optResolution1');
  await LoadThroughChooser(session.page, Picture('crafted_coord_132x176.bmp'));
  await session.page.evaluate(() => { HTMLAnchorElement.prototype.click = () => {}; });
  const times = [];
  for (let run = 0; run < kEncodeRuns; ++run) {
    await session.page.click('#btnEncode');
    await WaitForMessage(session.page);
    await DismissMessage(session.page);
    times.push(await session.page.evaluate(() => window.pixolanLastEncodeMs));
  }
  return times;
}

// A large photograph-like JPEG made in the page and dropped on it; then Fit,
// which places the decoded bitmap again through the core's reducer.
async function LargePicture(session) {
  return session.page.evaluate(async ({width, height}) => {
    const canvas = new OffscreenCanvas(width, height);
    const ctx = canvas.getContext('2d');
    const gradient = ctx.createLinearGradient(0, 0, width, height);
    gradient.addColorStop(0, '#001040');
    gradient.addColorStop(1, '#ff8020');
    ctx.fillStyle = gradient;
    ctx.fillRect(0, 0, width, height);
    const file = new File([await canvas.convertToBlob({type: 'image/jpeg', quality: 0.9})], 'large.jpg',
                          {type: 'image/jpeg'});
    const loaded = new Promise((resolve) => document.addEventListener('pixolan-loaded', resolve, {once: true}));
    const data = new DataTransfer();
    data.items.add(file);
    const started = performance.now();
    document.getElementById('pic').dispatchEvent(new DragEvent('drop', {dataTransfer: data, bubbles: true,
                                                                         cancelable: true}));
    await loaded;
    const load = performance.now() - started;
    const fit = document.querySelectorAll('#sizeMenu [role=menuitemradio]')[1];
    const placing = performance.now();
    ChooseMenuItem(fit);
    return {load, fit: performance.now() - placing, bytes: file.size};
  }, kLarge);
}

const WasmBytes = (session) => session.page.evaluate(() => core.HEAPU8.buffer.byteLength);

async function Measure() {
  const load = os.loadavg();
  const open = await OpenToPicture();
  const session = await OpenPage();
  try {
    const memoryAtStart = await WasmBytes(session);
    const encode = await EncodeTimes(session);
    const large = await LargePicture(session);
    const memoryAfter = await WasmBytes(session);
    const version = (await session.browser.version()).replace(/^(Headless)?Chrome\//, '');
    return {load, open, encode, large, memoryAtStart, memoryAfter, version, size: fs.statSync(kPage).size};
  } finally {
    await session.close();
  }
}

function Section(m) {
  const yes = (met) => (met ? 'yes' : '**no**');
  const openMedian = Median(m.open), encodeMedian = Median(m.encode);
  const memory = Math.max(m.memoryAtStart, m.memoryAfter);
  return [
    kHeading,
    '',
    Wrap(`Made by \`make bench-web\` (web/bench/page_bench.mjs) on ${new Date().toISOString().slice(0, 16).replace('T', ' ')} ` +
         `UTC with Debian's Chromium ${m.version}, headless, through puppeteer-core, on ${os.cpus().length} cores; ` +
         `load average ${m.load.map((l) => l.toFixed(2)).join(' ')} as the measuring began. Not part of \`make test\`.`),
    '',
    '| what | measured | target | met |',
    '|---|---|---|---|',
    `| opening \`pixolan.html\` to the frame with the built-in picture (\`performance.mark\` in the first animation ` +
        `frame after drawing), median of ${m.open.length} | ${Ms(openMedian)} (${Ms(Math.min(...m.open))}–` +
        `${Ms(Math.max(...m.open))}) | ≤ 300 ms | ${yes(openMedian <= 300)} |`,
    `| one Encode of a 132×176 picture in the page (options read, the core's run, without the download), ` +
        `median of ${m.encode.length} | ${Ms(encodeMedian)} | ≤ 5 ms | ${yes(encodeMedian <= 5)} |`,
    `| WebAssembly memory, at start and after placing a ${kLarge.width}×${kLarge.height} JPEG with Fit | ` +
        `${Mb(m.memoryAtStart)}, ${Mb(m.memoryAfter)} | ≤ 32 MB | ${yes(memory <= 32 * 1024 * 1024)} (fixed, no growth) |`,
    `| \`pixolan.html\` | ${m.size} bytes (${Math.round(m.size / 1024)} KB) | ≤ 400 KB | ${yes(m.size <= 400 * 1024)} |`,
    '',
    Wrap(`The ${kLarge.width}×${kLarge.height} JPEG (${Math.round(m.large.bytes / 1024)} KB) took ${Ms(m.large.load)} ` +
         'from the drop to the viewport showing it, most of it the browser decoding the whole picture ' +
         `(pixolan-encode reads only the region); Fit then placed it in ${Ms(m.large.fit)}, its rows handed to the ` +
         "core's reducer a band at a time."),
    '',
  ].join('\n');
}

const section = Section(await Measure());
const at = process.argv.indexOf('--write');
if (at < 0) {
  process.stdout.write(section);
} else {
  // The section replaces the one there, up to the next heading of its level, or goes at the end.
  const file = process.argv[at + 1];
  const text = fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '';
  const start = text.indexOf(kHeading);
  const next = start < 0 ? -1 : text.indexOf('\n## ', start + kHeading.length);
  const before = start < 0 ? text.replace(/\n*$/, '\n\n') : text.slice(0, start);
  fs.writeFileSync(file, before + section + (next < 0 ? '' : text.slice(next + 1)));
  process.stdout.write(section);
}
