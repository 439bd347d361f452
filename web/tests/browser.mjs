// SPDX-License-Identifier: MIT
// Opens pixolan.html in Debian's Chromium, headless, through puppeteer-core,
// and does what a user does: choose files, press keys, download image.h.
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {pathToFileURL} from 'node:url';
import puppeteer from 'puppeteer-core';

export const kPage = process.env.PIXOLAN_PAGE;
export const kEncode = process.env.PIXOLAN_ENCODE;
export const kPictures = process.env.PIXOLAN_PICTURES;
export const kSource = process.env.PIXOLAN_SOURCE;
export const kPageUrl = pathToFileURL(kPage ?? '').href;
export const kFirefox = process.env.PIXOLAN_FIREFOX || '/usr/bin/firefox-esr';

export function Picture(name) { return path.join(kPictures, name); }

// A browser with one page on pixolan.html; every request the page makes is
// kept in requests, and downloads land in a folder of their own. Debian's
// Chromium unless firefox is asked for (Debian's Firefox ESR, through
// WebDriver BiDi).
export async function OpenPage({width = 444, height = 184, firefox = false} = {}) {
  const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'pixolan-page-'));
  const browser = firefox
    ? await puppeteer.launch({
        browser: 'firefox', executablePath: kFirefox, headless: true,
        extraPrefsFirefox: {'browser.download.dir': downloads, 'browser.download.folderList': 2,
                            'browser.download.useDownloadDir': true,
                            'browser.download.always_ask_before_handling_new_types': false}})
    : await puppeteer.launch({
        executablePath: process.env.PIXOLAN_CHROMIUM || '/usr/bin/chromium',
        headless: true,
        args: ['--no-sandbox', '--disable-gpu', '--font-render-hinting=none', '--hide-scrollbars',
               '--force-device-scale-factor=1'],
      });
  const page = await browser.newPage();
  await page.setViewport({width, height, deviceScaleFactor: 1});
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  if (!firefox) {
    const session = await browser.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: downloads, eventsEnabled: true});
  }
  await page.goto(kPageUrl);
  await page.waitForSelector('html[data-ready=true]');
  const close = async () => {
    await browser.close();
    fs.rmSync(downloads, {recursive: true, force: true});
  };
  return {browser, page, requests, downloads, close};
}

export async function Value(page, selector) { return page.$eval(selector, (e) => e.value); }

// The open message's title and text, or null when none is open.
export async function OpenMessage(page) {
  return page.evaluate(() => {
    const dialog = document.getElementById('message');
    if (!dialog.open) return null;
    return {title: document.getElementById('messageTitle').textContent,
            text: document.getElementById('messageText').textContent};
  });
}

export async function WaitForMessage(page) {
  await page.waitForSelector('#message[open]');
  return OpenMessage(page);
}

export async function DismissMessage(page) {
  await page.click('#messageOk');
  await page.waitForSelector('#message:not([open])');
}

// Loads a picture (or several: the first is shown) through Load Picture's
// file chooser; resolves when the viewport shows it, or with the message
// when it was refused.
export async function LoadThroughChooser(page, file) {
  const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#btnLoadPicture')]);
  const loaded = page.evaluate(() => new Promise((resolve) => {
    document.addEventListener('pixolan-loaded', () => resolve(null), {once: true});
    const dialog = document.getElementById('message');
    new MutationObserver(() => dialog.open && resolve(dialog.textContent)).observe(dialog, {attributes: true});
  }));
  await chooser.accept(Array.isArray(file) ? file : [file]);
  return loaded;
}

