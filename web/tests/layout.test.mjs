// SPDX-License-Identifier: MIT
// The page lays the controls out where the window does, and draws the
// viewport as the window's screenshot shows it, pixel for pixel.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {OpenPage, kSource} from './browser.mjs';

let session;
before(async () => { session = await OpenPage(); });
after(async () => { await session.close(); });

// The window's controls in pixels (twips / 15, rounded), below its 18-pixel
// menu bar: left, top, width, height.
const kWindow = {
  pic: [8, 26, 132, 132], Shape3: [8, 26, 176, 132], btnLoadPicture: [8, 162, 177, 17],
  txtR: [208, 32, 41, 19], txtG: [208, 48, 41, 19], txtB: [208, 64, 41, 19], txtRGB: [192, 90, 57, 19],
  Shape1: [192, 114, 57, 42], Frame1: [259, 25, 177, 113], Frame2: [274, 45, 146, 36],
  optResolution0Label: [274, 61, 65, 17], optResolution1Label: [339, 60, 65, 17], transpTxt: [274, 80, 51, 19],
  rcorChk: [329, 80, 91, 21], optColor0Label: [275, 115, 49, 17], optColor1Label: [323, 115, 49, 17],
  optColor2Label: [379, 115, 49, 17], btnEncode: [260, 143, 174, 17], Shape2: [187, 162, 248, 19],
  ProgressBar1: [189, 163, 245, 17],
};

test('every control is at the window\'s place and size', async () => {
  const placed = await session.page.evaluate((ids) => Object.fromEntries(ids.map((id) => {
    const r = document.getElementById(id).getBoundingClientRect();
    return [id, [r.left, r.top, r.width, r.height]];
  })), Object.keys(kWindow));
  assert.deepEqual(placed, kWindow);
});

test('the controls\' accessible names are the captions', async () => {
  const snapshot = await session.page.accessibility.snapshot();
  const names = [];
  const walk = (node) => { names.push(`${node.role}:${node.name}`); (node.children || []).forEach(walk); };
  walk(snapshot);
  for (const expected of ['button:Load Picture', 'button:Encode', 'radio:132x132', 'radio:132x176', 'radio:8-bit',
                          'radio:12-bit', 'radio:16-bit', 'checkbox:Remove Color', 'textbox:R', 'textbox:G',
                          'textbox:B', 'menuitem:About'])
    assert.ok(names.includes(expected), `${expected} in ${names.join(', ')}`);
});

// Pixels of a PNG, read in a blank page (pixolan.html allows no other picture).
async function PngPixels(png) {
  const blank = await session.browser.newPage();
  try {
    return await blank.evaluate(async (data) => {
      // As stored: the window's screenshot carries a gamma the browser would apply.
      const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
      const image = await createImageBitmap(new Blob([bytes]), {colorSpaceConversion: 'none'});
      const canvas = document.createElement('canvas');
      canvas.width = image.width;
      canvas.height = image.height;
      const ctx = canvas.getContext('2d');
      ctx.drawImage(image, 0, 0);
      return {width: image.width, data: [...ctx.getImageData(0, 0, image.width, image.height).data]};
    }, png.toString('base64'));
  } finally {
    await blank.close();
  }
}

test('a screenshot shows the viewport, the swatch\'s and the progress bar\'s frames where the window has them',
     async () => {
  const page = await PngPixels(await session.page.screenshot({clip: {x: 0, y: 0, width: 444, height: 184}}));
  const window = await PngPixels(fs.readFileSync(path.join(kSource, 'docs/screenshot.png')));
  const rgb = (image, x, y) => image.data.slice((y * image.width + x) * 4, (y * image.width + x) * 4 + 3).join(',');
  const differing = [];
  // The whole viewport with its frame: the built-in picture at 100%.
  for (let y = 26; y < 158; ++y)
    for (let x = 8; x < 140; ++x)
      if (rgb(page, x, y) !== rgb(window, x, y)) differing.push(`${x},${y}`);
  assert.deepEqual(differing.slice(0, 10), []);
  // Shape1's and Shape2's black frames: corners and edges.
  for (const [x, y] of [[192, 114], [248, 114], [192, 155], [248, 155], [187, 162], [434, 162], [187, 180], [434, 180]])
    assert.equal(rgb(page, x, y), '0,0,0', `page ${x},${y}`);
});
