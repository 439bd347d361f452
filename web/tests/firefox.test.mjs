// SPDX-License-Identifier: MIT
// The page in Firefox too: opened from disk, pictures loaded through Load
// Picture, Encode downloads what pixolan-encode writes, and no request goes
// out (each run checks). Skipped where Debian's firefox-esr is not installed.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {test} from 'node:test';
import {Choose, EncodeInPage, EncodeOnDesktop, LoadThroughChooser, OpenPage, Picture, kFirefox, kPageUrl}
  from './browser.mjs';

const kSkip = !fs.existsSync(kFirefox) && 'Debian\'s firefox-esr is not installed';
// A page of its own for each picture: Firefox hands out its file chooser once.
async function Encode(name, settings) {
  const session = await OpenPage({firefox: true});
  try {
    assert.equal(await LoadThroughChooser(session.page, Picture(name)), null);
    await Choose(session.page, settings);
    const {bytes, message} = await EncodeInPage(session.page, session.downloads);
    assert.equal(message.title, 'Image file generated.');
    const elsewhere = session.requests.filter((url) => url !== kPageUrl && !/^(blob|data):/.test(url));
    assert.deepEqual(elsewhere, [], 'requests beyond the page');
    return {got: bytes, want: EncodeOnDesktop(Picture(name), settings)};
  } finally {
    await session.close();
  }
}

// The 16-bit values of a header, in order.
function Values(header) {
  const text = header.toString('latin1');
  return [...text.slice(text.indexOf('{')).matchAll(/0x([0-9A-F]+)/g)].map((m) => parseInt(m[1], 16));
}

test('an opaque picture gives the same bytes', {skip: kSkip}, async () => {
  const {got, want} = await Encode('crafted_coord_300x200.bmp', {depth: 16, resolution: '132x176', key: 'FFFF'});
  assert.ok(got.equals(want), 'the download differs from pixolan-encode');
});

// Firefox's canvas holds its pixels premultiplied, so a translucent pixel
// read back may come out one level off before it is blended.
test('a translucent picture differs by at most one level of a field', {skip: kSkip}, async () => {
  const {got, want} = await Encode('pngsuite_basn6a08.png', {depth: 16, resolution: '132x176'});
  const [a, b] = [Values(got), Values(want)];
  assert.equal(a.length, b.length);
  const fields = (v) => [v >> 11, (v >> 5) & 63, v & 31];
  let largest = 0;
  for (let i = 0; i < a.length; ++i)
    for (let f = 0; f < 3; ++f) largest = Math.max(largest, Math.abs(fields(a[i])[f] - fields(b[i])[f]));
  assert.ok(largest <= 1, `a field differs by ${largest} levels`);
});
