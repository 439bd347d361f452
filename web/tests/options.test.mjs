// SPDX-License-Identifier: MIT
// Placement, turns, dithering and the header panel's forms: chosen with the
// mouse as a user would, Encode downloads what pixolan-encode writes with
// the same options, and something other than the plain image.h.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {test} from 'node:test';
import {Choose, ChooseFromMenu, ChooseHeader, EncodeInPage, EncodeWith, LoadThroughChooser, OpenPage,
        Picture} from './browser.mjs';

// A 24-bit BMP wider than the page reads from a picture at once: each column
// has its own red and green, each row its blue.
function WideBmp() {
  const width = 4500, height = 30, row = width * 3, file = path.join(os.tmpdir(), 'pixolan-wide.bmp');
  const bmp = Buffer.alloc(54 + row * height);
  bmp.write('BM', 0);
  bmp.writeUInt32LE(bmp.length, 2);
  bmp.writeUInt32LE(54, 10);
  bmp.writeUInt32LE(40, 14);
  bmp.writeInt32LE(width, 18);
  bmp.writeInt32LE(height, 22);
  bmp.writeUInt16LE(1, 26);
  bmp.writeUInt16LE(24, 28);
  for (let y = 0; y < height; ++y)
    for (let x = 0; x < width; ++x)
      bmp.set([y * 8, (x >> 8) * 13 & 255, x & 255], 54 + (height - 1 - y) * row + x * 3);
  fs.writeFileSync(file, bmp);
  return file;
}

const kCases = [
  {what: 'Fit reads a picture wider than a canvas piece', pictures: [WideBmp()], settings: {depth: 16},
   menu: [['Picture Size', 'Fit']], args: ['--fit']},
  {what: 'Fit shrinks a picture into 132x176', pictures: ['crafted_coord_300x200.bmp'],
   settings: {depth: 16, resolution: '132x176'}, menu: [['Picture Size', 'Fit']], args: ['--fit']},
  {what: 'Fill enlarges a picture with alpha by whole pixels', pictures: ['pngsuite_basn6a08.png'],
   settings: {depth: 16}, menu: [['Picture Size', 'Fill']], args: ['--fill']},
  {what: 'Fit, then the wider resolution, places the picture into the new drawing area',
   pictures: ['crafted_coord_100x60.bmp'], menu: [['Picture Size', 'Fit']], later: {depth: 16, resolution: '132x176'},
   args: ['--fit']},
  {what: 'Rotate Right, then Flip Vertically, turn a JPEG shown pixel for pixel', pictures: ['libjpegturbo_testorig.jpg'],
   settings: {depth: 12}, menu: [['Rotate Right'], ['Flip Vertically']], args: ['--rotate', '90', '--flip', 'v']},
  {what: 'Rotate Left and Flip Horizontally before Fill', pictures: ['crafted_coord_172x128.bmp'],
   settings: {depth: 16, resolution: '132x176'}, menu: [['Rotate Left'], ['Flip Horizontally'], ['Picture Size', 'Fill']],
   args: ['--rotate', '270', '--flip', 'h', '--fill']},
  {what: 'ordered dithering', pictures: ['libjpegturbo_testorig.jpg'], settings: {depth: 8},
   menu: [['Dither', 'Ordered']], args: ['--dither', 'ordered']},
  {what: 'error diffusion of a fitted picture', pictures: ['pngsuite_basn3p08.png'], settings: {depth: 12},
   menu: [['Dither', 'Error Diffusion'], ['Picture Size', 'Fit']], args: ['--dither', 'diffusion', '--fit']},
  {what: 'rows with LF line ends', settings: {depth: 16}, header: {layout: 'rows', eol: 'lf'},
   args: ['--layout', 'rows', '--eol', 'lf']},
  {what: 'a named, guarded stdint array in PROGMEM as logo.h', header: {file: 'logo.h', name: 'logo', guard: true,
   memory: 'progmem', type: 'stdint'}, output: 'logo.h', args: ['--name', 'logo', '--guard', '--progmem', '--type', 'stdint']},
  {what: 'a static array in a section, bytes swapped', settings: {depth: 16},
   header: {isStatic: true, memory: 'section', section: '.pictures', swap: true},
   args: ['--static', '--section', '.pictures', '--swap-bytes']},
  {what: 'several pictures chosen at once: one array each and their table',
   pictures: ['crafted_coord_100x60.bmp', 'pngsuite_basn3p08.png', 'libjpegturbo_testorig.jpg'],
   settings: {depth: 16}, menu: [['Picture Size', 'Fit']], header: {file: 'icons.h', guard: true}, output: 'icons.h',
   args: ['--fit', '--guard'], message: 'Generated: icons.h'},
];

