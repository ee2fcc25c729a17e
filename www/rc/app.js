// The remote: one page, a view per section (chosen by the address's "#"),
// every request through the one queue of api.js.
import { makeApi } from './api.js';
import { LANGUAGES, currentLanguage, loadDictionary, loadEnglish, t } from './i18n.js';
import * as L from './logic.js';

const REFRESH_INTERVAL = 2000; // "now playing" asks the player this often while it is in view
const SEEK_DELAY = 300; // a position bar moved by keys is sent once it rests
const ROW_HEIGHT = 48; // rows of long lists: only those near the view are drawn
// Time limits, in ms: a start may wake the player (a minute) and mount a share
// (half a minute); an update downloads and installs (minutes).
const LIMIT_START = 150000;
const LIMIT_SHARE = 60000;
const LIMIT_WAKE = 90000;
const LIMIT_UPDATE = 1000000;
const LIMIT_STATUS = 15000;
// The key pad: built-in names in their places, then the owner's keys.
const PAD = [['page_up', 'up', 'page_down'], ['left', 'enter', 'right'], [null, 'down', null]];
const PAD_GLYPHS = { up: '▲', down: '▼', left: '◀', right: '▶', enter: 'OK', page_up: '⇞', page_down: '⇟' };
const KEYBOARD = { ArrowUp: 'up', ArrowDown: 'down', ArrowLeft: 'left', ArrowRight: 'right', Enter: 'enter' };

const api = makeApi({ onBusy: showBusy });
const state = {
  app: null,
  options: null,
  keys: null, // the answer of "keys", asked once
  status: null, // the last "status" answer and when it came
  statusAt: 0,
  playlist: { key: null, rows: [], current: -1 },
  pending: null, // the play_path or row being started
  starts: 0, // counts starts: only the latest one leads to "now playing"
  errorFrom: null,
};
const view = document.getElementById('view');
let lists = []; // the long lists of the view, redrawn on scroll

// ---- small DOM helpers ----

// h('button', {class: 'x', onclick: f, 'aria-label': 'Play'}, 'text', child...)
function h(tag, props = {}, ...children) {
  const el = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (v === undefined || v === null || v === false) continue;
    if (k.startsWith('on')) el.addEventListener(k.slice(2), v);
    else if (k === 'class') el.className = v;
    else if (k in el && !k.includes('-')) el[k] = v;
    else el.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children.flat(Infinity)) if (c !== null && c !== undefined && c !== false) el.append(c);
  return el;
}

function button(label, onclick, props = {}) {
  return h('button', { type: 'button', onclick, ...props }, label);
}

function showBusy(text) {
  const busy = document.getElementById('busy');
  busy.hidden = text === null;
  busy.textContent = text || t('working');
  document.body.setAttribute('aria-busy', text === null ? 'false' : 'true');
}

// The error stays in view (the dock is fixed to the window) and names the
// request that failed.
function showError(error, what, params = {}, from = 'action') {
  if (error && error.kind === 'superseded') return;
  const { key, values } = L.describeError(error, params);
  const box = document.getElementById('error');
  box.querySelector('.what').textContent = what ? `${what}:` : '';
  box.querySelector('.text').textContent = t(key, values);
  const raw = error && error.kind === 'answer' && key !== 'err_other' ? error.message : '';
  box.querySelector('.raw').textContent = raw ? t('box_said', { text: raw }) : '';
  box.hidden = false;
  state.errorFrom = from;
}

function hideError() {
  document.getElementById('error').hidden = true;
  state.errorFrom = null;
}

let noticeTimer = null;
function notice(text) {
  const el = document.getElementById('notice');
  el.textContent = text;
  clearTimeout(noticeTimer);
  noticeTimer = setTimeout(() => {
    el.textContent = '';
  }, 6000);
}

// Runs a request for a control: errors land in the page, never silently.
// options: what (the request in words) and those of api.call.
async function act(params, options = {}, after) {
  const { what, ...callOptions } = options;
  hideError();
  try {
    const answer = await api.call(params, callOptions);
    if (after) await after(answer);
    return answer;
  } catch (e) {
    showError(e, what, params);
    return undefined;
  }
}

function browseHref(path) {
  return `#/browse/${encodeURIComponent(path)}`;
}

// What a long start should say while it runs.
function startBusy(path) {
  if (L.isSharePath(path)) return t('busy_share');
  return state.status && !state.status.awake ? t('busy_wake') : '';
}

function markPending(el, on) {
  if (!el) return;
  el.classList.toggle('pending', on);
  if (on) el.setAttribute('aria-busy', 'true');
  else el.removeAttribute('aria-busy');
}

// A long list may have drawn the marked row again meanwhile.
function unmarkPending() {
  for (const el of document.querySelectorAll('.pending')) markPending(el, false);
}

// ---- long lists ----

