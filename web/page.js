// SPDX-License-Identifier: MIT
// The page's handlers: each control event calls the core (pixolan_web.cpp),
// which places, packs, formats and probes exactly as the desktop programs
// do. The browser decodes pictures; only the stored pixels a placement reads
// cross into the core, a band of rows at a time.
'use strict';

const kTwipsPerPixel = 15;
const kHeadBytes = 256 * 1024;  // enough for any JPEG's segments before its frame header
const kIcons = ['information', 'exclamation', 'critical'];  // MessageIcon's order
const kIconGlyphs = ['i', '!', '\u00d7'];
const kPieceWidth = 4096;  // columns read from a picture at once: a canvas is no wider

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
// The checked item's position in a submenu of radio items.
function CheckedIn(menu) {
  return [...$(menu).querySelectorAll('[role=menuitemradio]')].findIndex((e) => e.getAttribute('aria-checked') === 'true');
}
function DitherOption() { return CheckedIn('ditherMenu'); }

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
  const pixels = core.ccall('PixolanRender', 'number', ['number', 'number', 'number', 'string', 'number'],
                            [ShowingEncoded() ? 1 : 0, DepthOption(), Remove(), Key(), DitherOption()]);
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
  // A fitted or filled picture is placed into the new drawing area; one
  // shown pixel for pixel only shows more or less of itself.
  if (CheckedIn('sizeMenu') !== 0) PlacementChanged();
  else DrawViewport();
}

// --- Header options -------------------------------------------------------------

// The controls as pixolan-encode's arguments, one to a line: a control left
// at its default adds none, so the untouched panel writes the window's image.h.
function Arguments() {
  const args = ['--depth', ['8', '12', '16'][DepthOption()], '--dither', ['none', 'ordered', 'diffusion'][DitherOption()],
                '-o', $('hdrFile').value];
  if ($('rcorChkBox').checked) args.push('--remove', Key());
  if ($('hdrName').value !== 'Photos') args.push('--name', $('hdrName').value);
  if ($('hdrType').value !== 'legacy') args.push('--type', $('hdrType').value);
  if ($('hdrGuard').checked) args.push('--guard');
  if ($('hdrStatic').checked) args.push('--static');
  if ($('hdrMemory').value === 'progmem') args.push('--progmem');
  if ($('hdrMemory').value === 'section') args.push('--section', $('hdrSection').value);
  if ($('hdrSwap').checked) args.push('--swap-bytes');
  if ($('hdrEol').value !== 'crlf') args.push('--eol', $('hdrEol').value);
  if ($('hdrLayout').value !== 'columns') args.push('--layout', $('hdrLayout').value);
  // The names only give the arrays theirs: after --, none is read as an option.
  args.push('--', ...pictures.map((file) => NameOf(file)));
  return args.join('\n');
}

function HeaderOptionsChanged() {
  $('hdrSection').disabled = $('hdrMemory').value !== 'section';
  $('hdrPictures').value = pictures.length ? pictures.map((file) => NameOf(file)).join(', ') : 'the built-in picture';
}

// Several pictures are placed in turn, the others decoded again, and only
// their packed values kept, as pixolan-encode reads them.
async function AddArrays(title) {
  if (pictures.length < 2) return true;
  for (const file of pictures) {
    const decoded = file === pictures[0] ? {bitmap: shownBitmap} : await Decode(file);
    const refusal = decoded.refusal || Place(decoded.bitmap, 1, NameOf(file));
    if (decoded.bitmap && decoded.bitmap !== shownBitmap) decoded.bitmap.close();
    if (refusal) {
      await ShowMessage(refusal, title, 2);
      return false;
    }
    core._PixolanAddArray();
  }
  return true;
}

