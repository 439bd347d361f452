// SPDX-License-Identifier: MIT
// The probe on the built-in picture: read-outs, swatch and key tooltip at
// known pixels; a double-click takes the key; Show as Encoded marks it.
import assert from 'node:assert/strict';
import {after, before, test} from 'node:test';
import {OpenPage} from './browser.mjs';

let session;
before(async () => { session = await OpenPage(); });
after(async () => { await session.close(); });

async function PicBox() { return (await session.page.$('#pic')).boundingBox(); }

async function Hover(column, row) {
  const box = await PicBox();
  await session.page.mouse.move(box.x + 2 + column + 0.5, box.y + 2 + row + 0.5);
}

async function Readouts() {
  return session.page.evaluate(() => ({
    r: txtR.value, g: txtG.value, b: txtB.value, hex: txtRGB.value,
    swatch: getComputedStyle(Shape1).backgroundColor, tip: pic.title}));
}

// The canvas pixel at drawing-area (column, row).
async function Shown(column, row) {
  return session.page.evaluate((x, y) => [...pic.getContext('2d').getImageData(x, y, 1, 1).data.slice(0, 3)],
                               column + 2, row + 2);
}

test('the read-outs show the colour value with red in the low byte, the tooltip its key', async () => {
  await Hover(85, 10);  // the red bar
  assert.deepEqual(await Readouts(),
                   {r: '255', g: '0', b: '0', hex: 'FF', swatch: 'rgb(255, 0, 0)', tip: 'Key at 8 bits: C0'});
  await Hover(100, 10);  // the blue bar
  assert.deepEqual(await Readouts(), {r: '0', g: '0', b: '255', hex: 'FF0000', swatch: 'rgb(0, 0, 255)',
                                      tip: 'Key at 8 bits: 3'});
  await Hover(127, 0);  // beyond the 127 columns of the picture: the background
  assert.equal((await Readouts()).hex, 'FFFFFF');
});

test('the tooltip follows the depth', async () => {
  await Hover(85, 10);
  await session.page.click('#optColor2');
  assert.equal((await Readouts()).tip, 'Key at 16 bits: F800');
  await session.page.click('#optColor0');
});

test('hovering the frame changes no read-out', async () => {
  await Hover(100, 10);
  const box = await PicBox();
  await session.page.mouse.move(box.x + 1, box.y + 1);
  assert.equal((await Readouts()).hex, 'FF0000');
});

test('a double-click takes the key at the depth and ticks Remove Color; Show as Encoded marks what it leaves out',
     async () => {
  await session.page.click('#optColor2');
  const box = await PicBox();
  await session.page.mouse.click(box.x + 2 + 85.5, box.y + 2 + 10.5, {clickCount: 2});
  assert.equal(await session.page.$eval('#transpTxt', (e) => e.value), 'F800');
  assert.equal(await session.page.$eval('#rcorChkBox', (e) => e.checked), true);
  assert.deepEqual(await Shown(85, 10), [255, 0, 0]);
  await session.page.keyboard.press('F2');
  assert.deepEqual(await Shown(85, 10), [255, 0, 255]);
});
