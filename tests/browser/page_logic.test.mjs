// The page's own logic, run by node's test runner: the address, paths,
// playlist rows and neighbours, long lists, error texts, versions, the request
// queue, the status refresh timer, and the shipped files themselves (size, no
// outside hosts, dictionaries complete).
import assert from 'node:assert/strict';
import { readdirSync, readFileSync, statSync } from 'node:fs';
import { join } from 'node:path';
import { describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { makeApi } from '../../www/rc/api.js';
import { ENGLISH, LANGUAGES } from '../../www/rc/i18n.js';
import * as L from '../../www/rc/logic.js';

const www = fileURLToPath(new URL('../../www/rc/', import.meta.url));

describe('paths', () => {
  test('a folder goes up to its parent, a source root to the source list', () => {
    assert.equal(L.parentPath('local/DEMO/Music/Live Concert'), 'local/DEMO/Music');
    assert.equal(L.parentPath('local/DEMO/Music/'), 'local/DEMO');
    assert.equal(L.parentPath('local/DEMO'), null);
    assert.equal(L.parentPath('smb/NAS'), null);
  });
  test('breadcrumb steps start at the source root', () => {
    assert.deepEqual(L.pathSteps('smb/NAS/Music/Quiet Hours'), [
      { name: 'NAS', path: 'smb/NAS' },
      { name: 'Music', path: 'smb/NAS/Music' },
      { name: 'Quiet Hours', path: 'smb/NAS/Music/Quiet Hours' },
    ]);
    assert.equal(L.baseName('local/Music Stick/'), 'Music Stick');
  });
  test('an address opens its view; one that cannot be decoded opens the start view', () => {
    assert.deepEqual(L.parseRoute('#/browse/local%2FDEMO%2FM%C3%BCsik'), { section: 'browse', arg: 'local/DEMO/Müsik' });
    assert.deepEqual(L.parseRoute('#/now'), { section: 'now', arg: '' });
    assert.deepEqual(L.parseRoute(''), { section: 'browse', arg: '' });
    assert.deepEqual(L.parseRoute('#/browse/local%2FDEMO%E0%A4%A'), { section: 'browse', arg: '' });
  });
  test('a history entry says on which storage or share it lies', () => {
    assert.equal(L.placeOf('local/DEMO/Music/Live Concert'), 'DEMO / Music');
    assert.equal(L.placeOf('smb/NAS/Music/Live Concert'), 'NAS / Music');
    assert.equal(L.placeOf('local/Music Stick'), '', 'a storage\'s root is itself the place');
  });
});

describe('playlist rows', () => {
  const answer = {
    desc: { hash: 'X' },
    items: [
      { index: 0, play: false, title: 'a.flac' },
      { index: 1, play: true, title: 'Live.flac', subitems: [
        { index: 2, play: false, title: 'Opening' }, { index: 3, play: true, title: 'Ballad' }] },
      { index: 4, play: true, title: 'dup.flac' },
    ],
  };
  test('cue tracks follow their file, and only a track carries the mark of a file with tracks', () => {
    const rows = L.playlistRows(answer);
    assert.deepEqual(rows.map((r) => [r.index, r.track, r.current]), [
      [0, false, false], [1, false, false], [2, true, false], [3, true, true], [4, false, true]]);
    assert.equal(L.currentRow(rows), 3);
  });
  test('the empty answer of nothing playing has no rows', () => {
    assert.deepEqual(L.playlistRows({}), []);
    assert.equal(L.currentRow([]), -1);
  });
  test('previous and next step through files and cue tracks, never to a file\'s own row above its tracks', () => {
    const rows = L.playlistRows(answer);
    const cases = [[0, -1, 2], [2, 0, 3], [3, 2, 4], [4, 3, -1], [1, 0, 2], [-1, -1, -1]];
    for (const [current, previous, next] of cases) assert.deepEqual(L.neighbours(rows, current), { previous, next }, `row ${current}`);
  });
  test('a long list draws the rows in view and a margin; a short one all of them', () => {
    assert.deepEqual(L.visibleRange({ count: 5000, rowHeight: 48, viewTop: 48 * 1000, viewHeight: 480, extra: 5 }), { first: 995, last: 1015 });
    assert.deepEqual(L.visibleRange({ count: 5000, rowHeight: 48, viewTop: -2000, viewHeight: 740, extra: 5 }), { first: 0, last: 0 });
    assert.deepEqual(L.visibleRange({ count: 5000, rowHeight: 48, viewTop: 48 * 4990, viewHeight: 740, extra: 5 }), { first: 4985, last: 5000 });
    assert.deepEqual(L.visibleRange({ count: 30, rowHeight: 48, viewTop: 9999, viewHeight: 0 }), { first: 0, last: 30 });
  });
});

describe('answers and values', () => {
  test('versions compare by number, part by part', () => {
    assert.equal(L.compareVersions('0.8.0', '0.7.1'), 1);
    assert.equal(L.compareVersions('0.10', '0.9.9'), 1);
    assert.equal(L.compareVersions('0.7.1', '0.7.1'), 0);
    assert.equal(L.compareVersions('0.7', '0.7.1'), -1);
  });
  test('the dictionary call is read as data, with its line feed before the parenthesis', () => {
    assert.deepEqual(L.parseJsonp('dict({"a":"b = c","x":"\\u0410"}\n)'), { a: 'b = c', x: 'А' });
    assert.deepEqual(L.parseJsonp('dict({}\n)'), {});
    assert.throws(() => L.parseJsonp('alert(1);dict({})'));
  });
  test('a history entry resumes at its file and position; an unknown file starts the folder', () => {
    assert.deepEqual(L.resumeParams({ virtual_path: 'local/DEMO/Music', last_index: 2, play_position: 301 }),
      { cmd: 'history', action: 'resume_play', dir_play_path: 'local/DEMO/Music', start_index: '2', position: '301' });
    assert.equal(L.resumeParams({ virtual_path: 'p', last_index: -1, play_position: 0 }).start_index, '0');
  });
  test('a key code follows the rule of the remote\'s codes', () => {
    for (const [code, valid] of [['E21DBF00', true], ['00FFBF00', true], ['E21EBF00', false], ['e21dBF00', false], ['E21DBF01', false], ['E21DBF0', false]])
      assert.equal(L.isValidKeyCode(code), valid, code);
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
      [answer('error 3'), {}, 'err_update_broken'],
      [answer('cross-site request refused', 403), {}, 'err_cross_site'],
      [answer('Invalid cue: /tmp/mnt/sda1/A/b.cue'), {}, 'err_cue'],
      [answer('/tmp/mnt/sda1/a.mp3not a directory'), {}, 'err_not_folder'],
      [answer('', 502), {}, 'err_http'],
      [answer('something new'), {}, 'err_other'],
      [{ message: 'Failed to fetch', kind: 'network' }, {}, 'err_network'],
      [{ message: 'timeout', kind: 'timeout', limit: 15000 }, {}, 'err_timeout'],
    ];
    for (const [error, params, key] of cases) assert.equal(L.describeError(error, params).key, key, `${error.message} ${JSON.stringify(params)}`);
    assert.deepEqual(L.describeError(answer('Invalid cue: /m/A/b.cue')).values, { file: 'b.cue' });
    assert.deepEqual(L.describeError({ kind: 'timeout', limit: 15000 }).values, { s: 15 });
    for (const key of ['err_share', 'err_gone', 'err_not_playable', 'err_wake', 'err_update_unsigned', 'err_update_broken', 'err_cross_site',
      'err_cue', 'err_not_folder', 'err_http', 'err_other', 'err_network', 'err_timeout']) assert.ok(ENGLISH[key], key);
  });
  test('times read as m:ss or h:mm:ss', () => {
    assert.equal(L.formatTime(65), '1:05');
    assert.equal(L.formatTime(3725), '1:02:05');
    assert.equal(L.formatTime(-3), '0:00');
  });
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
  test('a second request waits until the first one is answered', async () => {
    const f = pendingFetch();
    const api = makeApi({ fetchFn: f.fetchFn, busyAfter: 1e6 });
    const first = api.call({ cmd: 'storage_list' });
    const second = api.call({ cmd: 'favorite', action: 'list' });
    await tick();
    assert.equal(f.calls.length, 1);
    assert.equal(f.calls[0].url, '/cgi-bin/do2?cmd=storage_list');
    assert.equal(api.idle(), false);
    f.answer(0, 200, '{"storages":[]}');
    assert.deepEqual(await first, { storages: [] });
    await tick();
    assert.equal(f.calls.length, 2);
    assert.equal(f.calls[1].url, '/cgi-bin/do2?cmd=favorite&action=list');
    f.answer(1, 200, '{"favorite":[]}');
    await second;
    await tick();
    assert.equal(api.idle(), true);
  });
  test('an error answer rejects with the text of the box and does not stop the queue', async () => {
    const f = pendingFetch();
    const api = makeApi({ fetchFn: f.fetchFn, busyAfter: 1e6 });
    const bad = api.call({ cmd: 'file_list', path: 'local/NO SUCH' });
    const next = api.call({ cmd: 'app_info' });
    await tick();
    assert.equal(f.calls[0].url, '/cgi-bin/do2?cmd=file_list&path=local%2FNO+SUCH');
    f.answer(0, 500, 'invalid path', 'text/plain');
    await assert.rejects(bad, (e) => e.status === 500 && e.message === 'invalid path');
    await tick();
    f.answer(1, 200, '{"lng":"en"}');
    assert.deepEqual(await next, { lng: 'en' });
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
    const running = api.call({ cmd: 'player', action: 'play', play_path: 'a' }, { slot: 'start' });
    const waiting = api.call({ cmd: 'player', action: 'play', play_path: 'b' }, { slot: 'start' });
    const last = api.call({ cmd: 'player', action: 'play', play_path: 'c' }, { slot: 'start' });
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

// Timers under the test's hand: run() moves the clock to the next timer.
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
      if (!t) return false;
      pending.delete(id);
      now = t.at;
      await t.fn();
      return true;
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
    assert.equal(timers.pending.size, 0);
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

  test('the page can be put on a home screen: manifest and icons', () => {
    const manifest = JSON.parse(readFileSync(join(www, 'manifest.webmanifest'), 'utf8'));
    assert.equal(manifest.display, 'standalone');
    for (const icon of manifest.icons) {
      const png = readFileSync(join(www, icon.src));
      const [w, h] = icon.sizes.split('x').map(Number);
      assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [w, h], icon.src);
    }
    assert.match(readFileSync(join(www, 'index.html'), 'utf8'), /<link rel="manifest" href="manifest.webmanifest">/);
  });
  test('all together stay within 150 KB', () => {
    const total = files.reduce((n, f) => n + statSync(f).size, 0);
    assert.ok(total <= 150 * 1024, `${total} bytes`);
  });
  test('nothing is loaded from another host', () => {
    for (const f of files.filter((name) => !name.endsWith('.png'))) {
      const text = readFileSync(f, 'utf8');
      assert.doesNotMatch(text, /(https?:)?\/\/[a-z0-9.-]+\.[a-z]{2,}/i, f);
      assert.doesNotMatch(text, /@import|url\(\s*['"]?(https?:|\/\/)/i, f);
    }
  });
  test('the English dictionary is the page\'s own English and every language has every key', () => {
    const read = (code) => {
      const lines = readFileSync(join(www, 'i18n', code), 'utf8').split('\n');
      const end = lines.indexOf('');
      assert.equal(end, lines.length - 1, `${code}: an empty line before the end would cut the dictionary`);
      return Object.fromEntries(lines.slice(0, end).map((l) => {
        const at = l.indexOf(' = ');
        assert.ok(at > 0, `${code}: "${l}"`);
        return [l.slice(0, at), l.slice(at + 3)];
      }));
    };
    assert.deepEqual(read('en'), ENGLISH);
    for (const { code } of LANGUAGES) {
      const d = read(code);
      assert.deepEqual(Object.keys(d).sort(), Object.keys(ENGLISH).sort(), code);
      for (const [k, v] of Object.entries(ENGLISH)) {
        for (const slot of v.match(/\{\w+\}/g) || []) assert.ok(d[k].includes(slot), `${code} ${k} lacks ${slot}`);
      }
    }
  });
});