// Waits for the header (image.h unless named) to be downloaded and returns
// its bytes; the folder is emptied for the next.
export async function TakeDownload(downloads, name = 'image.h') {
  const file = path.join(downloads, name);
  for (let tries = 0; tries < 500; ++tries) {
    const names = fs.readdirSync(downloads);
    if (names.includes(name) && !names.some((n) => n.endsWith('.crdownload') || n.endsWith('.part'))) {
      const bytes = fs.readFileSync(file);
      fs.rmSync(file);
      return bytes;
    }
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  throw new Error(`${name} was not downloaded`);
}

// Sets the page's controls by clicking them, as a user would.
export async function Choose(page, {depth = 8, resolution = '132x132', key = null}) {
  await page.click({8: '#optColor0', 12: '#optColor1', 16: '#optColor2'}[depth]);
  await page.click(resolution === '132x132' ? '#optResolution0' : '#optResolution1');
  const checked = await page.$eval('#rcorChkBox', (e) => e.checked);
  if (key !== null) {
    await page.$eval('#transpTxt', (e) => { e.value = ''; });
    await page.type('#transpTxt', key);
  }
  if (checked !== (key !== null)) await page.click('#rcorChkBox');
}

// Encode in the page: the downloaded header, and the completion message.
export async function EncodeInPage(page, downloads, name = 'image.h') {
  await page.click('#btnEncode');
  const bytes = await TakeDownload(downloads, name);
  const message = await WaitForMessage(page);
  await DismissMessage(page);
  return {bytes, message};
}

// Chooses an entry of the viewport's context menu with the mouse, as a
// user would: a caption, or a submenu's caption and one of its entries.
export async function ChooseFromMenu(page, ...captions) {
  const box = await (await page.$('#pic')).boundingBox();
  await page.mouse.click(box.x + 20, box.y + 20, {button: 'right'});
  let menu = '#viewportMenu';
  for (const caption of captions) {
    const [item] = await page.$$(`xpath/.//*[@id="${menu.slice(1)}"]/*[starts-with(@role, "menuitem")]` +
                                 `[normalize-space(text())="${caption}"]`);
    if (!item) throw new Error(`no menu entry ${caption}`);
    await item.click();
    menu = '#' + (await item.evaluate((e) => e.getAttribute('aria-controls')));
  }
}

// Sets the header panel's controls by clicking and typing, opening it first.
export async function ChooseHeader(page, {file, name, type, memory, section, eol, layout, guard, isStatic, swap}) {
  if (!await page.$eval('#headerPanel', (e) => e.open)) await page.click('#headerPanel summary');
  for (const [id, text] of [['#hdrFile', file], ['#hdrName', name]]) {
    if (text === undefined) continue;
    await page.click(id, {clickCount: 3});
    await page.keyboard.type(text);
  }
  for (const [id, value] of [['#hdrType', type], ['#hdrMemory', memory], ['#hdrEol', eol], ['#hdrLayout', layout]])
    if (value !== undefined) await page.select(id, value);
  if (section !== undefined) {
    await page.click('#hdrSection', {clickCount: 3});
    await page.keyboard.type(section);
  }
  for (const [id, on] of [['#hdrGuard', guard], ['#hdrStatic', isStatic], ['#hdrSwap', swap]])
    if (on !== undefined && on !== await page.$eval(id, (e) => e.checked)) await page.click(id);
}

// What pixolan-encode writes for the same pictures and arguments, as the
// file named output (its name gives the guard).
export function EncodeWith(pictures, args, output = 'image.h') {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'pixolan-encode-'));
  try {
    execFileSync(kEncode, [...pictures, ...args, '-o', path.join(folder, output)],
                 {stdio: ['ignore', 'ignore', 'ignore']});
    return fs.readFileSync(path.join(folder, output));
  } finally {
    fs.rmSync(folder, {recursive: true, force: true});
  }
}

// What pixolan-encode writes for the same picture and settings.
export function EncodeOnDesktop(picture, {depth = 8, resolution = '132x132', key = null}) {
  const args = [...(picture ? [picture] : []), '--depth', String(depth), '--resolution', resolution, '-o', '-'];
  if (key !== null) args.push('--remove', key);
  return execFileSync(kEncode, args, {maxBuffer: 1 << 24, stdio: ['ignore', 'pipe', 'ignore']});
}