async function btnEncode_Click() {
  if (encoding) return;
  encoding = true;
  try {
    const failed = Text(core.ccall('PixolanText', 'number', ['string'], ['failed-title']));
    const started = performance.now();
    const reason = Text(core.ccall('PixolanConfigure', 'number', ['string'], [Arguments()]));
    if (reason) return await ShowMessage(reason, failed, 2);
    if (!await AddArrays(failed)) return;
    const ok = core._PixolanEncode();
    window.pixolanLastEncodeMs = performance.now() - started;
    if (ok) {
      const bytes = core.HEAPU8.slice(core._PixolanHeader(), core._PixolanHeader() + core._PixolanHeaderSize());
      const link = document.createElement('a');
      link.href = URL.createObjectURL(new Blob([bytes], {type: 'text/plain'}));
      link.download = $('hdrFile').value;
      link.click();
      setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    }
    await ShowRunMessages();
  } finally {
    encoding = false;
  }
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
let pictures = [];      // the files chosen last: the first is shown, all go into the header
let shownBitmap = null; // the shown picture as the browser decoded it, placed again when asked
let encoding = false;

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

// The items of the menu holding element, not those of its submenus.
function MenuItems(menu) { return [...menu.children].filter((e) => /^menuitem/.test(e.getAttribute('role'))); }

function ShowViewportMenu(x, y, pixel) {
  menuPixel = pixel;
  $('useColorAction').setAttribute('aria-disabled', String(!pixel));
  const menu = $('viewportMenu');
  Object.assign(menu.style, {display: 'block', left: x + 'px', top: y + 'px'});
  MenuItems(menu)[0].focus();
}

function OpenSubmenu(item, focus) {
  for (const open of $('viewportMenu').querySelectorAll('[aria-expanded=true]'))
    if (open !== item) CloseSubmenu(open, false);
  const submenu = $(item.getAttribute('aria-controls'));
  item.setAttribute('aria-expanded', 'true');
  Object.assign(submenu.style, {display: 'block', top: item.offsetTop - 3 + 'px'});
  if (focus) MenuItems(submenu)[Math.max(CheckedIn(submenu.id), 0)].focus();
}

function CloseSubmenu(item, focus) {
  item.setAttribute('aria-expanded', 'false');
  $(item.getAttribute('aria-controls')).style.display = 'none';
  if (focus) item.focus();
}

function HideViewportMenu() {
  for (const open of $('viewportMenu').querySelectorAll('[aria-expanded=true]')) CloseSubmenu(open, false);
  $('viewportMenu').style.display = 'none';
  $('pic').focus();
}

function ChooseMenuItem(item) {
  if (item.getAttribute('aria-disabled') === 'true') return;
  if (item.hasAttribute('aria-haspopup')) return OpenSubmenu(item, true);
  HideViewportMenu();
  if (item.id === 'showEncodedAction') ToggleShowEncoded();
  if (item.id === 'useColorAction') pic_DblClick(menuPixel);
  if (item.getAttribute('role') === 'menuitemradio') {
    for (const other of MenuItems(item.parentElement)) other.setAttribute('aria-checked', String(other === item));
    if (item.parentElement.id === 'ditherMenu') SettingsChanged();
    else {
      core._PixolanSetPictureSize(CheckedIn('sizeMenu'));
      PlacementChanged();
    }
  }
  const turn = ['rotateLeftAction', 'rotateRightAction', 'flipHorizontallyAction', 'flipVerticallyAction']
      .indexOf(item.id);
  if (turn >= 0) {
    core._PixolanTurn(turn);
    PlacementChanged();
  }
}

// Placement decodes nothing again: the shown picture's bitmap is placed anew.
function PlacementChanged() {
  if (!shownBitmap) return;
  const refusal = Place(shownBitmap, 0, NameOf(pictures[0]));
  if (refusal) ShowMessage(refusal, Text(core.ccall('PixolanText', 'number', ['string'], ['load-failed-title'])), 2);
  DrawViewport();
}

// --- Loading ------------------------------------------------------------------------

function Fail(name, reason) {
  return Text(core.ccall('PixolanLoadFailure', 'number', ['string', 'string'], [name, reason]));
}

function NameOf(file) { return file.name || 'the pasted picture'; }

// The picture decoded by the browser, as stored: no colour management, no
// premultiplication, no turning by Exif (the core has cleared that tag). Its
// size is checked first: the browser would hold all of it. Resolves to
// {bitmap} or {refusal}.
async function Decode(file) {
  const name = NameOf(file);
  const head = new Uint8Array(await file.slice(0, kHeadBytes).arrayBuffer());
  core.HEAPU8.set(head, core._PixolanBuffer(head.length));
  const refusal = Text(core.ccall('PixolanCheckHead', 'number', ['string'], [name]));
  if (refusal) return {refusal};
  const cleared = core.HEAPU8.slice(core._PixolanBufferData(), core._PixolanBufferData() + head.length);
  const blob = new Blob([cleared, file.slice(head.length)], {type: file.type});
  for (const imageOrientation of ['from-image', 'none']) {
    try {
      return {bitmap: await createImageBitmap(blob, {colorSpaceConversion: 'none', premultiplyAlpha: 'none',
                                                     imageOrientation})};
    } catch (error) {
      if (!(error instanceof TypeError)) break;  // an option this browser does not know: try the other
    }
  }
  return {refusal: Fail(name, 'this browser cannot decode it (pixolan-encode reads more formats)')};
}

// Copies bitmap's width x height pixels from (x, y), straight RGBA, into the
// core's buffer, in pieces no canvas is too wide for.
function ReadPixels(bitmap, x, y, width, height) {
  const buffer = core._PixolanBuffer(width * height * 4);
  const canvas = document.createElement('canvas');
  canvas.width = Math.max(Math.min(width, kPieceWidth), 1);
  canvas.height = Math.max(height, 1);
  const ctx = canvas.getContext('2d', {willReadFrequently: true});
  ctx.imageSmoothingEnabled = false;
  for (let left = 0; left < width; left += kPieceWidth) {
    const piece = Math.min(kPieceWidth, width - left);
    ctx.clearRect(0, 0, canvas.width, canvas.height);
    ctx.drawImage(bitmap, x + left, y, piece, height, 0, 0, piece, height);
    const data = ctx.getImageData(0, 0, piece, height).data;
    if (piece === width) core.HEAPU8.set(data, buffer);
    else for (let row = 0; row < height; ++row)
      core.HEAPU8.set(data.subarray(row * piece * 4, (row + 1) * piece * 4), buffer + (row * width + left) * 4);
  }
}

// The core places bitmap as the window's Picture Size and turns say, into
// the viewport (into 0) or the next of several arrays (1); "" or the refusal.
function Place(bitmap, into, name) {
  const plan = Text(core.ccall('PixolanPlaceBegin', 'number', ['number', 'number', 'number', 'string'],
                               [bitmap.width, bitmap.height, into, name]));
  if (!/^[01] /.test(plan)) return plan;
  const [scaled, x, y, width, height, band] = plan.split(' ').map(Number);
  if (!scaled) {
    if (width && height) ReadPixels(bitmap, x, y, width, height);
  } else {
    for (let top = 0; top < height; top += band) {
      const rows = Math.min(band, height - top);
      ReadPixels(bitmap, x, y + top, width, rows);
      core._PixolanPlaceRows(top, rows);
    }
  }
  core._PixolanPlaceFinish(width, height);
  return '';
}

// The first of files is shown; all of them go into the header.
async function LoadPictureFiles(files) {
  if (!files.length) return;
  const title = Text(core.ccall('PixolanText', 'number', ['string'], ['load-failed-title']));
  const decoded = await Decode(files[0]);
  const refusal = decoded.refusal || Place(decoded.bitmap, 0, NameOf(files[0]));
  if (refusal) {
    if (decoded.bitmap) decoded.bitmap.close();
    return ShowMessage(refusal, title, 2);
  }
  if (shownBitmap) shownBitmap.close();
  shownBitmap = decoded.bitmap;
  pictures = [...files];
  for (const item of document.querySelectorAll('#sizeMenu [role=menuitemradio], .turn'))
    item.setAttribute('aria-disabled', 'false');
  HeaderOptionsChanged();
  DrawViewport();
  document.dispatchEvent(new CustomEvent('pixolan-loaded'));
}

function PicturesIn(dataTransfer) {
  if (!dataTransfer) return [];
  const files = [...(dataTransfer.items || [])].filter((item) => item.kind === 'file').map((item) => item.getAsFile());
  return files.length ? files : [...(dataTransfer.files || [])];
}

// --- Wiring -------------------------------------------------------------------------

function WireEvents() {
  $('btnLoadPicture').addEventListener('click', btnLoadPicture_Click);
  $('pictureFile').addEventListener('change', () => LoadPictureFiles([...$('pictureFile').files]));
  $('btnEncode').addEventListener('click', btnEncode_Click);
  $('aboutMnu').addEventListener('click', aboutMnu_Click);
  for (const option of document.querySelectorAll('input[name=optResolution]'))
    option.addEventListener('change', optResolution_Click);
  for (const option of document.querySelectorAll('input[name=optColor]'))
    option.addEventListener('change', SettingsChanged);
  $('rcorChkBox').addEventListener('change', SettingsChanged);
  $('transpTxt').addEventListener('input', SettingsChanged);
  $('messageOk').addEventListener('click', () => $('message').close());
  for (const control of $('headerPanel').querySelectorAll('input, select'))
    control.addEventListener('change', HeaderOptionsChanged);

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
  menu.addEventListener('mouseover', (event) => {
    const item = event.target.closest('[role^=menuitem]');
    if (!item || item.parentElement !== menu) return;
    if (item.hasAttribute('aria-haspopup')) OpenSubmenu(item, false);
    else for (const open of menu.querySelectorAll('[aria-expanded=true]')) CloseSubmenu(open, false);
  });
  menu.addEventListener('keydown', (event) => {
    const item = document.activeElement, items = MenuItems(item.parentElement), at = items.indexOf(item);
    const parent = item.parentElement === menu ? null : menu.querySelector(`[aria-controls=${item.parentElement.id}]`);
    if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
      items[(at + (event.key === 'ArrowDown' ? 1 : items.length - 1)) % items.length].focus();
    } else if (event.key === 'Enter' || event.key === ' ') {
      if (at >= 0) ChooseMenuItem(item);
    } else if (event.key === 'ArrowRight' && item.hasAttribute('aria-haspopup')) {
      OpenSubmenu(item, true);
    } else if ((event.key === 'ArrowLeft' || event.key === 'Escape') && parent) {
      CloseSubmenu(parent, true);
    } else if (event.key === 'Escape') {
      HideViewportMenu();
    } else {
      return;
    }
    event.preventDefault();
  });
  document.addEventListener('mousedown', (event) => {
    if (menu.contains(event.target) || menu.style.display !== 'block') return;
    for (const open of menu.querySelectorAll('[aria-expanded=true]')) CloseSubmenu(open, false);
    menu.style.display = 'none';
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
    LoadPictureFiles(PicturesIn(event.dataTransfer));
  });
  document.addEventListener('paste', (event) => {
    const files = PicturesIn(event.clipboardData);
    if (!files.length) return;
    event.preventDefault();
    LoadPictureFiles(files.slice(0, 1));
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
  HeaderOptionsChanged();
  DrawViewport();
  document.documentElement.dataset.ready = 'true';
  // The frame with the built-in picture is painted after this callback.
  requestAnimationFrame(() => performance.mark('pixolan-first-picture'));
}

Start();