// pixolan-encode's arguments for the window's depth and resolution.
function Settings({depth = 8, resolution = '132x132'} = {}) {
  return ['--depth', String(depth), '--resolution', resolution];
}

for (const c of kCases) {
  test(c.what, async () => {
    const session = await OpenPage();
    try {
      const pictures = (c.pictures || []).map((name) => (path.isAbsolute(name) ? name : Picture(name)));
      if (pictures.length) assert.equal(await LoadThroughChooser(session.page, pictures), null);
      await Choose(session.page, c.settings || {});
      for (const entry of c.menu || []) await ChooseFromMenu(session.page, ...entry);
      if (c.later) await Choose(session.page, c.later);
      if (c.header) await ChooseHeader(session.page, c.header);
      const output = c.output || 'image.h';
      const {bytes, message} = await EncodeInPage(session.page, session.downloads, output);
      const settings = Settings(c.later || c.settings);
      assert.ok(bytes.equals(EncodeWith(pictures, [...settings, ...c.args], output)),
                `the page's ${output} differs from pixolan-encode ${c.args.join(' ')}'s`);
      assert.ok(!bytes.equals(EncodeWith(pictures.slice(0, 1), settings)), 'the options changed nothing');
      if (c.message) assert.equal(message.text, c.message);
    } finally {
      await session.close();
    }
  });
}

test('options that do not go together are refused in pixolan-encode\'s words, and nothing is downloaded', async () => {
  const session = await OpenPage();
  try {
    await Choose(session.page, {key: 'FF'});
    await ChooseHeader(session.page, {layout: 'rows'});
    await session.page.click('#btnEncode');
    const dialog = await session.page.waitForSelector('#message[open]');
    assert.deepEqual(await dialog.evaluate((e) => [e.querySelector('h1').textContent, e.querySelector('p').textContent]),
                     ['Image file not generated.', '--remove cannot be used with --layout rows: each left-out sample ' +
                      'would move every pixel after it']);
    await new Promise((resolve) => setTimeout(resolve, 200));
    assert.deepEqual(fs.readdirSync(session.downloads), []);
  } finally {
    await session.close();
  }
});

test('sixteen pictures fill one header at the widest resolution and depth, as pixolan-encode writes it; ' +
     'a seventeenth is refused', async () => {
  const names = ['bmpsuite_g_pal1.bmp', 'bmpsuite_g_pal4.bmp', 'bmpsuite_g_pal4rle.bmp', 'bmpsuite_g_pal8.bmp',
                 'bmpsuite_g_pal8os2.bmp', 'bmpsuite_g_pal8rle.bmp', 'bmpsuite_g_pal8topdown.bmp', 'bmpsuite_g_pal8v5.bmp',
                 'bmpsuite_g_pal8w125.bmp', 'bmpsuite_g_rgb24.bmp', 'bmpsuite_g_rgb32.bmp', 'bmpsuite_g_rgb32bf.bmp',
                 'crafted_coord_100x60.bmp', 'crafted_coord_128x128.bmp', 'crafted_coord_132x176.bmp',
                 'crafted_coord_300x200.bmp', 'pngsuite_basn3p08.png'];
  const session = await OpenPage();
  try {
    const pictures = names.map(Picture);
    assert.equal(await LoadThroughChooser(session.page, pictures.slice(0, 16)), null);
    // The window's grid holds the most values: 177 columns of 132.
    await Choose(session.page, {depth: 16, resolution: '132x176'});
    const {bytes} = await EncodeInPage(session.page, session.downloads);
    assert.ok(bytes.equals(EncodeWith(pictures.slice(0, 16), Settings({depth: 16, resolution: '132x176'}))));
    assert.equal(await LoadThroughChooser(session.page, pictures), null);
    await session.page.click('#btnEncode');
    const dialog = await session.page.waitForSelector('#message[open]');
    assert.equal(await dialog.evaluate((e) => e.querySelector('p').textContent),
                 'a header made here holds at most 16 pictures');
  } finally {
    await session.close();
  }
});