// A list of rows ROW_HEIGHT high; a long one has only the rows near the view
// in the page, drawn again as it scrolls. drawRow(i) makes row i.
function rowList(tag, props, count, drawRow) {
  const windowed = L.visibleRange({ count, rowHeight: ROW_HEIGHT, viewTop: 0, viewHeight: 0 }).last < count;
  const list = h(tag, { ...props, class: `${props.class || ''}${windowed ? ' windowed' : ''}` });
  if (!windowed) {
    for (let i = 0; i < count; i++) list.append(drawRow(i));
    return list;
  }
  list.style.height = `${count * ROW_HEIGHT}px`;
  let shown = { first: -1, last: -1 };
  list.draw = (force) => {
    const range = L.visibleRange({ count, rowHeight: ROW_HEIGHT, viewTop: -list.getBoundingClientRect().top, viewHeight: window.innerHeight });
    if (!force && range.first === shown.first && range.last === shown.last) return;
    shown = range;
    const rows = [];
    for (let i = range.first; i < range.last; i++) {
      const row = drawRow(i);
      row.style.top = `${i * ROW_HEIGHT}px`;
      row.setAttribute('aria-posinset', String(i + 1));
      row.setAttribute('aria-setsize', String(count));
      rows.push(row);
    }
    list.replaceChildren(...rows);
  };
  lists.push(list);
  return list;
}

let drawQueued = false;
function drawLists() {
  if (drawQueued) return;
  drawQueued = true;
  requestAnimationFrame(() => {
    drawQueued = false;
    for (const list of lists) if (list.isConnected) list.draw(false);
  });
}
window.addEventListener('scroll', drawLists, { passive: true });
window.addEventListener('resize', drawLists);

// Whether the row with that index (a playlist row number) is in the window.
function rowInView(list, index) {
  if (!list || !list.isConnected || index < 0) return false;
  const at = state.playlist.rows.findIndex((r) => r.index === index);
  const top = list.getBoundingClientRect().top + at * ROW_HEIGHT;
  return at >= 0 && top + ROW_HEIGHT > 0 && top < window.innerHeight;
}

// Scrolls the window so that row `index` of a list lies in the middle of it.
function scrollToRow(list, index) {
  const top = list.getBoundingClientRect().top + window.scrollY + index * ROW_HEIGHT;
  window.scrollTo({ top: Math.max(0, top - window.innerHeight / 2 + ROW_HEIGHT / 2) });
  if (list.draw) list.draw(true);
}

// ---- routing ----

const refresher = L.makeRefresher({
  interval: REFRESH_INTERVAL,
  task: () => refreshStatus(),
  visible: () => document.visibilityState === 'visible',
  idle: api.idle,
});
document.addEventListener('visibilitychange', () => refresher.poke());

function route() {
  const { section, arg } = L.parseRoute(location.hash);
  refresher.stop();
  lists = [];
  for (const a of document.querySelectorAll('#nav a')) {
    if (a.dataset.section === section) a.setAttribute('aria-current', 'page');
    else a.removeAttribute('aria-current');
  }
  const views = { browse: arg ? folderView : sourcesView, now: nowView, history: historyView, favorites: favoritesView, shares: sharesView, options: optionsView };
  const render = views[section] || sourcesView;
  view.replaceChildren();
  render(arg);
}

function heading(text) {
  const el = h('h1', { tabindex: '-1' }, text);
  view.append(el);
  return el;
}

// ---- browse: storages and shares ----

async function sourcesView() {
  heading(t('nav_browse'));
  const storages = h('ul', { class: 'tiles', 'aria-label': t('storages') });
  const shares = h('ul', { class: 'tiles', 'aria-label': t('shares') });
  view.append(h('h2', {}, t('storages')), storages, h('h2', {}, t('shares')), shares);
  await act({ cmd: 'storage_list' }, { what: t('what_storages') }, (answer) => {
    for (const s of answer.storages || []) storages.append(sourceTile(s.title, s.name, s.label && s.label !== s.title ? s.label : '', 'storage'));
    if (!storages.children.length) storages.replaceWith(h('p', {}, t('no_storages')));
  });
  await act({ cmd: 'network_source_list' }, { what: t('what_shares') }, (answer) => {
    for (const s of answer.sources || []) shares.append(sourceTile(s.title, s.name, `${s.type} · ${s.path}`, 'share'));
    if (!shares.children.length) shares.replaceWith(h('p', {}, t('no_shares')));
  });
  view.append(h('p', {}, h('a', { href: '#/shares', class: 'button' }, t('add_share_link'))));
}

function sourceTile(title, path, detail, kind) {
  return h('li', { class: `tile ${kind}` },
    h('a', { href: browseHref(path), class: 'open' }, h('span', { class: 'icon', 'aria-hidden': 'true' }), h('span', { class: 'name' }, title)),
    detail ? h('span', { class: 'detail' }, detail) : null);
}

// ---- browse: one folder ----

