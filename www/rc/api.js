// The one road to the system: "/cgi-bin/do2", same origin, relative URL. The
// box serves one request at a time, so the page sends one at a time too: the
// others wait in a queue. Each request has a time limit (the box may be gone);
// one that takes long is reported to onBusy with its own words; a request
// given a `slot` replaces a request of the same slot still waiting (a second
// tap on "play" wins instead of queueing behind the first).

export class ApiError extends Error {
  // kind: "answer" (the box answered an error), "network" (no answer at all),
  // "timeout" (none within `limit` ms), "superseded" (replaced while waiting).
  constructor(status, text, kind = 'answer', limit = 0) {
    super(text || (status ? `HTTP ${status}` : kind));
    this.status = status;
    this.kind = kind;
    this.limit = limit;
  }
}

export function query(params) {
  return new URLSearchParams(params).toString();
}

const DEFAULT_LIMIT = 20000;

export function makeApi({ base = '/cgi-bin/do2', fetchFn = (...a) => fetch(...a), onBusy = () => {}, busyAfter = 400, timers = globalThis } = {}) {
  const queue = [];
  let running = null;
  let busyTimer = null;
  let busyText = null;

  function setBusy(text) {
    if (busyText !== text) {
      busyText = text;
      onBusy(text);
    }
  }

  function watchBusy(entry) {
    if (busyTimer !== null) timers.clearTimeout(busyTimer);
    busyTimer = null;
    if (entry.options.quiet) {
      setBusy(null);
      return;
    }
    if (busyText !== null) setBusy(entry.options.busy || '');
    else busyTimer = timers.setTimeout(() => setBusy(entry.options.busy || ''), busyAfter);
  }

  async function send(entry) {
    const { params, options } = entry;
    const limit = options.limit || DEFAULT_LIMIT;
    const controller = typeof AbortController === 'function' ? new AbortController() : null;
    let timedOut = false;
    const timer = timers.setTimeout(() => {
      timedOut = true;
      if (controller) controller.abort();
    }, limit);
    // X-Requested-With tells the box the request comes from its own page: a
    // foreign page cannot send it (the box never allows it after asking).
    const headers = { 'X-Requested-With': 'tavorc' };
    const init = { credentials: 'same-origin', cache: 'no-store', headers, signal: controller ? controller.signal : undefined };
    if (options.body) {
      init.method = 'POST';
      headers['Content-Type'] = 'application/x-www-form-urlencoded';
      init.body = query(options.body);
    }
    try {
      const response = await fetchFn(`${base}?${query(params)}`, init);
      const text = await response.text();
      if (timedOut) throw new ApiError(0, '', 'timeout', limit);
      if (!response.ok) throw new ApiError(response.status, text.trim());
      const type = response.headers.get('Content-Type') || '';
      return type.startsWith('application/json') ? JSON.parse(text) : text;
    } catch (e) {
      if (e instanceof ApiError) throw e;
      throw timedOut ? new ApiError(0, '', 'timeout', limit) : new ApiError(0, e && e.message, 'network');
    } finally {
      timers.clearTimeout(timer);
    }
  }

  function next() {
    if (running || !queue.length) {
      if (!running) {
        if (busyTimer !== null) timers.clearTimeout(busyTimer);
        busyTimer = null;
        setBusy(null);
      }
      return;
    }
    const entry = queue.shift();
    running = entry;
    watchBusy(entry);
    send(entry).then(entry.resolve, entry.reject).finally(() => {
      running = null;
      next();
    });
  }

  // call(params, {quiet, busy, limit, slot, body}) -> promise of the parsed
  // JSON answer (or the text); rejects with an ApiError.
  function call(params, options = {}) {
    return new Promise((resolve, reject) => {
      if (options.slot) {
        const waiting = queue.findIndex((e) => e.options.slot === options.slot);
        if (waiting >= 0) queue.splice(waiting, 1)[0].reject(new ApiError(0, '', 'superseded'));
      }
      queue.push({ params, options, resolve, reject });
      next();
    });
  }

  return {
    call,
    // true when nothing waits or runs: the status refresh only asks then.
    idle: () => running === null && queue.length === 0,
  };
}
