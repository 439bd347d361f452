// SPDX-License-Identifier: MIT
// Pictures come in through the file chooser, a drop or a paste; one too large
// is refused before the browser decodes it, with the desktop's words.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {after, before, test} from 'node:test';
import {DismissMessage, LoadThroughChooser, OpenPage, Picture, Value, WaitForMessage} from './browser.mjs';

let session;
before(async () => { session = await OpenPage(); });
after(async () => { await session.close(); });

// The probe's hex read-out at drawing-area pixel (column, row).
async function ProbeHex(column, row) {
  const box = await (await session.page.$('#pic')).boundingBox();
  await session.page.mouse.move(box.x + 2 + column + 0.5, box.y + 2 + row + 0.5);
  return Value(session.page, '#txtRGB');
}

test('a picture chosen in the file chooser is shown from the top-left corner, pixel for pixel', async () => {
  assert.equal(await LoadThroughChooser(session.page, Picture('crafted_coord_300x200.bmp')), null);
  // (x, y) is R = x, G = y, B = 0x40: the value 0x00BBGGRR.
  assert.equal(await ProbeHex(100, 50), '403264');
  assert.equal(await ProbeHex(127, 100), '40647F');
});

// Drops and pastes carry Files, as the desktop's file manager hands them over.
async function Deliver(eventName, ...files) {
  const bytes = files.map((file) => fs.readFileSync(file).toString('base64'));
  await session.page.evaluate((eventName, bytes, name) => {
    const data = new DataTransfer();
    bytes.forEach((b, i) => data.items.add(new File([Uint8Array.from(atob(b), (c) => c.charCodeAt(0))], `${i}${name}`,
                                                    {type: 'image/bmp'})));
    const event = eventName === 'paste' ? new ClipboardEvent('paste', {clipboardData: data, bubbles: true})
                                        : new DragEvent('drop', {dataTransfer: data, bubbles: true, cancelable: true});
    document.getElementById('pic').dispatchEvent(event);
  }, eventName, bytes, 'coord.bmp');
  await session.page.waitForFunction(() => true);
}

test('pictures dropped on the page are loaded: the first is shown, all go into the header', async () => {
  const loaded = session.page.evaluate(() => new Promise((r) => document.addEventListener('pixolan-loaded', r)));
  await Deliver('drop', Picture('crafted_coord_100x60.bmp'), Picture('crafted_coord_128x128.bmp'));
  await loaded;
  assert.equal(await ProbeHex(99, 59), '403B63');
  assert.equal(await ProbeHex(100, 59), 'FFFFFF');  // the background beyond the picture
  assert.equal(await Value(session.page, '#hdrPictures'), '0coord.bmp, 1coord.bmp');
});

test('a pasted picture is loaded, alone', async () => {
  const loaded = session.page.evaluate(() => new Promise((r) => document.addEventListener('pixolan-loaded', r)));
  await Deliver('paste', Picture('crafted_coord_128x128.bmp'));
  await loaded;
  assert.equal(await ProbeHex(127, 127), '407F7F');
  assert.equal(await Value(session.page, '#hdrPictures'), '0coord.bmp');
});

test('a picture whose header claims more than the limit is refused before decoding', async () => {
  for (const [name, size, mb] of [['crafted_huge_60000x60000.bmp', '60000 x 60000', 13733],
                                  ['crafted_testorig_sof_65500x65500.jpg', '65500 x 65500', 16367]]) {
    await LoadThroughChooser(session.page, Picture(name));
    assert.deepEqual(await WaitForMessage(session.page), {
      title: 'Picture not loaded',
      text: `Could not load ${name}: the picture is ${size} pixels and would need ${mb} MB, ` +
            'more than the 512 MB a picture may take'});
    await DismissMessage(session.page);
  }
  assert.equal(await ProbeHex(127, 127), '407F7F');  // the picture shown stays
});

test('a picture the browser cannot decode is reported and the picture shown stays', async () => {
  await LoadThroughChooser(session.page, Picture('crafted_coord_172x128.tif'));
  assert.deepEqual(await WaitForMessage(session.page), {
    title: 'Picture not loaded',
    text: 'Could not load crafted_coord_172x128.tif: this browser cannot decode it (pixolan-encode reads more formats)'});
  await DismissMessage(session.page);
  assert.equal(await ProbeHex(127, 127), '407F7F');
});