async function folderView(path, ignoreCache = false) {
  const title = L.baseName(path);
  const crumbs = h('nav', { class: 'crumbs', 'aria-label': t('breadcrumb') },
    h('a', { href: '#/browse' }, t('all_sources')),
    L.pathSteps(path).map((s) => [h('span', { 'aria-hidden': 'true' }, '/'), h('a', { href: browseHref(s.path) }, s.name)]));
  const parent = L.parentPath(path);
  const favForm = favoriteForm(path, title);
  const list = h('div', { class: 'listing' });
  const playFolder = button(t('play_folder'), () => play(path, title, playFolder));
  const bar = h('div', { class: 'toolbar' },
    h('a', { href: parent ? browseHref(parent) : '#/browse', class: 'button', 'aria-label': t('up') }, '↑ ', t('up')),
    button(t('refresh'), () => { view.replaceChildren(); lists = []; folderView(path, true); }),
    playFolder,
    button(t('add_favorite'), () => { favForm.hidden = false; favForm.querySelector('input').focus(); }));
  view.append(crumbs);
  heading(title);
  view.append(bar, favForm, list);
  const params = { cmd: 'file_list', path };
  if (ignoreCache) params.ignore_cache = '1';
  await act(params, { what: t('what_open', { name: title }), limit: LIMIT_SHARE, busy: L.isSharePath(path) ? t('busy_share') : '' },
    (answer) => renderListing(list, answer));
}

function renderListing(list, answer) {
  const entries = answer.files || [];
  const folders = entries.filter((e) => e.path);
  const files = entries.filter((e) => !e.path);
  if (!entries.length) list.append(h('p', {}, t('empty_folder')));
  if (folders.length) {
    const tiles = h('ul', { class: 'tiles', 'aria-label': t('folders') });
    for (const f of folders) {
      const playButton = f.play_path ? button('▶', () => play(f.play_path, f.name, playButton), { class: 'play', 'aria-label': t('play_named', { name: f.name }) }) : null;
      tiles.append(h('li', { class: 'tile folder' },
        h('a', { href: browseHref(f.path), class: 'open', 'aria-label': t('open_named', { name: f.name }) },
          f.cover ? h('img', { src: f.cover, alt: '', loading: 'lazy' }) : h('span', { class: 'icon', 'aria-hidden': 'true' }),
          h('span', { class: 'name' }, f.name)),
        playButton));
    }
    list.append(h('h2', {}, t('folders')), tiles);
  }
  if (files.length) {
    const rows = rowList('ul', { class: 'files', 'aria-label': t('files') }, files.length, (i) => fileRow(files[i]));
    list.append(h('h2', {}, t('files')), rows);
    if (rows.draw) rows.draw(true);
  }
}

function fileRow(f) {
  if (!f.play_path) return h('li', { class: 'file inert' }, h('span', { class: 'row', title: t('not_playable') }, f.name));
  const row = button([h('span', { class: 'glyph', 'aria-hidden': 'true' }, '▶'), h('span', { class: 'title' }, f.name)],
    () => play(f.play_path, f.name, row), { class: 'row', 'aria-label': t('play_named', { name: f.name }) });
  markPending(row, state.pending === f.play_path);
  return h('li', { class: 'file' }, row);
}

function favoriteForm(path, title) {
  const input = h('input', { type: 'text', value: title, required: true, name: 'name' });
  const form = h('form', { class: 'inline', hidden: true, onsubmit: (ev) => {
    ev.preventDefault();
    const name = input.value.trim();
    if (!name) return;
    act({ cmd: 'favorite', action: 'add', name, path }, { what: t('what_favorite_add', { name }) }, () => { form.hidden = true; notice(t('favorite_added', { name })); });
  } },
  h('label', {}, t('favorite_name'), ' ', input),
  h('button', { type: 'submit' }, t('save')),
  button(t('cancel'), () => { form.hidden = true; }));
  return form;
}

// A start (play, resume, a row of the playlist): the tapped control is marked
// at once; a newer start replaces one still waiting, and only the latest one
// leads to "now playing", unless the person went elsewhere meanwhile.
async function start(params, { marker, pending, what }) {
  const mine = ++state.starts;
  unmarkPending();
  state.pending = pending;
  markPending(marker, true);
  const from = location.hash;
  const ok = await act(params, { what, slot: 'start', limit: LIMIT_START, busy: startBusy(params.play_path || params.dir_play_path || '') });
  if (mine !== state.starts) return undefined;
  state.pending = null;
  unmarkPending();
  if (ok && location.hash === from && from !== '#/now') location.hash = '#/now';
  else if (ok && location.hash === '#/now') refresher.start({ now: true });
  return ok;
}

function play(playPath, name, marker) {
  return start({ cmd: 'player', action: 'play', play_path: playPath }, { marker, pending: playPath, what: t('what_play', { name }) });
}

// ---- now playing ----

