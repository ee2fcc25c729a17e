// The page's own logic, free of the DOM: the address, paths, the playlist's
// rows and neighbours, the window of a long list, what an error means, the
// version comparison, the status refresh timer. Node's test runner loads it too.

// "#/browse/local%2FDEMO" -> {section: "browse", arg: "local/DEMO"}; an
// address that cannot be decoded opens the start view.
export function parseRoute(hash) {
  const [section, ...rest] = String(hash).replace(/^#\/?/, '').split('/');
  try {
    return { section: section || 'browse', arg: rest.length ? decodeURIComponent(rest.join('/')) : '' };
  } catch (e) {
    return { section: 'browse', arg: '' };
  }
}

// "local/DEMO/Music/Album" -> "local/DEMO/Music"; a storage or share root
// ("local/DEMO", "smb/NAS") has no parent inside a source: null.
export function parentPath(path) {
  const parts = String(path).replace(/\/+$/, '').split('/');
  if (parts.length <= 2) return null;
  return parts.slice(0, -1).join('/');
}

export function baseName(path) {
  const parts = String(path).replace(/\/+$/, '').split('/');
  return parts[parts.length - 1];
}

// The steps from the source root to the folder, for a breadcrumb:
// [{name: "DEMO", path: "local/DEMO"}, {name: "Music", path: "local/DEMO/Music"}].
export function pathSteps(path) {
  const parts = String(path).replace(/\/+$/, '').split('/');
  const steps = [];
  for (let i = 2; i <= parts.length; i++) steps.push({ name: parts[i - 1], path: parts.slice(0, i).join('/') });
  return steps;
}

// Where a history entry or a favourite lies: its storage or share and the
// folders above it, "local/DEMO/Music/Live Concert" -> "DEMO / Music".
export function placeOf(path) {
  const parts = String(path).replace(/\/+$/, '').split('/');
  return parts.slice(1, -1).join(' / ');
}

export function isSharePath(path) {
  return /^(smb|nfs)\//.test(String(path || ''));
}

// The playlist answer as panel rows, in row order: every file, and below a
// file with a cue sheet its tracks ("tracks": how many). "current" is the row
// that plays.
export function playlistRows(playlist) {
  const rows = [];
  if (!playlist || !Array.isArray(playlist.items)) return rows;
  for (const item of playlist.items) {
    const tracks = Array.isArray(item.subitems) ? item.subitems : [];
    rows.push({ index: item.index, title: item.title, track: false, tracks: tracks.length, current: !!item.play && tracks.length === 0 });
    for (const sub of tracks) rows.push({ index: sub.index, title: sub.title, track: true, tracks: 0, current: !!sub.play });
  }
  return rows;
}

// What the drawn list shows of the rows, to see whether a new answer changes it.
export function rowsPrint(rows) {
  return rows.map((r) => `${r.index}${r.track ? '+' : ' '}${r.title}`).join('\n');
}

// The rows "Previous" and "Next" go to from the playing row (-1: none). A
// file with cue tracks plays through its tracks, so its own row is no stop.
export function neighbours(rows, current) {
  let previous = -1;
  let next = -1;
  if (current < 0) return { previous, next };
  for (const r of rows) {
    if (!r.track && r.tracks > 0) continue;
    if (r.index < current) previous = r.index;
    else if (r.index > current && next < 0) next = r.index;
  }
  return { previous, next };
}

// The rows of a long list worth having in the page: those in view and
// `extra` beyond each edge. A short list is drawn whole.
export function visibleRange({ count, rowHeight, viewTop, viewHeight, extra = 12, whole = 120 }) {
  if (count <= whole) return { first: 0, last: count };
  const first = Math.max(0, Math.floor(viewTop / rowHeight) - extra);
  const last = Math.min(count, Math.max(first, Math.ceil((viewTop + viewHeight) / rowHeight) + extra));
  return { first: Math.min(first, last), last };
}

export function currentRow(rows) {
  const row = rows.find((r) => r.current);
  return row ? row.index : -1;
}

// "0.10.2" > "0.9": numbers compared part by part; text parts as text.
export function compareVersions(a, b) {
  const pa = String(a).split('.');
  const pb = String(b).split('.');
  for (let i = 0; i < Math.max(pa.length, pb.length); i++) {
    const x = pa[i] ?? '0';
    const y = pb[i] ?? '0';
    const nx = Number(x);
    const ny = Number(y);
    if (!Number.isNaN(nx) && !Number.isNaN(ny)) {
      if (nx !== ny) return nx < ny ? -1 : 1;
    } else if (x !== y) {
      return x < y ? -1 : 1;
    }
  }
  return 0;
}

// 65 -> "1:05", 3725 -> "1:02:05".
export function formatTime(seconds) {
  const s = Math.max(0, Math.floor(Number(seconds) || 0));
  const h = Math.floor(s / 3600);
  const m = Math.floor((s % 3600) / 60);
  const ss = String(s % 60).padStart(2, '0');
  return h > 0 ? `${h}:${String(m).padStart(2, '0')}:${ss}` : `${m}:${ss}`;
}

// A dictionary file, as the system's "dict" command reads it: "key = value"
// lines up to the first empty line; the later of two equal keys wins.
export function parseDictionary(text) {
  const dictionary = {};
  for (const line of text.split('\n')) {
    if (line === '') break;
    const at = line.indexOf(' = ');
    if (at >= 0) dictionary[line.slice(0, at)] = line.slice(at + 3);
  }
  return dictionary;
}

// The "dict" answer is a JavaScript call, name(object)\n; the page reads it
// as data instead of running it.
export function parseJsonp(text) {
  const match = /^[\w$.]+\(([\s\S]*)\)\s*$/.exec(text);
  if (!match) throw new Error('not a dictionary answer');
  return JSON.parse(match[1]);
}

// The parameters of "history" "resume_play" for a history entry.
export function resumeParams(entry) {
  return {
    cmd: 'history',
    action: 'resume_play',
    dir_play_path: entry.virtual_path,
    start_index: String(entry.last_index < 0 ? 0 : entry.last_index),
    position: String(entry.play_position || 0),
  };
}

// A repeating refresh: runs `task` (a function returning a promise) every
// `interval` ms counted from the start of the previous run, never sooner than
// `gap` ms after its end, and only while `visible()` holds and `idle()` says
// nothing else is waiting. start() / stop() follow the view; poke() re-checks
// after a visibility change.
const clock = { setTimeout: (f, ms) => setTimeout(f, ms), clearTimeout: (id) => clearTimeout(id), now: () => Date.now() };

export function makeRefresher({ interval, gap = 500, task, visible, idle = () => true, timers = clock }) {
  let timer = null;
  let running = false;
  let active = false;
  let lastStart = -Infinity;
  let lastEnd = -Infinity;
  const now = () => timers.now();

  function schedule() {
    if (!active || running || timer !== null || !visible()) return;
    const wait = Math.max(0, lastStart + interval - now(), lastEnd + gap - now());
    timer = timers.setTimeout(tick, wait);
  }
  async function tick() {
    timer = null;
    if (!active || !visible()) return;
    if (!idle()) {
      lastStart = now();
      lastEnd = lastStart;
      schedule();
      return;
    }
    running = true;
    lastStart = now();
    try {
      await task();
    } catch (e) {
      // the task shows its own errors
    } finally {
      running = false;
      lastEnd = now();
      schedule();
    }
  }
  function cancel() {
    if (timer !== null) timers.clearTimeout(timer);
    timer = null;
  }
  return {
    start({ now: immediately = false } = {}) {
      active = true;
      if (immediately) lastStart = lastEnd = -Infinity;
      cancel();
      schedule();
    },
    stop() {
      active = false;
      cancel();
    },
    // Called on visibility changes: hidden pages keep no timer.
    poke() {
      if (!visible()) cancel();
      else schedule();
    },
    // A run made outside the timer (after a jump) counts as one.
    ran() {
      lastStart = now();
      lastEnd = lastStart;
      cancel();
      schedule();
    },
    get active() {
      return active;
    },
  };
}

// A key code as the player's remote sends it: eight upper-case hexadecimal
// digits, the first byte the complement of the second, ending "BF00".
export function isValidKeyCode(code) {
  const m = /^([0-9A-F]{2})([0-9A-F]{2})BF00$/.exec(String(code));
  return !!m && (parseInt(m[1], 16) ^ parseInt(m[2], 16)) === 0xff;
}

// What the system's answer texts mean for a person: [text, dictionary key],
// a key per kind of trouble; a function picks one by the request.
const ANSWERS = new Map([
  ['invalid path', (p) => (isSharePath(p.path || p.play_path || p.dir_play_path) ? 'err_share' : 'err_gone')],
  ['Tavo::play error o_O', 'err_not_playable'],
  ['Tavo::play error O_o', 'err_not_playable'],
  ['invalid position', 'err_row'],
  ['invalid playlist', 'err_no_playlist'],
  ['invalid xml response', 'err_player'],
  ['xml response parse failed', 'err_player'],
  ['player does not wake up', 'err_wake'],
  ['seek too far', 'err_seek_far'],
  ['player does not answer', 'err_no_answer'],
  ['row not reached', 'err_row_not_reached'],
  ['invalid option value', 'err_option'],
  ['config too large', 'err_config_full'],
  ['config save failed', 'err_config_save'],
  ['Unable to check for updates', 'err_update_check'],
  ['error 0', 'err_update_download'],
  ['error 1', 'err_update_space'],
  ['error 2', 'err_update_archive'],
  ['error 3', 'err_update_broken'],
  ['error 4', 'err_update_unsigned'],
  ['cross-site request refused', 'err_cross_site'],
  ['key not defined', 'err_key_name'],
  ['key not valid', 'err_key_name'],
  ['key is built in', 'err_key_builtin'],
  ['code not defined', 'err_key_code'],
  ['code not valid', 'err_key_code'],
  ['Title not defined', 'err_share_form'],
  ['Server not defined', 'err_share_form'],
  ['Directory not defined', 'err_share_form'],
  ['Type not valid', 'err_share_form'],
  ['Protocol not valid', 'err_share_form'],
]);

// An error of a request as {key, values} for the dictionary: the answer text
// when it is a known one, else what happened on the way.
export function describeError(error, params = {}) {
  const text = String((error && error.message) || '').trim();
  if (error && error.kind === 'timeout') return { key: 'err_timeout', values: { s: Math.round(error.limit / 1000) } };
  if (error && error.kind === 'network') return { key: 'err_network', values: {} };
  const known = ANSWERS.get(text);
  if (known) return { key: typeof known === 'function' ? known(params) : known, values: {} };
  if (text.startsWith('Invalid cue: ')) return { key: 'err_cue', values: { file: baseName(text.slice(13)) } };
  if (text.endsWith('not a directory')) return { key: 'err_not_folder', values: {} };
  if (text.startsWith('dir error (')) return { key: 'err_folder_unreadable', values: {} };
  if (error && error.status && error.status !== 500) return { key: 'err_http', values: { status: error.status } };
  return { key: 'err_other', values: { text } };
}
