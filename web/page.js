// SPDX-License-Identifier: MIT
// The page's handlers: each control event calls the core (pixolan_web.cpp),
// which packs, formats and probes exactly as the desktop programs do. The
// browser decodes pictures; only the part the viewport can show crosses into
// the core.
'use strict';

const kTwipsPerPixel = 15;
const kHeadBytes = 256 * 1024;  // enough for any JPEG's segments before its frame header
const kIcons = ['information', 'exclamation', 'critical'];  // MessageIcon's order
const kIconGlyphs = ['i', '!', '\u00d7'];

const $ = (id) => document.getElementById(id);
let core = null;
let messages = [];  // what a run said, shown once it has returned

function Px(twips) { return Math.floor((twips + Math.floor(kTwipsPerPixel / 2)) / kTwipsPerPixel); }

// Every control at its place: data-twips is left, top, width, height in
// twips within its container, as the window lays it out.
function PlaceControls() {
  for (const element of document.querySelectorAll('[data-twips]')) {
    const [left, top, width, height] = element.dataset.twips.split(',').map(Number);
    Object.assign(element.style, {left: Px(left) + 'px', top: Px(top) + 'px', width: Px(width) + 'px',
                                  height: Px(height) + 'px'});
  }
}

function Text(pointer) { return core.UTF8ToString(pointer); }

function DepthOption() { return Number(document.querySelector('input[name=optColor]:checked').value); }
function ResolutionOption() { return Number(document.querySelector('input[name=optResolution]:checked').value); }
function Remove() { return $('rcorChkBox').checked ? 1 : 0; }
function Key() { return $('transpTxt').value; }
function ShowingEncoded() { return $('showEncodedAction').getAttribute('aria-checked') === 'true'; }

// --- Drawing the viewport -----------------------------------------------------

function DrawViewport() {
  const canvas = $('pic');
  const width = core._PixolanDrawingWidth(), height = core._PixolanDrawingHeight();
  const outerWidth = width + 4, outerHeight = height + 4;
  if (canvas.width !== outerWidth) {
    canvas.width = outerWidth;
    canvas.style.width = outerWidth + 'px';
  }
  const ctx = canvas.getContext('2d');
  // Sunken frame: dark outside on top and left, light on bottom and right.
  ctx.fillStyle = '#ffffff';
  ctx.fillRect(0, 0, outerWidth, outerHeight);
  ctx.fillStyle = '#b8b8b8';
  ctx.fillRect(0, 0, outerWidth - 1, outerHeight - 1);
  ctx.fillStyle = '#cacaca';
  ctx.fillRect(1, 1, outerWidth - 2, outerHeight - 2);
  ctx.fillStyle = '#9f9f9f';
  ctx.fillRect(1, 1, outerWidth - 3, outerHeight - 3);
  const pixels = core.ccall('PixolanRender', 'number', ['number', 'number', 'number', 'string'],
                            [ShowingEncoded() ? 1 : 0, DepthOption(), Remove(), Key()]);
  const area = new ImageData(new Uint8ClampedArray(core.HEAPU8.buffer, pixels, width * height * 4).slice(),
                             width, height);
  ctx.putImageData(area, 2, 2);
}

// The drawing-area pixel under a pointer event, or null on the frame.
function PixelAt(event) {
  const box = $('pic').getBoundingClientRect();
  const column = Math.floor(event.clientX - box.left) - 2, row = Math.floor(event.clientY - box.top) - 2;
  const inside = column >= 0 && row >= 0 && column < core._PixolanDrawingWidth() &&
                 row < core._PixolanDrawingHeight();
  return inside ? {column, row} : null;
}

// --- Messages -------------------------------------------------------------------

// A modal message with one OK button; resolves when it is dismissed.
function ShowMessage(text, title, icon) {
  const dialog = $('message');
  $('messageTitle').textContent = title;
  $('messageText').textContent = text;
  const glyph = dialog.querySelector('.icon');
  glyph.className = 'icon ' + kIcons[icon];
  glyph.textContent = kIconGlyphs[icon];
  dialog.showModal();
  $('messageOk').focus();
  return new Promise((resolve) => dialog.addEventListener('close', resolve, {once: true}));
}

async function ShowRunMessages() {
  const shown = messages;
  messages = [];
  for (const m of shown) await ShowMessage(m.text, m.title, m.icon);
}

// --- Handlers -------------------------------------------------------------------

function btnLoadPicture_Click() {
  $('pictureFile').value = '';
  $('pictureFile').click();
}

function optResolution_Click() {
  core._PixolanSetResolution(ResolutionOption());
  DrawViewport();
}