function nowView() {
  heading(t('now_title'));
  const seek = h('input', { type: 'range', min: '0', max: '0', step: '1', value: '0', id: 'seek', 'aria-label': t('seek_bar') });
  const seekOut = h('output', { for: 'seek', class: 'time' }, '');
  let seekTimer = null;
  seek.addEventListener('input', () => {
    seek.dataset.moving = '1';
    seekOut.textContent = t('elapsed_of', { elapsed: L.formatTime(seek.value), total: L.formatTime(seek.max) });
  });
  seek.addEventListener('change', () => {
    clearTimeout(seekTimer);
    seekTimer = setTimeout(() => seekTo(Number(seek.value)), SEEK_DELAY);
  });
  const step = (label, value, text) => button(text, () => act({ cmd: 'player', action: 'addpos', value: String(value) }, { what: t('what_seek') }, () => refreshStatus(false)), { 'aria-label': label });
  const quick = [0, 25, 50, 75].map((n) => button(`${n} %`, () => act({ cmd: 'player', action: 'moveto', position: String(n) }, { what: t('what_seek') }, () => refreshStatus(false)), { 'aria-label': t('seek_to', { n }) }));
  const power = button(t('power_on'), () => act({ cmd: 'player', action: 'poweron' }, { what: t('what_power'), busy: t('busy_wake'), limit: LIMIT_WAKE }, () => refreshStatus(false)));
  const previous = button([h('span', { 'aria-hidden': 'true' }, '« '), t('previous')], () => goNeighbour('previous'), { id: 'previous', 'aria-label': t('previous'), disabled: true });
  const next = button([t('next'), h('span', { 'aria-hidden': 'true' }, ' »')], () => goNeighbour('next'), { id: 'next', 'aria-label': t('next'), disabled: true });
  view.append(
    h('section', { id: 'now', class: 'now', 'aria-label': t('now_title') },
      h('p', { id: 'now-title', class: 'now-title' }, ''),
      h('p', { id: 'now-place', class: 'now-place' }),
      h('div', { id: 'now-standby', class: 'standby', hidden: true }, h('p', { id: 'now-standby-text' }), power),
      h('div', { class: 'seekline' }, seek, seekOut),
      h('div', { class: 'toolbar transport', 'aria-label': t('transport'), role: 'group' }, previous, next,
        button(t('shuffle'), () => act({ cmd: 'player', action: 'toggle_shuffle' }, { what: t('what_shuffle') }))),
      h('div', { class: 'toolbar quick' }, quick),
      h('div', { class: 'toolbar steps' },
        step(t('back_10m'), -600, '−10:00'), step(t('back_1m'), -60, '−1:00'), step(t('back_10s'), -10, '−0:10'),
        step(t('fwd_10s'), 10, '+0:10'), step(t('fwd_1m'), 60, '+1:00'), step(t('fwd_10m'), 600, '+10:00'))),
    h('section', { class: 'volume', 'aria-label': t('volume') },
      h('h2', {}, t('volume')),
      h('div', { class: 'toolbar' },
        button('−', () => act({ cmd: 'player', action: 'addvol', value: '-5' }, { what: t('what_volume') }, () => refreshStatus(false)), { 'aria-label': t('volume_down') }),
        h('meter', { id: 'volume', min: '0', max: '100', value: '0', 'aria-label': t('volume') }),
        h('span', { id: 'volume-text', class: 'time' }, ''),
        button('+', () => act({ cmd: 'player', action: 'addvol', value: '5' }, { what: t('what_volume') }, () => refreshStatus(false)), { 'aria-label': t('volume_up') }))),
    h('section', { class: 'keypad', 'aria-label': t('keypad') }, h('h2', {}, t('keypad')), h('div', { id: 'keypad' })),
    h('h2', {}, t('playlist')),
    h('div', { id: 'playlist' }));
  state.playlist = { key: null, rows: [], current: -1 };
  if (state.status) renderStatus(state.status);
  renderKeypad();
  if (!state.keys) act({ cmd: 'player', action: 'keys', log: '0' }, { what: t('what_keys'), quiet: true }, (answer) => { state.keys = answer.keys || []; renderKeypad(); });
  refresher.start({ now: true });
}

function keyLabel(name) {
  return PAD_GLYPHS[name] ? t(`key_${name}`) : name;
}

function renderKeypad() {
  const pad = document.getElementById('keypad');
  if (!pad || !state.keys) return;
  const known = new Set(state.keys.map((k) => k.name));
  const cell = (name) => (name && known.has(name)
    ? button(PAD_GLYPHS[name], () => pressKey(name), { class: `key key-${name}`, 'aria-label': keyLabel(name) })
    : h('span', { class: 'key-gap', 'aria-hidden': 'true' }));
  pad.replaceChildren(h('div', { class: 'pad' }, PAD.flat().map(cell)),
    h('div', { class: 'toolbar owner-keys' }, state.keys.filter((k) => k.owner).map((k) => button(k.name, () => pressKey(k.name), { class: 'key' }))));
}

function pressKey(name) {
  return act({ cmd: 'player', action: 'key', key: name }, { what: t('what_key', { name: keyLabel(name) }) });
}

// Where the player is now: the last answer, moved on by the time since.
function estimatedPosition() {
  const s = state.status;
  if (!s) return 0;
  const running = s.state === 'file_playback' ? (Date.now() - state.statusAt) / 1000 : 0;
  return Math.min(s.duration, s.position + running);
}

