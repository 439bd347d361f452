// SPDX-License-Identifier: MIT
// Every control by keyboard, in the window's tab order and with its shortcuts.
import assert from 'node:assert/strict';
import {after, before, test} from 'node:test';
import {DismissMessage, OpenPage, TakeDownload, WaitForMessage} from './browser.mjs';

let session;
before(async () => { session = await OpenPage(); });
after(async () => { await session.close(); });

const Focused = () => session.page.evaluate(() => document.activeElement.id);
const Press = (key) => session.page.keyboard.press(key);

test('Tab visits the controls in the window\'s order, an option group at its checked option', async () => {
  await session.page.focus('#pic');
  const visited = [await Focused()];
  for (let i = 0; i < 10; ++i) {
    await Press('Tab');
    visited.push(await Focused());
  }
  assert.deepEqual(visited, ['pic', 'btnLoadPicture', 'txtR', 'txtG', 'txtRGB', 'btnEncode', 'optColor0', 'txtB',
                             'optResolution0', 'transpTxt', 'rcorChkBox']);
});

test('arrow keys choose the resolution and the depth', async () => {
  await session.page.focus('#optResolution0');
  await Press('ArrowRight');
  assert.equal(await session.page.$eval('#pic', (e) => e.width), 176);
  await Press('ArrowLeft');
  assert.equal(await session.page.$eval('#pic', (e) => e.width), 132);
  await session.page.focus('#optColor0');
  await Press('ArrowRight');
  assert.equal(await session.page.$eval('#optColor1', (e) => e.checked), true);
  await Press('ArrowLeft');
});

test('the key is typed and Remove Color ticked with the space bar', async () => {
  await session.page.focus('#transpTxt');
  await session.page.keyboard.down('Control');
  await Press('a');
  await session.page.keyboard.up('Control');
  await session.page.keyboard.type('C0');
  await Press('Tab');
  await Press('Space');
  assert.equal(await session.page.$eval('#rcorChkBox', (e) => e.checked), true);
  assert.equal(await session.page.$eval('#transpTxt', (e) => e.value), 'C0');
});

test('Enter on Encode downloads image.h and Enter dismisses the completion message', async () => {
  await session.page.focus('#btnEncode');
  await Press('Enter');
  const bytes = await TakeDownload(session.downloads);
  assert.match(bytes.toString('latin1'), /^unsigned char const Photos\[17556\]=\{0x3F,/);
  // The key C0 taken above is ticked: pure red leaves the test card.
  assert.deepEqual(await WaitForMessage(session.page), {
    title: 'Image file generated.',
    text: 'Generated: image.h\n1376 samples matched the key and were left out.'});
  await Press('Enter');
  await session.page.waitForSelector('#message:not([open])');
  assert.equal(await session.page.$eval('#ProgressBar1', (e) => e.getAttribute('aria-valuenow')), '1980');
});

test('Ctrl+E encodes, Ctrl+O and Enter on Load Picture open the file chooser', async () => {
  await session.page.keyboard.down('Control');
  await Press('e');
  await session.page.keyboard.up('Control');
  await TakeDownload(session.downloads);
  await DismissMessage(session.page);
  for (const open of [async () => {
    await session.page.keyboard.down('Control');
    await Press('o');
    await session.page.keyboard.up('Control');
  }, async () => {
    await session.page.focus('#btnLoadPicture');
    await Press('Enter');
  }]) {
    const [chooser] = await Promise.all([session.page.waitForFileChooser({timeout: 5000}), open()]);
    await chooser.cancel();
  }
});

test('Alt+A shows the About message', async () => {
  await session.page.keyboard.down('Alt');
  await Press('a');
  await session.page.keyboard.up('Alt');
  assert.deepEqual(await WaitForMessage(session.page), {
    title: 'About Pixolan',
    text: 'Pixolan ver.: 1.0\r\nAuthor: The Pixolan developers\r\nE-mail: pixolan@example.org\r\n' +
          'URL: https://pixolan.example.org/'});
  await Press('Escape');
  await session.page.waitForSelector('#message:not([open])');
});

test('F2 and the context menu key turn Show as Encoded on and off', async () => {
  const checked = () => session.page.$eval('#showEncodedAction', (e) => e.getAttribute('aria-checked'));
  await Press('F2');
  assert.equal(await checked(), 'true');
  await session.page.focus('#pic');
  await session.page.keyboard.down('Shift');
  await Press('F10');
  await session.page.keyboard.up('Shift');
  assert.equal(await Focused(), 'showEncodedAction');
  await Press('Enter');
  assert.equal(await checked(), 'false');
  assert.equal(await Focused(), 'pic');
});
