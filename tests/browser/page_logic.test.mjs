// The page's own logic, run by node's test runner: paths, playlist rows,
// versions, the request queue, the status refresh timer, and the shipped
// files themselves (size, no outside hosts, dictionaries complete).
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
  test('times read as m:ss or h:mm:ss', () => {
    assert.equal(L.formatTime(65), '1:05');
    assert.equal(L.formatTime(3725), '1:02:05');
    assert.equal(L.formatTime(-3), '0:00');
  });
});

// A fake fetch whose answers the test releases one by one.
function pendingFetch() {
  const calls = [];
  const fetchFn = (url) => new Promise((resolve) => calls.push({ url, resolve }));
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
  test('a long request reports busy once, and not busy when the queue is empty', async () => {
    const f = pendingFetch();
    const seen = [];
    let fire;
    const timers = { setTimeout: (fn) => { fire = fn; return 1; }, clearTimeout: () => { fire = null; } };
    const api = makeApi({ fetchFn: f.fetchFn, onBusy: (b) => seen.push(b), timers });
    const p = api.call({ cmd: 'try_update' });
    await tick();
    fire();
    f.answer(0, 200, '{"message":"ok"}');
    await p;
    await tick();
    assert.deepEqual(seen, [true, false]);
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
  test('asks no more often than the interval, counted from the last answer, and only while visible', async () => {
    const timers = fakeTimers();
    const runs = [];
    let visible = true;
    const r = L.makeRefresher({ interval: 5000, timers, visible: () => visible,
      task: async () => { runs.push(timers.now()); timers.advance(700); } });
    r.start();
    for (let i = 0; i < 4; i++) await timers.runNext();
    assert.deepEqual(runs, [0, 5700, 11400, 17100]);
    visible = false;
    r.poke();
    assert.equal(timers.pending.size, 0);
    timers.advance(60000);
    visible = true;
    r.poke();
    await timers.runNext();
    assert.equal(runs.length, 5);
    r.stop();
    assert.equal(timers.pending.size, 0);
  });
  test('a run made by hand puts the next timed one a full interval off; a busy queue defers it', async () => {
    const timers = fakeTimers();
    const runs = [];
    let idle = true;
    const r = L.makeRefresher({ interval: 5000, timers, visible: () => true, idle: () => idle,
      task: async () => { runs.push(timers.now()); } });
    r.start();
    timers.advance(3000);
    r.ran();
    await timers.runNext();
    assert.deepEqual(runs, [8000]);
    idle = false;
    await timers.runNext(); // at 13000: something else waits, so no request
    idle = true;
    await timers.runNext();
    assert.deepEqual(runs, [8000, 18000]);
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

  test('all together stay within 150 KB', () => {
    const total = files.reduce((n, f) => n + statSync(f).size, 0);
    assert.ok(total <= 150 * 1024, `${total} bytes`);
  });
  test('nothing is loaded from another host', () => {
    for (const f of files) {
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