function seekTo(target) {
  const delta = Math.round(target - estimatedPosition());
  const seek = document.getElementById('seek');
  act({ cmd: 'player', action: 'addpos', value: String(delta) }, { what: t('what_seek') }, () => refreshStatus(false))
    .finally(() => { if (seek) delete seek.dataset.moving; });
}

// One "status": the player's state in the view; the playlist is asked again
// only when the playing file or row changed.
async function refreshStatus(quiet = true) {
  let s;
  try {
    s = await api.call({ cmd: 'player', action: 'status', log: '0' }, { quiet, limit: LIMIT_STATUS });
  } catch (e) {
    if (document.getElementById('now')) showError(e, t('what_status'), {}, 'status');
    return;
  }
  state.status = s;
  state.statusAt = Date.now();
  if (state.errorFrom === 'status') hideError();
  if (!document.getElementById('now')) return;
  renderStatus(s);
  const key = `${s.virtual_path}|${s.row}|${s.title}`;
  if (key !== state.playlist.key) {
    state.playlist.key = key;
    await loadPlaylist();
  }
}

function renderStatus(s) {
  const title = document.getElementById('now-title');
  if (!title) return;
  const playing = s.title !== '';
  title.textContent = playing ? s.title : t('nothing_playing');
  const place = document.getElementById('now-place');
  const folder = s.virtual_path ? L.parentPath(s.virtual_path) : null;
  place.replaceChildren(folder ? h('a', { href: browseHref(folder) }, L.placeOf(s.virtual_path)) : '');
  if (playing && s.row < 0 && state.playlist.rows.length === 0) place.append(h('span', { class: 'detail' }, ` ${t('own_list')}`));
  document.getElementById('now-standby').hidden = s.awake;
  document.getElementById('now-standby-text').textContent = s.state === 'loading' ? t('starting_up') : t('standby');
  const seek = document.getElementById('seek');
  if (!seek.dataset.moving) {
    seek.max = String(Math.max(0, s.duration));
    seek.value = String(Math.min(s.position, s.duration));
    seek.setAttribute('aria-valuetext', t('elapsed_of', { elapsed: L.formatTime(s.position), total: L.formatTime(s.duration) }));
    document.querySelector('.seekline output').textContent = playing ? t('elapsed_of', { elapsed: L.formatTime(s.position), total: L.formatTime(s.duration) }) : '';
  }
  seek.disabled = !playing || s.duration <= 0;
  document.getElementById('volume').value = s.volume;
  document.getElementById('volume-text').textContent = t('volume_level', { n: s.volume });
  markPlaying();
}

// "playlist": drawn again only when the list changed; the playing row is
// then scrolled into view.
async function loadPlaylist() {
  let answer;
  try {
    answer = await api.call({ cmd: 'player', action: 'playlist', log: '0' }, { quiet: true, limit: LIMIT_START });
  } catch (e) {
    showError(e, t('what_playlist'));
    return;
  }
  const box = document.getElementById('playlist');
  if (!box) return;
  const rows = L.playlistRows(answer);
  // The list's hash covers the files' titles only: two albums whose files
  // share a name differ in their tracks, so the rows are compared too.
  const hash = answer && answer.desc ? answer.desc.hash : '';
  const print = L.rowsPrint(rows);
  const pl = state.playlist;
  const same = pl.hash === hash && pl.print === print && box.firstChild;
  pl.rows = rows;
  pl.hash = hash;
  pl.print = print;
  if (!same) {
    if (!rows.length) {
      box.replaceChildren();
      lists = lists.filter((l) => l.isConnected);
      pl.list = null;
    } else {
      const list = rowList('ol', { class: 'playlist', 'aria-label': t('playlist') }, rows.length, (i) => playlistRow(rows[i]));
      box.replaceChildren(list);
      if (list.draw) list.draw(true);
      pl.list = list;
    }
  }
  markPlaying(!same);
}

function playlistRow(r) {
  const row = button([h('span', { class: 'glyph', 'aria-hidden': 'true' }, '▶'), h('span', { class: 'title' }, r.title)],
    () => move(r.index, r.title, row), { class: 'row', 'data-row': String(r.index) });
  if (r.index === state.playlist.current) row.setAttribute('aria-current', 'true');
  markPending(row, state.pending === `row:${r.index}`);
  return h('li', { class: r.track ? 'track' : 'item' }, row);
}

// The row the status names is marked. A freshly drawn list is scrolled to it,
// and so is the view that showed the row playing before (it follows the
// playback); one scrolled elsewhere stays. Previous and Next follow it.
function markPlaying(fresh = false) {
  const pl = state.playlist;
  const s = state.status;
  const current = s && pl.rows.length ? s.row : -1;
  const follow = fresh || (current !== pl.current && rowInView(pl.list, pl.current));
  pl.current = current;
  const box = document.getElementById('playlist');
  if (box) {
    for (const b of box.querySelectorAll('button.row')) {
      if (Number(b.dataset.row) === current) b.setAttribute('aria-current', 'true');
      else b.removeAttribute('aria-current');
    }
    if (pl.list && current >= 0 && follow && pl.list.isConnected) {
      const at = pl.rows.findIndex((r) => r.index === current);
      if (at >= 0) scrollToRow(pl.list, at);
    }
  }
  const { previous, next } = L.neighbours(pl.rows, current);
  const prevButton = document.getElementById('previous');
  const nextButton = document.getElementById('next');
  if (prevButton) {
    prevButton.disabled = previous < 0;
    prevButton.dataset.row = String(previous);
    nextButton.disabled = next < 0;
    nextButton.dataset.row = String(next);
  }
}