async function btnEncode_Click() {
  const started = performance.now();
  const ok = core.ccall('PixolanEncode', 'number', ['number', 'number', 'string'], [DepthOption(), Remove(), Key()]);
  window.pixolanLastEncodeMs = performance.now() - started;
  if (ok) {
    const bytes = core.HEAPU8.slice(core._PixolanHeader(), core._PixolanHeader() + core._PixolanHeaderSize());
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], {type: 'text/plain'}));
    link.download = 'image.h';
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  }
  await ShowRunMessages();
}

function aboutMnu_Click() {
  ShowMessage(Text(core.ccall('PixolanText', 'number', ['string'], ['about'])),
              Text(core.ccall('PixolanText', 'number', ['string'], ['about-title'])), 0);
}

function pic_MouseMove(event) {
  const p = PixelAt(event);
  if (!p) return;
  const [red, green, blue, value, swatch, hint] =
      Text(core._PixolanProbe(p.column, p.row, DepthOption())).split('\n');
  $('txtR').value = red;
  $('txtG').value = green;
  $('txtB').value = blue;
  $('Shape1').style.background = '#' + swatch;
  $('txtRGB').value = value;
  $('pic').title = hint;
  probed = p;
}

function pic_DblClick(p) {
  if (!p) return;
  $('transpTxt').value = Text(core._PixolanKeyAt(p.column, p.row, DepthOption()));
  $('rcorChkBox').checked = true;
  SettingsChanged();
}

let probed = null;      // the pixel the probe last read
let menuPixel = null;   // where the context menu was opened

// Depth, key or preview changed: the preview and the probe's key follow.
function SettingsChanged() {
  DrawViewport();
  if (probed) $('pic').title = Text(core._PixolanProbe(probed.column, probed.row, DepthOption())).split('\n')[5];
}

function ToggleShowEncoded() {
  const item = $('showEncodedAction');
  item.setAttribute('aria-checked', String(!ShowingEncoded()));
  SettingsChanged();
}

// --- The viewport's context menu ---------------------------------------------------

function MenuItems() { return [...$('viewportMenu').querySelectorAll('[role^=menuitem]')]; }

function ShowViewportMenu(x, y, pixel) {
  menuPixel = pixel;
  $('useColorAction').setAttribute('aria-disabled', String(!pixel));
  const menu = $('viewportMenu');
  Object.assign(menu.style, {display: 'block', left: x + 'px', top: y + 'px'});
  MenuItems()[0].focus();
}

function HideViewportMenu() {
  $('viewportMenu').style.display = 'none';
  $('pic').focus();
}

function ChooseMenuItem(item) {
  if (item.getAttribute('aria-disabled') === 'true') return;
  HideViewportMenu();
  if (item.id === 'showEncodedAction') ToggleShowEncoded();
  if (item.id === 'useColorAction') pic_DblClick(menuPixel);
}

// --- Loading ------------------------------------------------------------------------

function Fail(name, reason) {
  return Text(core.ccall('PixolanLoadFailure', 'number', ['string', 'string'], [name, reason]));
}

// The picture decoded by the browser, as stored: no colour management, no
// premultiplication, no turning by Exif (the core has cleared that tag). Its
// size is checked first: the browser would hold all of it.
async function LoadPictureFile(file) {
  const name = file.name || 'the pasted picture';
  const title = Text(core.ccall('PixolanText', 'number', ['string'], ['load-failed-title']));
  const head = new Uint8Array(await file.slice(0, kHeadBytes).arrayBuffer());
  core.HEAPU8.set(head, core._PixolanBuffer(head.length));
  const refusal = Text(core.ccall('PixolanCheckHead', 'number', ['string'], [name]));
  if (refusal) return ShowMessage(refusal, title, 2);
  const cleared = core.HEAPU8.slice(core._PixolanBufferData(), core._PixolanBufferData() + head.length);
  const blob = new Blob([cleared, file.slice(head.length)], {type: file.type});

  let bitmap = null;
  for (const imageOrientation of ['from-image', 'none']) {
    try {
      bitmap = await createImageBitmap(blob, {colorSpaceConversion: 'none', premultiplyAlpha: 'none',
                                              imageOrientation});
      break;
    } catch (error) {
      if (!(error instanceof TypeError)) break;  // an option this browser does not know: try the other
    }
  }
  if (!bitmap) return ShowMessage(Fail(name, 'this browser cannot decode it (pixolan-encode reads more formats)'),
                                  title, 2);
  const width = Math.min(bitmap.width, core._PixolanRegionWidth());
  const height = Math.min(bitmap.height, core._PixolanRegionHeight());
  const canvas = document.createElement('canvas');
  canvas.width = Math.max(width, 1);
  canvas.height = Math.max(height, 1);
  const ctx = canvas.getContext('2d', {willReadFrequently: true});
  ctx.drawImage(bitmap, 0, 0);
  bitmap.close();
  const region = width && height ? ctx.getImageData(0, 0, width, height).data : new Uint8ClampedArray(0);
  core.HEAPU8.set(region, core._PixolanBuffer(region.length));
  core._PixolanSetPicture(width, height);
  DrawViewport();
  document.dispatchEvent(new CustomEvent('pixolan-loaded'));
}

