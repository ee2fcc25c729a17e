// The one road to the system: "/cgi-bin/do2" with query parameters. Every
// request waits for the one before it (the box serves one at a time anyway),
// so at most one is in flight; a request that takes long is reported to
// onBusy so the page can show that it is working.

export class ApiError extends Error {
  constructor(status, text) {
    super(text || `HTTP ${status}`);
    this.status = status;
  }
}

export function query(params) {
  return new URLSearchParams(params).toString();
}

export function makeApi({ base = '/cgi-bin/do2', fetchFn = (...a) => fetch(...a), onBusy = () => {}, busyAfter = 400, timers = globalThis } = {}) {
  let chain = Promise.resolve();
  let waiting = 0;
  let inFlight = 0;
  let busyTimer = null;
  let busy = false;

  function setBusy(on) {
    if (busy !== on) {
      busy = on;
      onBusy(on);
    }
  }

  async function send(params, { quiet = false } = {}) {
    inFlight++;
    if (!quiet && busyTimer === null) busyTimer = timers.setTimeout(() => setBusy(true), busyAfter);
    try {
      const response = await fetchFn(`${base}?${query(params)}`, { credentials: 'same-origin', cache: 'no-store' });
      const text = await response.text();
      if (!response.ok) throw new ApiError(response.status, text.trim());
      const type = response.headers.get('Content-Type') || '';
      return type.startsWith('application/json') ? JSON.parse(text) : text;
    } finally {
      inFlight--;
    }
  }

  function settle() {
    if (waiting === 0) {
      if (busyTimer !== null) timers.clearTimeout(busyTimer);
      busyTimer = null;
      setBusy(false);
    }
  }

  // call(params) -> promise of the parsed JSON answer (or the text);
  // rejects with ApiError carrying the system's error text.
  function call(params, options) {
    waiting++;
    const run = chain.then(() => send(params, options));
    chain = run.catch(() => {}).then(() => {
      waiting--;
      settle();
    });
    return run;
  }

  return {
    call,
    // true when nothing waits or runs: the status refresh only asks then.
    idle: () => waiting === 0,
    get inFlight() {
      return inFlight;
    },
  };
}