function move(index, title, marker) {
  return start({ cmd: 'player', action: 'playlist_move', position: String(index) },
    { marker, pending: `row:${index}`, what: t('what_move', { name: title }) });
}

function goNeighbour(which) {
  const b = document.getElementById(which);
  if (!b || b.disabled) return;
  const index = Number(b.dataset.row);
  const row = state.playlist.rows.find((r) => r.index === index);
  move(index, row ? row.title : String(index), b);
}

// On "now playing", the keyboard drives the key pad (arrows, Enter) and
// Previous and Next ("p", "n"); fields keep their keys, and Enter on a
// button or link presses that.
document.addEventListener('keydown', (ev) => {
  if (!document.getElementById('now') || ev.altKey || ev.ctrlKey || ev.metaKey || ev.defaultPrevented) return;
  const tag = ev.target.tagName;
  if (tag === 'INPUT' || tag === 'SELECT' || tag === 'TEXTAREA' || ev.target.isContentEditable) return;
  const key = KEYBOARD[ev.key];
  if (key) {
    if (key === 'enter' && (tag === 'BUTTON' || tag === 'A')) return;
    ev.preventDefault();
    pressKey(key);
  } else if (ev.key === 'n' || ev.key === 'p') {
    ev.preventDefault();
    goNeighbour(ev.key === 'n' ? 'next' : 'previous');
  }
});

// ---- history ----

async function historyView() {
  heading(t('history_title'));
  const list = h('ul', { class: 'entries', 'aria-label': t('history_title') });
  view.append(list);
  await act({ cmd: 'history', action: 'get' }, { what: t('what_history') }, (answer) => {
    if (!Array.isArray(answer) || !answer.length) {
      list.replaceWith(h('p', {}, t('no_history')));
      return;
    }
    for (const entry of answer) {
      const at = t('history_at', { n: Math.max(0, entry.last_index) + 1, time: L.formatTime(entry.play_position) });
      const place = L.placeOf(entry.virtual_path);
      const resume = button('▶', () => start(L.resumeParams(entry),
        { marker: resume, pending: entry.virtual_path, what: t('what_resume', { name: entry.title }) }),
      { 'aria-label': t('resume_named', { name: entry.title }) });
      list.append(h('li', {},
        h('div', { class: 'what' },
          h('a', { href: browseHref(entry.virtual_path), 'aria-label': t('open_named', { name: entry.title }) }, entry.title),
          h('span', { class: 'detail' }, place ? `${place} · ${at}` : at)),
        resume));
    }
  });
}

// ---- favourites ----

async function favoritesView() {
  heading(t('favorites_title'));
  const list = h('ul', { class: 'entries', 'aria-label': t('favorites_title') });
  view.append(list);
  await act({ cmd: 'favorite', action: 'list' }, { what: t('what_favorites') }, (answer) => {
    const favorites = answer.favorite || [];
    if (!favorites.length) list.replaceWith(h('p', {}, t('no_favorites')));
    for (const f of favorites) {
      const item = h('li', {},
        h('div', { class: 'what' }, h('a', { href: browseHref(f.path) }, f.name), h('span', { class: 'detail' }, f.path)),
        button('✕', () => act({ cmd: 'favorite', action: 'del', name: f.name }, { what: t('what_favorite_del', { name: f.name }) },
          () => { item.remove(); notice(t('favorite_removed', { name: f.name })); }),
        { 'aria-label': t('remove_named', { name: f.name }) }));
      list.append(item);
    }
  });
}

// ---- network shares ----

async function sharesView() {
  heading(t('shares_title'));
  const list = h('ul', { class: 'entries', 'aria-label': t('shares_title') });
  view.append(list, shareForm(() => { view.replaceChildren(); sharesView(); }));
  await act({ cmd: 'network_source_list' }, { what: t('what_shares') }, (answer) => {
    const sources = answer.sources || [];
    if (!sources.length) list.replaceWith(h('p', {}, t('no_shares')));
    for (const s of sources) {
      list.append(h('li', {},
        h('div', { class: 'what' }, h('a', { href: browseHref(s.name) }, s.title),
          h('span', { class: 'detail' }, `${s.type} · ${s.path}${s.is_persist === '1' ? ` · ${t('share_player')}` : ''}`)),
        button('✕', () => act({ cmd: 'network_source_del', source_key: s.key }, { what: t('what_share_del', { name: s.title }) },
          () => { notice(t('share_removed', { name: s.title })); view.replaceChildren(); sharesView(); }),
        { 'aria-label': t('remove_named', { name: s.title }) })));
    }
  });
}