function PictureIn(dataTransfer) {
  if (!dataTransfer) return null;
  for (const item of dataTransfer.items || [])
    if (item.kind === 'file') return item.getAsFile();
  return dataTransfer.files && dataTransfer.files[0] || null;
}

// --- Wiring -------------------------------------------------------------------------

function WireEvents() {
  $('btnLoadPicture').addEventListener('click', btnLoadPicture_Click);
  $('pictureFile').addEventListener('change', () => {
    if ($('pictureFile').files.length) LoadPictureFile($('pictureFile').files[0]);
  });
  $('btnEncode').addEventListener('click', btnEncode_Click);
  $('aboutMnu').addEventListener('click', aboutMnu_Click);
  for (const option of document.querySelectorAll('input[name=optResolution]'))
    option.addEventListener('change', optResolution_Click);
  for (const option of document.querySelectorAll('input[name=optColor]'))
    option.addEventListener('change', SettingsChanged);
  $('rcorChkBox').addEventListener('change', SettingsChanged);
  $('transpTxt').addEventListener('input', SettingsChanged);
  $('messageOk').addEventListener('click', () => $('message').close());

  const pic = $('pic');
  pic.addEventListener('mousemove', pic_MouseMove);
  pic.addEventListener('dblclick', (event) => pic_DblClick(PixelAt(event)));
  pic.addEventListener('contextmenu', (event) => {
    event.preventDefault();
    const keyboard = event.button !== 2 || (event.clientX === 0 && event.clientY === 0);
    const box = pic.getBoundingClientRect();
    if (keyboard) ShowViewportMenu(box.left + 4, box.top + 4, probed);
    else ShowViewportMenu(event.clientX, event.clientY, PixelAt(event));
  });

  const menu = $('viewportMenu');
  menu.addEventListener('click', (event) => {
    const item = event.target.closest('[role^=menuitem]');
    if (item) ChooseMenuItem(item);
  });
  menu.addEventListener('keydown', (event) => {
    const items = MenuItems(), at = items.indexOf(document.activeElement);
    if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
      items[(at + (event.key === 'ArrowDown' ? 1 : items.length - 1)) % items.length].focus();
    } else if (event.key === 'Enter' || event.key === ' ') {
      if (at >= 0) ChooseMenuItem(items[at]);
    } else if (event.key === 'Escape') {
      HideViewportMenu();
    } else {
      return;
    }
    event.preventDefault();
  });
  document.addEventListener('mousedown', (event) => {
    if (!menu.contains(event.target) && menu.style.display === 'block') menu.style.display = 'none';
  });

  // The window's shortcuts.
  document.addEventListener('keydown', (event) => {
    if ($('message').open) return;
    const ctrl = event.ctrlKey || event.metaKey;
    if (ctrl && !event.shiftKey && event.key.toLowerCase() === 'o') btnLoadPicture_Click();
    else if (ctrl && !event.shiftKey && event.key.toLowerCase() === 'e') btnEncode_Click();
    else if (event.key === 'F2') ToggleShowEncoded();
    else if (event.altKey && !ctrl && event.code === 'KeyA') aboutMnu_Click();  // the menu's &About
    else return;
    event.preventDefault();
  });

  // Drop or paste a picture anywhere on the page.
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    const file = PictureIn(event.dataTransfer);
    if (file) LoadPictureFile(file);
  });
  document.addEventListener('paste', (event) => {
    const file = PictureIn(event.clipboardData);
    if (!file) return;
    event.preventDefault();
    LoadPictureFile(file);
  });
}

async function Start() {
  PlaceControls();
  core = await PixolanCore({
    onProgress(value, maximum) {
      const bar = $('ProgressBar1');
      bar.setAttribute('aria-valuemax', String(maximum));
      bar.setAttribute('aria-valuenow', String(value));
      bar.firstElementChild.style.width = (maximum > 0 ? Math.min(value / maximum, 1) * 100 : 0) + '%';
    },
    onMessage(text, title, icon) { messages.push({text, title, icon}); },
  });
  document.title = Text(core.ccall('PixolanText', 'number', ['string'], ['title']));
  WireEvents();
  DrawViewport();
  document.documentElement.dataset.ready = 'true';
  // The frame with the built-in picture is painted after this callback.
  requestAnimationFrame(() => performance.mark('pixolan-first-picture'));
}

Start();
