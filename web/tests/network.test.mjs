// SPDX-License-Identifier: MIT
// The page works offline: through loading, encoding and About it requests
// nothing but itself and the blobs it makes.
import assert from 'node:assert/strict';
import {test} from 'node:test';
import {DismissMessage, EncodeInPage, LoadThroughChooser, OpenPage, Picture, kPageUrl} from './browser.mjs';

test('no network request is made', async () => {
  const session = await OpenPage();
  try {
    await LoadThroughChooser(session.page, Picture('libjpegturbo_testorig.jpg'));
    await EncodeInPage(session.page, session.downloads);
    await session.page.click('#aboutMnu');
    await DismissMessage(session.page);
    const elsewhere = session.requests.filter((url) => url !== kPageUrl && !/^(blob|data):/.test(url));
    assert.deepEqual(elsewhere, []);
    assert.ok(session.requests.includes(kPageUrl));
  } finally {
    await session.close();
  }
});