// The share goes in a POST body: the password never stands in a URL.
function shareForm(done) {
  const field = (label, input) => h('label', { class: 'field' }, h('span', {}, label), input);
  const type = h('select', { name: 'type' }, h('option', { value: '0' }, 'SMB'), h('option', { value: '1' }, 'NFS'));
  const protocol = h('select', { name: 'protocol' }, h('option', { value: '0' }, 'UDP'), h('option', { value: '1' }, 'TCP'));
  const protocolField = field(t('share_protocol'), protocol);
  protocolField.hidden = true;
  type.addEventListener('change', () => { protocolField.hidden = type.value !== '1'; });
  const input = (name, extra = {}) => h('input', { name, type: 'text', autocomplete: 'off', ...extra });
  const form = h('form', { class: 'share-form', onsubmit: (ev) => {
    ev.preventDefault();
    const d = new FormData(form);
    const body = {};
    for (const k of ['title', 'type', 'protocol', 'address', 'path', 'user', 'password']) body[k] = String(d.get(k) || '');
    act({ cmd: 'network_source_add' }, { what: t('what_share_add', { name: body.title }), body }, () => { notice(t('share_added', { name: body.title })); done(); });
  } },
  h('h2', {}, t('share_add')),
  field(t('share_title'), input('title', { required: true })),
  field(t('share_type'), type), protocolField,
  field(t('share_address'), input('address', { required: true })),
  field(t('share_path'), input('path', { required: true })),
  field(t('share_user'), input('user')),
  field(t('share_password'), input('password', { type: 'password', autocomplete: 'new-password' })),
  h('button', { type: 'submit' }, t('share_submit')));
  return form;
}

// ---- options, keys, update ----

async function optionsView() {
  heading(t('options_title'));
  const form = h('form', { class: 'options', onsubmit: (ev) => ev.preventDefault() });
  view.append(form);
  const keys = h('section', { 'aria-label': t('keys_title') }, h('h2', {}, t('keys_title')), h('p', { class: 'detail' }, t('keys_intro')), h('div', { id: 'owner-keys' }), keyForm());
  const about = h('section', { 'aria-label': t('about') }, h('h2', {}, t('about')),
    h('p', {}, t('version', { v: state.app ? state.app.version : '?' })),
    button(t('check_update'), () => checkUpdate(false)),
    h('div', { id: 'update-result' }),
    h('p', {}, h('a', { href: '/cgi-bin/do2?cmd=log&log=0', target: '_blank', rel: 'noopener', class: 'button' }, t('show_log'))));
  view.append(keys, about);
  await act({ cmd: 'option', action: 'list' }, { what: t('what_options') }, (answer) => {
    state.options = answer.options || {};
    const o = state.options;
    const set = (name, value, after) => act({ cmd: 'option', action: 'set', opt_name: name, opt_value: value }, { what: t('what_option_set') }, async () => {
      o[name] = value;
      if (after) await after();
      notice(t('option_saved'));
    });
    const language = h('select', { name: 'language', onchange: () => set('language', language.value, async () => {
      await loadDictionary(api, language.value);
      applyStaticTexts();
      view.replaceChildren();
      optionsView();
    }) }, LANGUAGES.map((l) => h('option', { value: l.code, selected: l.code === (o.language || currentLanguage()) }, l.name)));
    const check = (name) => h('label', { class: 'check' },
      h('input', { type: 'checkbox', name, checked: o[name] === 'true', onchange: (ev) => set(name, ev.target.checked ? 'true' : 'false') }),
      h('span', {}, t(name)));
    const hosts = h('input', { type: 'text', name: 'allowed_hosts', value: o.allowed_hosts || '', autocomplete: 'off', spellcheck: false,
      placeholder: 'box.example.net', onchange: () => set('allowed_hosts', hosts.value.trim()) });
    form.append(h('label', { class: 'field' }, h('span', {}, t('language')), language),
      check('show_covers'), check('play_dwc'), check('pbopt'), check('autocheck_upd'),
      h('label', { class: 'field' }, h('span', {}, t('allowed_hosts')), hosts, h('span', { class: 'detail' }, t('allowed_hosts_hint'))));
  });
  await loadOwnerKeys();
}

async function loadOwnerKeys() {
  await act({ cmd: 'player', action: 'keys', log: '0' }, { what: t('what_keys') }, (answer) => {
    state.keys = answer.keys || [];
    const box = document.getElementById('owner-keys');
    if (!box) return;
    const owned = state.keys.filter((k) => k.owner);
    box.replaceChildren(owned.length
      ? h('ul', { class: 'entries', 'aria-label': t('keys_title') }, owned.map((k) => h('li', {},
        h('div', { class: 'what' }, h('span', {}, k.name), h('span', { class: 'detail' }, k.code)),
        button('✕', () => act({ cmd: 'player', action: 'key_del', key: k.name }, { what: t('what_key_del', { name: k.name }) },
          () => { notice(t('key_removed', { name: k.name })); return loadOwnerKeys(); }),
        { 'aria-label': t('remove_named', { name: k.name }) }))))
      : h('p', {}, t('no_owner_keys')));
  });
}

