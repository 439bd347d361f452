// SPDX-License-Identifier: MIT
// Encode in the page downloads the bytes pixolan-encode writes: for every
// test picture the browser decodes, at every depth, both resolutions, and
// with a key. Where the browser's decoder gives other pixels than ours, the
// difference is measured in the 16-bit file's fields and bounded.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {ChooseFromMenu, DismissMessage, EncodeInPage, EncodeOnDesktop, EncodeWith, LoadThroughChooser, OpenPage,
        Picture, kPictures, Choose} from './browser.mjs';

const kRuns = [
  {depth: 8, resolution: '132x132'}, {depth: 12, resolution: '132x132'}, {depth: 16, resolution: '132x132'},
  {depth: 8, resolution: '132x176'}, {depth: 12, resolution: '132x176'}, {depth: 16, resolution: '132x176'},
  {depth: 16, resolution: '132x176', key: 'FFFF'},
];

// Where the browser's decoder gives other pixels than ours, and why. The
// bound is the largest difference of a red, green or blue field of the
// 16-bit file (5 or 6 bits); every other picture must give the same bytes.
// (JPEGs give the same bytes: Chromium decodes them with libjpeg-turbo's
// accurate IDCT and fancy upsampling, as we do; pillow_orientation_rectangle
// does too because the page clears its Exif orientation before decoding.)
const kKnownDifferences = {
  // 5-bit channels widened to 8 bits: we repeat the bits, the browser scales.
  'bmpsuite_g_rgb16.bmp': {bound: 2, why: '5-5-5 channels widened otherwise'},
  'bmpsuite_g_rgb16-565.bmp': {bound: 1, why: '5-6-5 channels widened otherwise'},
  // 16-bit samples cut to 8: we keep the high byte, the browser rounds.
  'pngsuite_basn0g16.png': {bound: 1, why: '16-bit grey rounded instead of cut'},
  // Damaged files: each decoder mends the damage its own way (what an
  // index beyond the palette or a broken run shows), so any colour may differ.
  'bmpsuite_b_badrle.bmp': {bound: 63, why: 'damaged RLE mended otherwise'},
  'bmpsuite_b_pal8badindex.bmp': {bound: 63, why: 'indices beyond the palette shown otherwise'},
  'bmpsuite_q_pal8rlecut.bmp': {bound: 63, why: 'cut RLE mended otherwise'},
};

let session;
before(async () => { session = await OpenPage(); });
after(async () => { await session.close(); });

function Tokens(bytes) { return [...bytes.toString('latin1').matchAll(/0x([0-9A-F]+)/g)].map((m) => parseInt(m[1], 16)); }

// The largest difference of a red, green or blue field between two 16-bit files.
function FieldDifference(ours, theirs) {
  const a = Tokens(ours), b = Tokens(theirs);
  assert.equal(a.length, b.length);
  let largest = 0, differing = 0;
  for (let i = 0; i < a.length; ++i) {
    if (a[i] === b[i]) continue;
    ++differing;
    largest = Math.max(largest, Math.abs((a[i] >> 11) - (b[i] >> 11)), Math.abs((a[i] >> 5 & 63) - (b[i] >> 5 & 63)),
                       Math.abs((a[i] & 31) - (b[i] & 31)));
  }
  return {largest, differing, samples: a.length};
}

function DesktopReads(file) {
  try {
    EncodeOnDesktop(file, {});
    return true;
  } catch {
    return false;
  }
}

test('the built-in picture encodes to the same bytes', async () => {
  for (const run of kRuns) {
    await Choose(session.page, run);
    const {bytes} = await EncodeInPage(session.page, session.downloads);
    assert.ok(bytes.equals(EncodeOnDesktop(null, run)), JSON.stringify(run));
  }
});

test('every picture the browser reads encodes to the bytes pixolan-encode writes', async (t) => {
  const read = [], refused = [];
  for (const name of fs.readdirSync(kPictures).filter((n) => !n.endsWith('.md') && !n.endsWith('.tsv')).sort()) {
    const file = Picture(name);
    const message = await LoadThroughChooser(session.page, file);
    if (message !== null) {
      await DismissMessage(session.page);
      refused.push(name);
      continue;
    }
    if (!DesktopReads(file)) {
      t.diagnostic(`${name}: the browser reads it, pixolan-encode refuses it`);
      continue;
    }
    read.push(name);
    for (const run of kRuns) {
      await Choose(session.page, run);
      const {bytes} = await EncodeInPage(session.page, session.downloads);
      const desktop = EncodeOnDesktop(file, run);
      if (bytes.equals(desktop)) continue;
      const known = kKnownDifferences[name];
      assert.ok(known, `${name} ${JSON.stringify(run)}: the page's image.h differs from pixolan-encode's`);
      if (run.depth !== 16 || run.key) continue;
      const d = FieldDifference(bytes, desktop);
      t.diagnostic(`${name} ${run.resolution}: ${known.why}: ${d.differing} of ${d.samples} samples differ, ` +
                   `by at most ${d.largest} levels in a field`);
      assert.ok(d.largest <= known.bound, `${name}: ${d.largest} levels off, more than ${known.bound}`);
    }
  }
  t.diagnostic(`read by the browser: ${read.length}; not: ${refused.join(' ')}`);
  assert.ok(read.length >= 30, `only ${read.length} pictures read`);
});

// A JPEG made by the browser: a gradient with sharp-edged discs on it.
async function MadeJpeg(width, height) {
  const data = await session.page.evaluate(async (width, height) => {
    const canvas = new OffscreenCanvas(width, height);
    const ctx = canvas.getContext('2d');
    const gradient = ctx.createRadialGradient(width / 3, height / 3, 10, width / 2, height / 2, width / 1.5);
    gradient.addColorStop(0, '#ffe080');
    gradient.addColorStop(0.5, '#c03050');
    gradient.addColorStop(1, '#102060');
    ctx.fillStyle = gradient;
    ctx.fillRect(0, 0, width, height);
    for (let i = 0; i < 60; ++i) {
      ctx.fillStyle = `hsl(${i * 37 % 360},70%,${30 + i % 50}%)`;
      ctx.beginPath();
      ctx.arc(i * 53 * width / 900 % width, i * 97 * height / 700 % height, width / 30, 0, 7);
      ctx.fill();
    }
    const bytes = new Uint8Array(await (await canvas.convertToBlob({type: 'image/jpeg', quality: 0.9})).arrayBuffer());
    let text = '';
    for (const byte of bytes) text += String.fromCharCode(byte);
    return btoa(text);
  }, width, height);
  const file = path.join(os.tmpdir(), `pixolan-made-${width}x${height}.jpg`);
  fs.writeFileSync(file, Buffer.from(data, 'base64'));
  return file;
}

test('a JPEG that Fit shrinks to well under half differs a bounded amount: pixolan-encode decodes it at a ' +
     'smaller scale', async (t) => {
  await ChooseFromMenu(session.page, 'Picture Size', 'Fit');
  for (const [width, height, bound] of [[400, 300, 6], [900, 700, 16]]) {
    const file = await MadeJpeg(width, height);
    assert.equal(await LoadThroughChooser(session.page, file), null);
    await Choose(session.page, {depth: 16});
    const {bytes} = await EncodeInPage(session.page, session.downloads);
    const d = FieldDifference(bytes, EncodeWith([file], ['--fit', '--depth', '16']));
    t.diagnostic(`${width} x ${height}: ${d.differing} of ${d.samples} samples differ, by at most ${d.largest} levels`);
    assert.ok(d.differing > 0 && d.largest <= bound, `${d.largest} levels off, more than ${bound}`);
  }
});
