// The remote: one page, a view per section (chosen by the address's "#"),
// every request through the one queue of api.js.
import { makeApi } from './api.js';
import { LANGUAGES, currentLanguage, loadDictionary, t } from './i18n.js';
import * as L from './logic.js';

const REFRESH_INTERVAL = 5000; // the now-playing view asks at most this often
const SEEK_DELAY = 700; // a dragged position bar is sent once it rests

const api = makeApi({ onBusy: showBusy });
const state = { app: null, options: null, playlist: null, rows: [], update: null };
const view = document.getElementById('view');

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

function showBusy(on) {
  const busy = document.getElementById('busy');
  busy.hidden = !on;
  document.body.setAttribute('aria-busy', on ? 'true' : 'false');
}

function showError(error) {
  const box = document.getElementById('error');
  box.querySelector('.text').textContent = error && error.message ? error.message : String(error);
  box.hidden = false;
}

function hideError() {
  document.getElementById('error').hidden = true;
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
async function act(params, after) {
  hideError();
  try {
    const answer = await api.call(params);
    if (after) await after(answer);
    return answer;
  } catch (e) {
    showError(e);
    return undefined;
  }
}

function browseHref(path) {
  return `#/browse/${encodeURIComponent(path)}`;
}

// ---- routing ----

const refresher = L.makeRefresher({
  interval: REFRESH_INTERVAL,
  task: () => loadPlaylist(true),
  visible: () => document.visibilityState === 'visible',
  idle: api.idle,
});
document.addEventListener('visibilitychange', () => refresher.poke());

function route() {
  const hash = location.hash.replace(/^#\/?/, '');
  const [section, ...rest] = hash.split('/');
  const arg = rest.length ? decodeURIComponent(rest.join('/')) : '';
  refresher.stop();
  for (const a of document.querySelectorAll('#nav a')) {
    if (a.dataset.section === (section || 'browse')) a.setAttribute('aria-current', 'page');
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
  await act({ cmd: 'storage_list' }, (answer) => {
    for (const s of answer.storages || []) storages.append(sourceTile(s.title, s.name, s.label && s.label !== s.title ? s.label : '', 'storage'));
    if (!storages.children.length) storages.replaceWith(h('p', {}, t('no_storages')));
  });
  await act({ cmd: 'network_source_list' }, (answer) => {
    for (const s of answer.sources || []) shares.append(sourceTile(s.title, s.name, `${s.type} · ${s.path}`, 'share'));
    if (!shares.children.length) shares.replaceWith(h('p', {}, t('no_shares')));
  });
  view.append(h('p', {}, h('a', { href: '#/shares' }, t('add_share_link'))));
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
    L.pathSteps(path).map((s) => [' / ', h('a', { href: browseHref(s.path) }, s.name)]));
  const parent = L.parentPath(path);
  const favForm = favoriteForm(path, title);
  const list = h('div', { class: 'listing' });
  const bar = h('div', { class: 'toolbar' },
    h('a', { href: parent ? browseHref(parent) : '#/browse', class: 'button', 'aria-label': t('up') }, '↑ ', t('up')),
    button(t('refresh'), () => { view.replaceChildren(); folderView(path, true); }),
    button(t('play_folder'), () => play(path)),
    button(t('add_favorite'), () => { favForm.hidden = false; favForm.querySelector('input').focus(); }));
  view.append(crumbs);
  heading(title);
  view.append(bar, favForm, list);
  const params = { cmd: 'file_list', path };
  if (ignoreCache) params.ignore_cache = '1';
  await act(params, (answer) => renderListing(list, answer));
}

function renderListing(list, answer) {
  const entries = answer.files || [];
  const folders = entries.filter((e) => e.path);
  const files = entries.filter((e) => !e.path);
  if (!entries.length) list.append(h('p', {}, t('empty_folder')));
  if (folders.length) {
    list.append(h('h2', {}, t('folders')), h('ul', { class: 'tiles', 'aria-label': t('folders') }, folders.map((f) =>
      h('li', { class: 'tile folder' },
        h('a', { href: browseHref(f.path), class: 'open', 'aria-label': t('open_named', { name: f.name }) },
          f.cover ? h('img', { src: f.cover, alt: '', loading: 'lazy' }) : h('span', { class: 'icon', 'aria-hidden': 'true' }),
          h('span', { class: 'name' }, f.name)),
        f.play_path ? button('▶', () => play(f.play_path), { class: 'play', 'aria-label': t('play_named', { name: f.name }) }) : null))));
  }
  if (files.length) {
    list.append(h('h2', {}, t('files')), h('ul', { class: 'files', 'aria-label': t('files') }, files.map((f) =>
      h('li', { class: f.play_path ? 'file' : 'file inert' },
        f.play_path
          ? button([h('span', { class: 'glyph', 'aria-hidden': 'true' }, '▶'), f.name], () => play(f.play_path), { class: 'row', 'aria-label': t('play_named', { name: f.name }) })
          : h('span', { class: 'row', title: t('not_playable') }, f.name)))));
  }
}

function favoriteForm(path, title) {
  const input = h('input', { type: 'text', value: title, required: true, name: 'name' });
  const form = h('form', { class: 'inline', hidden: true, onsubmit: (ev) => {
    ev.preventDefault();
    const name = input.value.trim();
    if (!name) return;
    act({ cmd: 'favorite', action: 'add', name, path }, () => { form.hidden = true; notice(t('favorite_added', { name })); });
  } },
  h('label', {}, t('favorite_name'), ' ', input),
  h('button', { type: 'submit' }, t('save')),
  button(t('cancel'), () => { form.hidden = true; }));
  return form;
}

// Playing waits until the player plays; a person who went elsewhere
// meanwhile stays there.
async function play(playPath) {
  const from = location.hash;
  const ok = await act({ cmd: 'player', action: 'play', play_path: playPath });
  if (ok && location.hash === from) location.hash = '#/now';
}

// ---- now playing ----

function nowView() {
  heading(t('now_title'));
  const seek = h('input', { type: 'range', min: '0', max: '100', step: '1', value: '0', id: 'seek', 'aria-label': t('seek_percent') });
  const seekOut = h('output', { for: 'seek' }, '0 %');
  let seekTimer = null;
  seek.addEventListener('input', () => {
    seekOut.textContent = `${seek.value} %`;
    clearTimeout(seekTimer);
    seekTimer = setTimeout(() => act({ cmd: 'player', action: 'moveto', position: seek.value }), SEEK_DELAY);
  });
  const step = (label, value, text) => button(text, () => act({ cmd: 'player', action: 'addpos', value: String(value) }), { 'aria-label': label });
  const quick = [0, 25, 50, 75].map((n) => button(`${n} %`, () => { seek.value = n; seekOut.textContent = `${n} %`; act({ cmd: 'player', action: 'moveto', position: String(n) }); }, { 'aria-label': t('seek_to', { n }) }));
  view.append(
    h('div', { class: 'toolbar' },
      button(t('power_on'), () => act({ cmd: 'player', action: 'poweron' }, () => loadPlaylist(false))),
      button(t('shuffle'), () => act({ cmd: 'player', action: 'toggle_shuffle' }, () => loadPlaylist(false)))),
    h('section', { class: 'position', 'aria-label': t('position') },
      h('h2', {}, t('position')),
      h('div', { class: 'seekline' }, seek, seekOut),
      h('div', { class: 'toolbar quick' }, quick),
      h('div', { class: 'toolbar steps' },
        step(t('back_10m'), -600, '−10:00'), step(t('back_1m'), -60, '−1:00'), step(t('back_10s'), -10, '−0:10'),
        step(t('fwd_10s'), 10, '+0:10'), step(t('fwd_1m'), 60, '+1:00'), step(t('fwd_10m'), 600, '+10:00'))),
    h('section', { class: 'volume', 'aria-label': t('volume') },
      h('h2', {}, t('volume')),
      h('div', { class: 'toolbar' },
        button('−', () => act({ cmd: 'player', action: 'addvol', value: '-5' }), { 'aria-label': t('volume_down') }),
        button('+', () => act({ cmd: 'player', action: 'addvol', value: '5' }), { 'aria-label': t('volume_up') }))),
    h('h2', {}, t('playlist')),
    h('div', { id: 'playlist' }));
  state.playlist = null;
  loadPlaylist(false);
}

// One "playlist" request; quiet ones (the timed refresh) do not show the
// working sign and leave the trace log alone.
async function loadPlaylist(quiet) {
  let answer;
  try {
    answer = await api.call({ cmd: 'player', action: 'playlist', log: '0' }, { quiet });
  } catch (e) {
    showError(e);
  }
  const box = document.getElementById('playlist');
  if (!box) return; // the view was left meanwhile
  if (answer !== undefined) renderPlaylist(box, answer);
  if (!refresher.active) refresher.start();
  refresher.ran();
}

function renderPlaylist(box, answer) {
  const rows = L.playlistRows(answer);
  const hash = answer && answer.desc ? answer.desc.hash : '';
  const same = state.playlist === hash && box.querySelector('ol') && rows.length === state.rows.length;
  state.rows = rows;
  if (!same) {
    state.playlist = hash;
    if (!rows.length) {
      box.replaceChildren(h('p', {}, t('nothing_playing')));
      return;
    }
    box.replaceChildren(h('ol', { class: 'playlist', 'aria-label': t('playlist') }, rows.map((r) =>
      h('li', { class: r.track ? 'track' : 'item' },
        button([h('span', { class: 'glyph', 'aria-hidden': 'true' }, '▶'), h('span', { class: 'title' }, r.title)],
          () => act({ cmd: 'player', action: 'playlist_move', position: String(r.index) }, () => loadPlaylist(false)),
          { class: 'row', 'data-row': String(r.index) })))));
  }
  for (const b of box.querySelectorAll('button.row')) {
    const row = rows.find((r) => String(r.index) === b.dataset.row);
    if (row && row.current) b.setAttribute('aria-current', 'true');
    else b.removeAttribute('aria-current');
  }
}

// ---- history ----

async function historyView() {
  heading(t('history_title'));
  const list = h('ul', { class: 'entries', 'aria-label': t('history_title') });
  view.append(list);
  await act({ cmd: 'history', action: 'get' }, (answer) => {
    if (!Array.isArray(answer) || !answer.length) {
      list.replaceWith(h('p', {}, t('no_history')));
      return;
    }
    for (const entry of answer) {
      list.append(h('li', {},
        h('div', { class: 'what' },
          h('a', { href: browseHref(entry.virtual_path), 'aria-label': t('open_named', { name: entry.title }) }, entry.title),
          h('span', { class: 'detail' }, t('history_at', { n: Math.max(0, entry.last_index) + 1, time: L.formatTime(entry.play_position) }))),
        button(t('resume_named', { name: '' }).trim() || '▶', async () => {
          const from = location.hash;
          const ok = await act(L.resumeParams(entry));
          if (ok && location.hash === from) location.hash = '#/now';
        }, { 'aria-label': t('resume_named', { name: entry.title }) })));
    }
  });
}

// ---- favourites ----

async function favoritesView() {
  heading(t('favorites_title'));
  const list = h('ul', { class: 'entries', 'aria-label': t('favorites_title') });
  view.append(list);
  await act({ cmd: 'favorite', action: 'list' }, (answer) => {
    const favorites = answer.favorite || [];
    if (!favorites.length) list.replaceWith(h('p', {}, t('no_favorites')));
    for (const f of favorites) {
      const item = h('li', {},
        h('div', { class: 'what' }, h('a', { href: browseHref(f.path) }, f.name), h('span', { class: 'detail' }, f.path)),
        button('✕', () => act({ cmd: 'favorite', action: 'del', name: f.name }, () => { item.remove(); notice(t('favorite_removed', { name: f.name })); }),
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
  await act({ cmd: 'network_source_list' }, (answer) => {
    const sources = answer.sources || [];
    if (!sources.length) list.replaceWith(h('p', {}, t('no_shares')));
    for (const s of sources) {
      list.append(h('li', {},
        h('div', { class: 'what' }, h('a', { href: browseHref(s.name) }, s.title),
          h('span', { class: 'detail' }, `${s.type} · ${s.path}${s.is_persist === '1' ? ` · ${t('share_player')}` : ''}`)),
        button('✕', () => act({ cmd: 'network_source_del', source_key: s.key }, () => { notice(t('share_removed', { name: s.title })); view.replaceChildren(); sharesView(); }),
          { 'aria-label': t('remove_named', { name: s.title }) })));
    }
  });
}

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
    const params = { cmd: 'network_source_add' };
    for (const k of ['title', 'type', 'protocol', 'address', 'path', 'user', 'password']) params[k] = String(d.get(k) || '');
    act(params, () => { notice(t('share_added', { name: params.title })); done(); });
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

// ---- options, update ----

async function optionsView() {
  heading(t('options_title'));
  const form = h('form', { class: 'options', onsubmit: (ev) => ev.preventDefault() });
  view.append(form);
  const about = h('section', { 'aria-label': t('about') }, h('h2', {}, t('about')),
    h('p', {}, t('version', { v: state.app ? state.app.version : '?' })),
    button(t('check_update'), () => checkUpdate(false)),
    h('div', { id: 'update-result' }),
    h('p', {}, h('a', { href: '/cgi-bin/do2?cmd=log&log=0', target: '_blank', rel: 'noopener' }, t('show_log'))));
  view.append(about);
  await act({ cmd: 'option', action: 'list' }, (answer) => {
    state.options = answer.options || {};
    const o = state.options;
    const set = (name, value, after) => act({ cmd: 'option', action: 'set', opt_name: name, opt_value: value }, async () => {
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
    form.append(h('label', { class: 'field' }, h('span', {}, t('language')), language),
      check('show_covers'), check('play_dwc'), check('pbopt'), check('autocheck_upd'));
  });
}

async function checkUpdate(auto) {
  const params = { cmd: 'check_new_version' };
  if (auto) params.auto_mode = '1';
  let answer;
  try {
    answer = await api.call(params, { quiet: auto });
  } catch (e) {
    if (auto) notice(t('update_check_failed', { e: e.message }));
    else showError(e);
    return;
  }
  if (!answer || answer.message === 'cancel' || answer.versionNumber === undefined) return;
  const newer = L.compareVersions(answer.versionNumber, answer.currentVersionNumber) > 0;
  if (!newer) {
    if (!auto) showUpdate(h('p', {}, t('up_to_date', { v: answer.currentVersionNumber })));
    return;
  }
  showUpdate(h('p', {}, t('update_available', { v: answer.versionNumber, c: answer.currentVersionNumber })),
    button(t('install_update'), () => act({ cmd: 'try_update' }, () => showUpdate(h('p', {}, t('update_done'))))),
    button(t('later'), () => act({ cmd: 'cancel_update' }, () => showUpdate(h('p', {}, t('update_postponed'))))));
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
    button(t('remind_later'), () => act({ cmd: 'drml' }, () => banner.replaceChildren())),
    button(t('close'), () => banner.replaceChildren())));
}

// ---- start ----

function applyStaticTexts() {
  document.title = t('app_title');
  document.querySelector('header .brand').textContent = t('app_title');
  document.getElementById('nav').setAttribute('aria-label', t('nav_label'));
  for (const a of document.querySelectorAll('#nav a')) a.textContent = t(`nav_${a.dataset.section}`);
  document.getElementById('busy').textContent = t('working');
  const dismiss = document.querySelector('#error button');
  dismiss.textContent = t('dismiss');
  document.querySelector('#error .prefix').textContent = t('error_prefix');
}

async function start() {
  document.querySelector('#error button').addEventListener('click', hideError);
  applyStaticTexts();
  try {
    state.app = await api.call({ cmd: 'app_info', log: '0' });
    if (state.app.lng && state.app.lng !== 'en') {
      await loadDictionary(api, state.app.lng);
      applyStaticTexts();
    }
  } catch (e) {
    showError(e);
  }
  window.addEventListener('hashchange', () => { hideError(); route(); });
  route();
  if (state.app && state.app.sdb) showDonation();
  if (state.app && Number(state.app.nnvc) <= Date.now() / 1000) checkUpdate(true);
}

start();