function keyForm() {
  const name = h('input', { type: 'text', name: 'key', required: true, maxLength: 40, autocomplete: 'off' });
  const code = h('input', { type: 'text', name: 'code', required: true, maxLength: 8, autocomplete: 'off', spellcheck: false, placeholder: 'E21DBF00' });
  const form = h('form', { class: 'inline key-form', onsubmit: (ev) => {
    ev.preventDefault();
    const key = name.value.trim();
    const value = code.value.trim().toUpperCase();
    const what = t('what_key_add', { name: key });
    if (new TextEncoder().encode(key).length > 40) {
      showError({ message: 'key not valid', kind: 'local' }, what);
      return;
    }
    if (!L.isValidKeyCode(value)) {
      showError({ message: 'code not valid', kind: 'local' }, what);
      return;
    }
    act({ cmd: 'player', action: 'key_add', key, code: value }, { what }, () => {
      notice(t('key_added', { name: key }));
      form.reset();
      return loadOwnerKeys();
    });
  } },
  h('label', { class: 'field' }, h('span', {}, t('key_name')), name),
  h('label', { class: 'field' }, h('span', {}, t('key_code')), code),
  h('button', { type: 'submit' }, t('key_submit')));
  return form;
}

async function checkUpdate(auto) {
  const params = { cmd: 'check_new_version' };
  if (auto) params.auto_mode = '1';
  let answer;
  try {
    answer = await api.call(params, { quiet: auto, limit: 40000 });
  } catch (e) {
    if (auto) notice(t('update_check_failed', { e: t(L.describeError(e, params).key, L.describeError(e, params).values) }));
    else showError(e, t('what_update_check'), params);
    return;
  }
  if (!answer || answer.message === 'cancel' || answer.versionNumber === undefined) return;
  const newer = L.compareVersions(answer.versionNumber, answer.currentVersionNumber) > 0;
  if (!newer) {
    if (!auto) showUpdate(h('p', {}, t('up_to_date', { v: answer.currentVersionNumber })));
    return;
  }
  showUpdate(h('p', {}, t('update_available', { v: answer.versionNumber, c: answer.currentVersionNumber })),
    button(t('install_update'), () => act({ cmd: 'try_update' }, { what: t('what_update'), busy: t('busy_update'), limit: LIMIT_UPDATE }, () => showUpdate(h('p', {}, t('update_done'))))),
    button(t('later'), () => act({ cmd: 'cancel_update' }, { what: t('what_update_later') }, () => showUpdate(h('p', {}, t('update_postponed'))))));
}

// The update offer: in the options view when it is open, else as a banner.
function showUpdate(...content) {
  const target = document.getElementById('update-result');
  if (target) {
    target.replaceChildren(...content);
    return;
  }
  const banner = document.getElementById('banner');
  banner.replaceChildren(h('div', { class: 'banner', role: 'region', 'aria-label': t('check_update') }, ...content, button(t('close'), () => banner.replaceChildren())));
}

function showDonation() {
  const banner = document.getElementById('banner');
  banner.replaceChildren(h('div', { class: 'banner', role: 'region', 'aria-label': t('remind_later') },
    h('p', {}, t('donate_text')),
    button(t('remind_later'), () => act({ cmd: 'drml' }, { what: t('what_remind') }, () => banner.replaceChildren())),
    button(t('close'), () => banner.replaceChildren())));
}

// ---- start ----

// index.html names the key of each of its texts: data-t (the text) and
// data-t-label (the accessible name).
function applyStaticTexts() {
  document.title = t('app_title');
  for (const el of document.querySelectorAll('[data-t]')) el.textContent = t(el.dataset.t);
  for (const el of document.querySelectorAll('[data-t-label]')) el.setAttribute('aria-label', t(el.dataset.tLabel));
}

// Shown inside another page's frame, a click meant for that page could land
// on one of ours: the page then sends nothing and offers to open itself whole.
async function framed() {
  await loadEnglish().catch(() => {});
  document.title = t('app_title');
  document.body.replaceChildren(h('p', { class: 'framed' },
    h('a', { href: location.href, target: '_top', rel: 'noopener' }, t('open_whole'))));
}

async function begin() {
  if (window.top !== window.self) return framed();
  document.querySelector('#error button').addEventListener('click', hideError);
  // Without its English dictionary the page still works, its texts shown as their keys.
  const [, info] = await Promise.allSettled([loadEnglish(), api.call({ cmd: 'app_info', log: '0' })]);
  applyStaticTexts();
  try {
    if (info.status === 'rejected') throw info.reason;
    state.app = info.value;
    if (state.app.lng && state.app.lng !== 'en') {
      await loadDictionary(api, state.app.lng);
      applyStaticTexts();
    }
  } catch (e) {
    showError(e, t('what_start'));
  }
  window.addEventListener('hashchange', () => { hideError(); route(); });
  route();
  if (state.app && state.app.sdb) showDonation();
  if (state.app && Number(state.app.nnvc) <= Date.now() / 1000) checkUpdate(true);
}

begin();
