// The page's own logic, run by node's test runner: paths and the address,
// playlist rows, long lists, error texts, the request queue, the status
// refresh timer, and the shipped files (size, no outside hosts, dictionaries).
import assert from 'node:assert/strict';
import { readdirSync, readFileSync, statSync } from 'node:fs';
import { join } from 'node:path';
import { describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { makeApi } from '../../www/rc/api.js';
import { LANGUAGES } from '../../www/rc/i18n.js';
import * as L from '../../www/rc/logic.js';

const www = fileURLToPath(new URL('../../www/rc/', import.meta.url));

describe('paths and values', () => {
  test('each function on its cases', () => {
    const cases = [
      ['a folder goes up to its parent', L.parentPath, ['local/DEMO/Music/Live Concert'], 'local/DEMO/Music'],
      ['a trailing "/" is no level', L.parentPath, ['local/DEMO/Music/'], 'local/DEMO'],
      ['a source root has no parent', L.parentPath, ['smb/NAS'], null],
      ['the name of a root', L.baseName, ['local/Music Stick/'], 'Music Stick'],
      ['breadcrumb steps start at the source root', L.pathSteps, ['smb/NAS/Music/Quiet Hours'],
        [{ name: 'NAS', path: 'smb/NAS' }, { name: 'Music', path: 'smb/NAS/Music' }, { name: 'Quiet Hours', path: 'smb/NAS/Music/Quiet Hours' }]],
      ['an address opens its view', L.parseRoute, ['#/browse/local%2FDEMO%2FM%C3%BCsik'], { section: 'browse', arg: 'local/DEMO/Müsik' }],
      ['another view', L.parseRoute, ['#/now'], { section: 'now', arg: '' }],
      ['no address: the start view', L.parseRoute, [''], { section: 'browse', arg: '' }],
      ['a malformed escape: the start view', L.parseRoute, ['#/browse/local%2FDEMO%E0%A4%A'], { section: 'browse', arg: '' }],
      ['a history entry names its storage and folders', L.placeOf, ['smb/NAS/Music/Live Concert'], 'NAS / Music'],
      ['a storage\'s root is itself the place', L.placeOf, ['local/Music Stick'], ''],
      ['versions compare by number', L.compareVersions, ['0.10', '0.9.9'], 1],
      ['a missing part counts as 0', L.compareVersions, ['0.7', '0.7.1'], -1],
      ['equal versions', L.compareVersions, ['0.7.1', '0.7.1'], 0],
      ['m:ss', L.formatTime, [65], '1:05'],
      ['h:mm:ss', L.formatTime, [3725], '1:02:05'],
      ['no negative time', L.formatTime, [-3], '0:00'],
      ['a key code: the complement, then BF00', L.isValidKeyCode, ['E21DBF00'], true],
      ['a key code whose first byte is no complement', L.isValidKeyCode, ['E21EBF00'], false],
      ['a key code in lower case', L.isValidKeyCode, ['e21dBF00'], false],
      ['a key code not ending in BF00', L.isValidKeyCode, ['E21DBF01'], false],
      ['a key code of seven digits', L.isValidKeyCode, ['E21DBF0'], false],
      ['a history entry resumes at its file and position', L.resumeParams, [{ virtual_path: 'local/DEMO/Music', last_index: 2, play_position: 301 }],
        { cmd: 'history', action: 'resume_play', dir_play_path: 'local/DEMO/Music', start_index: '2', position: '301' }],
      ['an unknown file starts the folder', L.resumeParams, [{ virtual_path: 'p', last_index: -1, play_position: 0 }],
        { cmd: 'history', action: 'resume_play', dir_play_path: 'p', start_index: '0', position: '0' }],
      ['the dictionary call is read as data', L.parseJsonp, ['dict({"a":"b = c","x":"\\u0410"}\n)'], { a: 'b = c', x: 'А' }],
      ['a dictionary file up to its first empty line, the later of two keys', L.parseDictionary,
        ['a = b = c\nno separator\na = d\nx = \u0410\n\nafter = gone\n'], { a: 'd', x: 'А' }],
    ];
    for (const [description, fn, args, expected] of cases) assert.deepEqual(fn(...args), expected, description);
    assert.throws(() => L.parseJsonp('alert(1);dict({})'));
  });
  test('a long list draws the rows in view and a margin; a short one all of them', () => {
    const range = (count, viewTop, viewHeight) => L.visibleRange({ count, rowHeight: 48, viewTop, viewHeight, extra: 5 });
    assert.deepEqual(range(5000, 48 * 1000, 480), { first: 995, last: 1015 });
    assert.deepEqual(range(5000, -2000, 740), { first: 0, last: 0 });
    assert.deepEqual(range(5000, 48 * 4990, 740), { first: 4985, last: 5000 });
    assert.deepEqual(range(30, 9999, 0), { first: 0, last: 30 });
  });
});

describe('playlist rows', () => {
  const rows = L.playlistRows({
    desc: { hash: 'X' },
    items: [
      { index: 0, play: false, title: 'a.flac' },
      { index: 1, play: true, title: 'Live.flac', subitems: [
        { index: 2, play: false, title: 'Opening' }, { index: 3, play: true, title: 'Ballad' }] },
      { index: 4, play: true, title: 'dup.flac' },
    ],
  });
  test('cue tracks follow their file, and only a track carries the mark of a file with tracks', () => {
    assert.deepEqual(rows.map((r) => [r.index, r.track, r.current]), [
      [0, false, false], [1, false, false], [2, true, false], [3, true, true], [4, false, true]]);
    assert.equal(L.currentRow(rows), 3);
    assert.deepEqual(L.playlistRows({}), [], 'nothing plays');
    assert.equal(L.currentRow([]), -1);
  });
  test('previous and next step through files and cue tracks, never to a file\'s own row above its tracks', () => {
    const cases = [[0, -1, 2], [2, 0, 3], [3, 2, 4], [4, 3, -1], [1, 0, 2], [-1, -1, -1]];
    for (const [current, previous, next] of cases) assert.deepEqual(L.neighbours(rows, current), { previous, next }, `row ${current}`);
  });
  test('another album whose file has the same name draws its own tracks', () => {
    const album = (tracks) => L.playlistRows({ desc: { hash: 'H' }, items: [
      { index: 0, play: true, title: 'CDImage.flac', subitems: tracks.map((title, i) => ({ index: i + 1, play: false, title })) }] });
    assert.notEqual(L.rowsPrint(album(['Intro', 'Song'])), L.rowsPrint(album(['Overture', 'Finale'])));
    assert.equal(L.rowsPrint(album(['Intro', 'Song'])), L.rowsPrint(album(['Intro', 'Song'])));
  });
});

test('error answers are told in words, by what failed and on which request', () => {
  const answer = (text, status = 500) => ({ message: text, status, kind: 'answer' });
  const cases = [
    [answer('invalid path'), { cmd: 'file_list', path: 'smb/NAS/Music' }, 'err_share'],
    [answer('invalid path'), { cmd: 'player', action: 'play', play_path: 'local/DEMO/a.mp3' }, 'err_gone'],
    [answer('invalid path'), { cmd: 'history', action: 'resume_play', dir_play_path: 'nfs/Box/x' }, 'err_share'],
    [answer('Tavo::play error o_O'), {}, 'err_not_playable'],
    [answer('player does not wake up'), {}, 'err_wake'],
    [answer('error 4'), {}, 'err_update_unsigned'],
    [answer('cross-site request refused', 403), {}, 'err_cross_site'],
    [answer('/tmp/mnt/sda1/a.mp3not a directory'), {}, 'err_not_folder'],
    [answer('dir error (13): /tmp/mnt/sda1/Locked'), {}, 'err_folder_unreadable'],
    [answer('row not reached'), {}, 'err_row_not_reached'],
    [answer('seek too far'), {}, 'err_seek_far'],
    [answer('player does not answer'), {}, 'err_no_answer'],
    [answer('', 502), {}, 'err_http'],
    [answer('something new'), {}, 'err_other'],
    [{ message: 'Failed to fetch', kind: 'network' }, {}, 'err_network'],
  ];
  for (const [error, params, key] of cases) assert.equal(L.describeError(error, params).key, key, `${error.message} ${JSON.stringify(params)}`);
  assert.deepEqual(L.describeError(answer('Invalid cue: /m/A/b.cue')), { key: 'err_cue', values: { file: 'b.cue' } });
  assert.deepEqual(L.describeError({ kind: 'timeout', limit: 15000 }), { key: 'err_timeout', values: { s: 15 } });
});

// A fake fetch whose answers the test releases one by one.
function pendingFetch() {
  const calls = [];
  const fetchFn = (url, init) => new Promise((resolve, reject) => {
    calls.push({ url, init, resolve, reject });
    if (init && init.signal) init.signal.addEventListener('abort', () => reject(new Error('aborted')));
  });
  const answer = (i, status, body, type = 'application/json; charset=utf8') =>
    calls[i].resolve({ ok: status === 200, status, text: async () => body, headers: { get: () => type } });
  return { calls, fetchFn, answer };
}
const tick = () => new Promise((r) => setTimeout(r, 0));

describe('request queue', () => {
  test('one request at a time; an error answer rejects with the box\'s text and does not stop the queue', async () => {
    const f = pendingFetch();
    const api = makeApi({ fetchFn: f.fetchFn, busyAfter: 1e6 });
    const bad = api.call({ cmd: 'file_list', path: 'local/NO SUCH' });
    const next = api.call({ cmd: 'favorite', action: 'list' });
    await tick();
    assert.equal(f.calls.length, 1);
    assert.equal(f.calls[0].url, '/cgi-bin/do2?cmd=file_list&path=local%2FNO+SUCH');
    assert.equal(api.idle(), false);
    f.answer(0, 500, 'invalid path', 'text/plain');
    await assert.rejects(bad, (e) => e.status === 500 && e.message === 'invalid path');
    await tick();
    assert.equal(f.calls[1].url, '/cgi-bin/do2?cmd=favorite&action=list');
    f.answer(1, 200, '{"favorite":[]}');
    assert.deepEqual(await next, { favorite: [] });
    await tick();
    assert.equal(api.idle(), true);
  });
  test('a long request reports busy once, in its own words, and not busy when the queue is empty', async () => {
    const f = pendingFetch();
    const seen = [];
    const fire = [];
    const timers = { setTimeout: (fn, ms) => { fire.push({ fn, ms }); return fire.length; }, clearTimeout: () => {} };
    const api = makeApi({ fetchFn: f.fetchFn, onBusy: (b) => seen.push(b), timers });
    const p = api.call({ cmd: 'try_update' }, { busy: 'Installing', limit: 1000000 });
    await tick();
    fire.find((x) => x.ms === 400).fn();
    f.answer(0, 200, '{"message":"ok"}');
    await p;
    await tick();
    assert.deepEqual(seen, ['Installing', null]);
  });
  test('a second start replaces one still waiting; the one running goes on', async () => {
    const f = pendingFetch();
    const api = makeApi({ fetchFn: f.fetchFn, busyAfter: 1e6 });
    const play = (path) => api.call({ cmd: 'player', action: 'play', play_path: path }, { slot: 'start' });
    const running = play('a');
    const waiting = play('b');
    const last = play('c');
    await assert.rejects(waiting, (e) => e.kind === 'superseded');
    f.answer(0, 200, '{"message":"ok"}');
    await running;
    await tick();
    assert.equal(f.calls.length, 2);
    assert.equal(f.calls[1].url, '/cgi-bin/do2?cmd=player&action=play&play_path=c');
    f.answer(1, 200, '{"message":"ok"}');
    await last;
  });
  test('a request the box does not answer in time fails with its limit and frees the queue', async () => {
    const f = pendingFetch();
    let expire;
    const timers = { setTimeout: (fn, ms) => { if (ms === 15000) expire = fn; return 1; }, clearTimeout: () => {} };
    const api = makeApi({ fetchFn: f.fetchFn, timers, busyAfter: 1e6 });
    const hung = api.call({ cmd: 'player', action: 'status' }, { limit: 15000 });
    const next = api.call({ cmd: 'app_info' });
    await tick();
    expire();
    await assert.rejects(hung, (e) => e.kind === 'timeout' && e.limit === 15000);
    await tick();
    f.answer(1, 200, '{}');
    await next;
  });
  test('a body goes as a one-line form POST, the command in the query', async () => {
    const f = pendingFetch();
    const api = makeApi({ fetchFn: f.fetchFn, busyAfter: 1e6 });
    const p = api.call({ cmd: 'network_source_add' }, { body: { title: 'NAS', password: 'a&b\nc' } });
    await tick();
    assert.equal(f.calls[0].url, '/cgi-bin/do2?cmd=network_source_add');
    assert.equal(f.calls[0].init.method, 'POST');
    assert.equal(f.calls[0].init.body, 'title=NAS&password=a%26b%0Ac');
    f.answer(0, 200, '{"message":"ok"}');
    await p;
  });
});

// Timers under the test's hand: runNext() moves the clock to the next timer.
function fakeTimers() {
  let now = 0;
  let next = 1;
  const pending = new Map();
  return {
    now: () => now,
    setTimeout: (fn, ms) => { pending.set(next, { fn, at: now + ms }); return next++; },
    clearTimeout: (id) => pending.delete(id),
    pending,
    async runNext() {
      const [id, t] = [...pending.entries()].sort((a, b) => a[1].at - b[1].at)[0] || [];
      if (!t) return;
      pending.delete(id);
      now = t.at;
      await t.fn();
    },
    advance(ms) { now += ms; },
  };
}

describe('status refresh', () => {
  test('asks every interval from the start of the last run, not sooner than a gap after its end, and only while visible', async () => {
    const timers = fakeTimers();
    const runs = [];
    let visible = true;
    let takes = 300;
    const r = L.makeRefresher({ interval: 2000, gap: 500, timers, visible: () => visible,
      task: async () => { runs.push(timers.now()); timers.advance(takes); } });
    r.start();
    for (let i = 0; i < 3; i++) await timers.runNext();
    takes = 1800;
    for (let i = 0; i < 2; i++) await timers.runNext();
    assert.deepEqual(runs, [0, 2000, 4000, 6000, 8300]);
    visible = false;
    r.poke();
    assert.equal(timers.pending.size, 0, 'a hidden page asks nothing');
    timers.advance(60000);
    visible = true;
    r.poke();
    await timers.runNext();
    assert.equal(runs.length, 6);
    r.stop();
    assert.equal(timers.pending.size, 0);
  });
  test('a run made by hand puts the next timed one a full interval off; a busy queue defers it', async () => {
    const timers = fakeTimers();
    const runs = [];
    let idle = true;
    const r = L.makeRefresher({ interval: 2000, timers, visible: () => true, idle: () => idle,
      task: async () => { runs.push(timers.now()); } });
    r.start();
    timers.advance(1000);
    r.ran();
    await timers.runNext();
    assert.deepEqual(runs, [3000]);
    idle = false;
    await timers.runNext(); // at 5000: something else waits, so no request
    idle = true;
    await timers.runNext();
    assert.deepEqual(runs, [3000, 7000]);
  });
});

describe('shipped files', () => {
  const files = [];
  (function walk(dir) {
    for (const name of readdirSync(dir)) {
      const p = join(dir, name);
      if (statSync(p).isDirectory()) walk(p);
      else files.push(p);
    }
  })(www);
  const source = (name) => readFileSync(join(www, name), 'utf8');

  test('within 150 KB, nothing from another host, and a manifest with its icons for the home screen', () => {
    const total = files.reduce((n, f) => n + statSync(f).size, 0);
    assert.ok(total <= 150 * 1024, `${total} bytes`);
    for (const f of files.filter((name) => !name.endsWith('.png'))) {
      const text = readFileSync(f, 'utf8');
      assert.doesNotMatch(text, /(https?:)?\/\/[a-z0-9.-]+\.[a-z]{2,}/i, f);
      assert.doesNotMatch(text, /@import|url\(\s*['"]?(https?:|\/\/)/i, f);
    }
    const manifest = JSON.parse(source('manifest.webmanifest'));
    assert.equal(manifest.display, 'standalone');
    for (const icon of manifest.icons) {
      const png = readFileSync(join(www, icon.src));
      assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], icon.sizes.split('x').map(Number), icon.src);
    }
    assert.match(source('index.html'), /<link rel="manifest" href="manifest.webmanifest">/);
  });
  test('every text the page names is in the English dictionary, and every language has every key', () => {
    const read = (code) => {
      const text = source(`i18n/${code}`);
      const dictionary = L.parseDictionary(text);
      assert.equal(Object.keys(dictionary).length, text.trimEnd().split('\n').length,
        `${code}: every line a key of its own, no empty line that cuts the dictionary`);
      return dictionary;
    };
    const english = read('en');
    const named = [
      ...source('app.js').matchAll(/\bt\('(\w+)'/g),
      ...source('index.html').matchAll(/data-t(?:-label)?="(\w+)"/g),
      ...source('logic.js').matchAll(/'(err_\w+)'/g),
    ].map((m) => m[1]);
    assert.ok(named.length > 150, `${named.length} texts named`);
    for (const key of named) assert.ok(english[key], `${key} has no English text`);
    for (const { code } of LANGUAGES) {
      const d = read(code);
      assert.deepEqual(Object.keys(d).sort(), Object.keys(english).sort(), code);
      for (const [k, v] of Object.entries(english)) {
        for (const slot of v.match(/\{\w+\}/g) || []) assert.ok(d[k].includes(slot), `${code} ${k} lacks ${slot}`);
      }
    }
  });
});
