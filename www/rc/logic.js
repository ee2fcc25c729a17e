// The page's own logic, free of the DOM: paths, the playlist's rows, the
// version comparison, the status refresh timer. Node's test runner loads it too.

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

// The playlist answer as panel rows, in row order: every file, and below a
// file with a cue sheet its tracks. "current" is the row that plays.
export function playlistRows(playlist) {
  const rows = [];
  if (!playlist || !Array.isArray(playlist.items)) return rows;
  for (const item of playlist.items) {
    const tracks = Array.isArray(item.subitems) ? item.subitems : [];
    rows.push({ index: item.index, title: item.title, track: false, current: !!item.play && tracks.length === 0 });
    for (const sub of tracks) rows.push({ index: sub.index, title: sub.title, track: true, current: !!sub.play });
  }
  return rows;
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

// A repeating refresh: runs `task` (a function returning a promise) no more
// often than every `interval` ms, counted from the end of the previous run,
// and only while `visible()` holds and `idle()` says nothing else is waiting.
// start() / stop() follow the view; poke() re-checks after a visibility change.
export function makeRefresher({ interval, task, visible, idle = () => true, timers = globalThis }) {
  let timer = null;
  let running = false;
  let active = false;
  let lastEnd = -Infinity;
  const now = () => (timers.now ? timers.now() : Date.now());

  function schedule() {
    if (!active || running || timer !== null || !visible()) return;
    const wait = Math.max(0, lastEnd + interval - now());
    timer = timers.setTimeout(tick, wait);
  }
  async function tick() {
    timer = null;
    if (!active || !visible()) return;
    if (!idle()) {
      lastEnd = now();
      schedule();
      return;
    }
    running = true;
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
      if (immediately) lastEnd = -Infinity;
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
      lastEnd = now();
      cancel();
      schedule();
    },
    get active() {
      return active;
    },
  };
}
