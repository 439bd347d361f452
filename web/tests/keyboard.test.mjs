// SPDX-License-Identifier: MIT
// Every control by keyboard, in the window's tab order and with its shortcuts.
import assert from 'node:assert/strict';
import {after, before, test} from 'node:test';
import {DismissMessage, EncodeWith, OpenPage, TakeDownload, WaitForMessage} from './browser.mjs';

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
  assert.ok(bytes.equals(EncodeWith([], ['--remove', 'C0'])));
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

// The focused control as a screen reader names it: role and accessible name.
async function FocusedName() {
  const focused = await session.page.evaluateHandle(() => document.activeElement);
  const node = await session.page.accessibility.snapshot({root: focused, interestingOnly: false});
  return `${node.role}:${node.name}`;
}

test('the viewport menu\'s Dither and Picture Size open with the arrow keys; entries are named by their captions',
     async () => {
  await session.page.focus('#pic');
  await session.page.keyboard.down('Shift');
  await Press('F10');
  await session.page.keyboard.up('Shift');
  const names = [await FocusedName()];
  for (const key of ['ArrowDown', 'ArrowDown', 'ArrowRight', 'ArrowDown', 'ArrowDown', 'ArrowLeft', 'ArrowDown',
                     'ArrowRight', 'ArrowDown', 'ArrowLeft', 'ArrowDown', 'ArrowDown', 'ArrowDown', 'ArrowDown']) {
    await Press(key);
    names.push(await FocusedName());
  }
  assert.deepEqual(names, ['menuitemcheckbox:Show as Encoded F2', 'menuitem:Use This Color as Key', 'menuitem:Dither',
                           'menuitemradio:None', 'menuitemradio:Ordered', 'menuitemradio:Error Diffusion',
                           'menuitem:Dither', 'menuitem:Picture Size', 'menuitemradio:Actual Pixels',
                           'menuitemradio:Fit', 'menuitem:Picture Size', 'menuitem:Rotate Left',
                           'menuitem:Rotate Right', 'menuitem:Flip Horizontally', 'menuitem:Flip Vertically']);
  // Placing waits for a loaded picture, as in the window.
  for (const key of ['ArrowUp', 'ArrowUp', 'ArrowUp', 'ArrowUp', 'ArrowRight', 'ArrowDown', 'Enter']) await Press(key);
  assert.equal(await session.page.$eval('#sizeMenu [aria-checked=true]', (e) => e.textContent), 'Actual Pixels');
  for (const key of ['ArrowLeft', 'ArrowUp', 'ArrowRight', 'ArrowDown', 'Enter']) await Press(key);
  assert.equal(await session.page.$eval('#ditherMenu [aria-checked=true]', (e) => e.textContent), 'Ordered');
  assert.equal(await Focused(), 'pic');
  assert.equal(await session.page.$eval('#viewportMenu', (e) => e.style.display), 'none');
});

test('the Header Options panel by keyboard: Tab reaches each control, named by its caption; Ctrl+E writes ' +
     'what pixolan-encode does with them', async () => {
  await session.page.focus('#rcorChkBox');
  await Press('Tab');
  assert.equal(await FocusedName(), 'DisclosureTriangle:Header Options');
  await Press('Enter');
  const names = [];
  const Next = async () => {
    await Press('Tab');
    names.push(await FocusedName());
  };
  const Type = async (text) => {
    await session.page.keyboard.down('Control');
    await Press('a');
    await session.page.keyboard.up('Control');
    await session.page.keyboard.type(text);
  };
  await Next();
  await Type('pic.h');
  await Next();
  await Type('pic');
  await Next();
  await Press('ArrowDown');  // stdint
  await Next();
  await Press('ArrowDown');
  await Press('ArrowDown');  // a linker section, whose name is typed next
  await Next();
  await Type('.rodata');
  await Next();
  await Press('ArrowDown');  // LF
  await Next();
  await Next();
  await Press('Space');
  await Next();
  await Next();
  assert.deepEqual(names, ['textbox:File name', 'textbox:Array name', 'combobox:Element type', 'combobox:Memory',
                           'textbox:Section', 'combobox:Line ends', 'combobox:Layout',
                           'checkbox:Include guard and size defines', 'checkbox:Static',
                           'checkbox:Swap bytes (16 bits: high byte first in memory)']);
  await session.page.keyboard.down('Control');
  await Press('e');
  await session.page.keyboard.up('Control');
  const bytes = await TakeDownload(session.downloads, 'pic.h');
  // The key C0 and Ordered, chosen above, still hold.
  assert.ok(bytes.equals(EncodeWith([], ['--remove', 'C0', '--dither', 'ordered', '--name', 'pic', '--type', 'stdint',
                                         '--section', '.rodata', '--eol', 'lf', '--guard'], 'pic.h')));
  assert.equal((await WaitForMessage(session.page)).text.split('\n')[0], 'Generated: pic.h');
  await Press('Enter');
});
