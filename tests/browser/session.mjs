// A person's session with the remote, in Debian's chromium (headless) against
// the demo stack: lighttpd, tavorc as /cgi-bin/do2, the player simulator, the
// sample storage and share. Every step leaves a screenshot.
//
// node session.mjs <base-url> <sandbox-root> <playersim> <screenshot-dir> <phone|desktop>
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const [base, root, playersim, shots, viewportName] = process.argv.slice(2);
const viewports = { phone: { width: 360, height: 740 }, desktop: { width: 1280, height: 800 } };
const viewport = viewports[viewportName];
if (!viewport) throw new Error(`usage: session.mjs BASE ROOT PLAYERSIM SHOTS phone|desktop`);
mkdirSync(shots, { recursive: true });

const origin = new URL(base).origin;
let stepNo = 0;
const failures = [];

function simulator() {
  const text = execFileSync(playersim, [root, 'show'], { encoding: 'utf8' });
  return Object.fromEntries(text.trim().split('\n').map((l) => [l.slice(0, l.indexOf('=')), l.slice(l.indexOf('=') + 1)]));
}

async function until(what, check, timeout = 15000) {
  const end = Date.now() + timeout;
  let last;
  for (;;) {
    try {
      last = await check();
      if (last) return last;
    } catch (e) {
      last = e.message;
    }
    if (Date.now() > end) throw new Error(`${what}: not seen within ${timeout} ms (last: ${JSON.stringify(last)})`);
    await new Promise((r) => setTimeout(r, 150));
  }
}

const userDir = mkdtempSync(join(tmpdir(), 'tavorc-chromium-'));
// A fresh profile folder each run (playwright hands it over as --user-data-dir).
const context = await chromium.launchPersistentContext(userDir, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
  viewport,
  hasTouch: viewportName === 'phone',
  isMobile: viewportName === 'phone',
});
const page = context.pages()[0] || (await context.newPage());

// What the page asks: nothing from another host, one system request at a time.
const apiLog = [];
let inFlight = 0;
let maxInFlight = 0;
const foreign = [];
page.on('request', (r) => {
  if (!r.url().startsWith(origin) && !r.url().startsWith('data:')) foreign.push(r.url());
  if (r.url().includes('/cgi-bin/do2')) {
    inFlight++;
    maxInFlight = Math.max(maxInFlight, inFlight);
    apiLog.push({ url: r.url(), at: Date.now() });
  }
});
const done = (r) => { if (r.url().includes('/cgi-bin/do2')) inFlight--; };
page.on('requestfinished', done);
page.on('requestfailed', done);
const pageErrors = [];
page.on('pageerror', (e) => pageErrors.push(e.message));

const tap = (locator) => (viewportName === 'phone' ? locator.tap() : locator.click());
const heading = (name) => page.getByRole('heading', { level: 1, name });
const errorText = () => page.locator('#error:not([hidden]) .text').textContent({ timeout: 200 }).catch(() => null);
async function noError() {
  const text = await errorText();
  if (text) throw new Error(`the page shows an error: ${text}`);
}

async function step(name, body) {
  stepNo++;
  const file = join(shots, `${String(stepNo).padStart(2, '0')}-${name}.png`);
  try {
    await body();
    console.log(`ok   ${stepNo} ${name}`);
  } catch (e) {
    failures.push(`${name}: ${e.message}`);
    console.log(`FAIL ${stepNo} ${name}: ${e.message}`);
  }
  await page.screenshot({ path: file, fullPage: true });
}

// A screenshot in the middle of a step (the list before the choice).
const snap = (name) => page.screenshot({ path: join(shots, `${String(stepNo).padStart(2, '0')}-${name}.png`), fullPage: true });

async function openFolder(...names) {
  for (const n of names) {
    await tap(page.getByRole('link', { name: new RegExp(`^((Open|Открыть) )?${n.replace(/[()]/g, '\\$&')}$`) }).first());
    await heading(n).waitFor();
  }
}

async function rowCurrent(title) {
  const row = page.locator('#playlist button.row', { hasText: title });
  return (await row.getAttribute('aria-current')) === 'true';
}

await step('storages', async () => {
  await page.goto(base);
  await until('the redirect to /rc/', () => page.url().startsWith(`${origin}/rc/`));
  await page.getByRole('link', { name: 'DEMO' }).waitFor();
  await page.getByRole('link', { name: 'Music Stick' }).waitFor();
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  if (width > viewport.width) throw new Error(`the page is ${width} px wide in a ${viewport.width} px window`);
});

await step('update-install', async () => {
  // The demo's update server offers 0.8.0; the page checks on its own at start.
  const offer = page.getByRole('region', { name: 'Check for updates' });
  await offer.getByText('Version 0.8.0 is available (installed: 0.7.1).').waitFor();
  await tap(offer.getByRole('button', { name: 'Install the update', exact: true }));
  await offer.getByText('The update is installed.').waitFor();
  if (!existsSync(join(root, 'tmp/demo-update-installed'))) throw new Error('the update script did not run');
  await tap(offer.getByRole('button', { name: 'Close', exact: true }));
});

await step('covers-on', async () => {
  await tap(page.getByRole('link', { name: 'Options' }));
  const box = page.getByRole('checkbox', { name: 'Show covers' });
  await box.waitFor();
  if (!(await box.isChecked())) await tap(box);
  await until('the saved option', () => page.getByRole('status').filter({ hasText: 'Saved' }).count());
  await noError();
});

await step('folder-with-covers', async () => {
  await tap(page.getByRole('link', { name: 'Browse' }));
  await openFolder('DEMO', 'Music');
  const cover = page.getByRole('link', { name: 'Open Live Concert' }).locator('img');
  await until('a loaded cover picture', () => cover.evaluate((img) => img.complete && img.naturalWidth > 0 && img.getAttribute('src').startsWith('/covers/')));
  // The Cyrillic folder comes after the Latin ones, the playlist file among the files.
  const names = await page.locator('.tiles .name').allTextContents();
  if (names.join('|') !== 'Live Concert|Open Goldberg Variations|Русская музыка') throw new Error(`folders: ${names.join('|')}`);
  await page.getByRole('button', { name: 'Play Favourites.m3u' }).waitFor();
});

await step('play-album', async () => {
  await tap(page.getByRole('button', { name: 'Play Open Goldberg Variations' }));
  await heading('Now playing').waitFor();
  const s = await until('the simulator playing the album', () => {
    const st = simulator();
    return st.player_state === 'file_playback' && st.url.endsWith('/Music/Open Goldberg Variations/01 Aria.flac') && st;
  });
  if (s.list_url !== 'storage_uuid://4a3b_1c2d/Music/Open Goldberg Variations') throw new Error(`playlist ${s.list_url}`);
  await until('the marker on the playing row', () => rowCurrent('01 Aria.flac'));
  if (await rowCurrent('02 Variatio 1.flac')) throw new Error('two rows marked');
});

await step('play-cue-album', async () => {
  await tap(page.getByRole('link', { name: 'Browse' }));
  await openFolder('DEMO', 'Music');
  await tap(page.getByRole('button', { name: 'Play Live Concert' }));
  await heading('Now playing').waitFor();
  await until('the simulator playing the concert', () => simulator().url.endsWith('/Live Concert/Live Concert.flac'));
  await until('the marker on the first track', () => rowCurrent('Opening'));
});

await step('jump-to-cue-track', async () => {
  // By keyboard: focus the track's row and press Enter.
  const ballad = page.getByRole('button', { name: 'Ballad', exact: true });
  await ballad.focus();
  await page.keyboard.press('Enter');
  await until('the simulator in the second track', () => {
    const s = simulator();
    return s.row === '2' && Number(s.position) >= 300 && Number(s.position) < 320;
  });
  await until('the marker on the second track', () => rowCurrent('Ballad'));
  if (await rowCurrent('Opening')) throw new Error('the first track is still marked');
});

await step('seek', async () => {
  const before = Number(simulator().position);
  await tap(page.getByRole('button', { name: 'Forward 1 minute' }));
  await until('one minute on', () => {
    const p = Number(simulator().position);
    return p >= before + 58 && p <= before + 75;
  });
  await tap(page.getByRole('button', { name: 'Go to 75 %' }));
  await until('three quarters of 900 s', () => {
    const p = Number(simulator().position);
    return p >= 675 && p <= 690;
  });
  await until('the marker on the third track', () => rowCurrent('Finale'));
  await noError();
});

await step('volume', async () => {
  const before = Number(simulator().volume);
  await tap(page.getByRole('button', { name: 'Volume up' }));
  await until('a louder player', () => Number(simulator().volume) === before + 5);
  await tap(page.getByRole('button', { name: 'Volume down' }));
  await tap(page.getByRole('button', { name: 'Volume down' }));
  await until('a quieter player', () => Number(simulator().volume) === before - 5);
});

await step('refresh-is-gentle', async () => {
  // Open on "now playing": the status refresh asks at most every 3 s (it
  // waits 5 s between answers), one request at a time.
  const from = Date.now();
  await page.waitForTimeout(12000);
  const asked = apiLog.filter((r) => r.at >= from);
  if (asked.some((r) => !r.url.includes('action=playlist'))) throw new Error(`unexpected requests ${asked.map((r) => r.url)}`);
  if (asked.length < 2 || asked.length > 4) throw new Error(`${asked.length} requests in 12 s`);
  for (let i = 1; i < asked.length; i++) if (asked[i].at - asked[i - 1].at < 3000) throw new Error('two refreshes within 3 s');
  // A hidden page (another tab, a locked phone) asks nothing; shown again, it goes on.
  const setVisibility = (state) => page.evaluate((v) => {
    Object.defineProperty(document, 'visibilityState', { value: v, configurable: true });
    document.dispatchEvent(new Event('visibilitychange'));
  }, state);
  await setVisibility('hidden');
  await page.waitForTimeout(1000);
  const hiddenFrom = Date.now();
  await page.waitForTimeout(8000);
  const whileHidden = apiLog.filter((r) => r.at >= hiddenFrom).length;
  await setVisibility('visible');
  if (whileHidden !== 0) throw new Error(`${whileHidden} requests while hidden`);
  const shownAt = Date.now();
  await until('a refresh once visible again', () => apiLog.some((r) => r.at >= shownAt), 7000);
});

let resumeAt = 0;
await step('history-resume', async () => {
  // Play another folder first, so that resuming really changes what plays.
  await tap(page.getByRole('link', { name: 'Browse' }));
  await openFolder('Music Stick');
  await tap(page.getByRole('button', { name: 'Play Jazz' }));
  await until('the simulator playing Jazz', () => simulator().url.includes('/Jazz/'));
  await tap(page.getByRole('link', { name: 'History' }));
  const resume = page.getByRole('button', { name: 'Resume Live Concert' });
  await resume.waitFor();
  const detail = await page.getByRole('listitem').filter({ has: resume }).locator('.detail').textContent();
  const m = /at (\d+):(\d\d)$/.exec(detail);
  if (!m) throw new Error(`history detail "${detail}"`);
  resumeAt = Number(m[1]) * 60 + Number(m[2]);
  await snap('history-list');
  await tap(resume);
  await heading('Now playing').waitFor();
  await until('the concert again, where it stopped', () => {
    const s = simulator();
    return s.url.endsWith('/Live Concert.flac') && Math.abs(Number(s.position) - resumeAt) <= 5;
  });
  await until('the marker on the resumed track', () => rowCurrent('Finale'));
});

await step('favourite-add', async () => {
  await tap(page.getByRole('link', { name: 'Browse' }));
  await openFolder('DEMO', 'Music', 'Live Concert');
  await tap(page.getByRole('button', { name: 'Add to favourites' }));
  const name = page.getByRole('textbox', { name: 'Name of the favourite' });
  await name.fill('Concert');
  await tap(page.getByRole('button', { name: 'Save' }));
  await until('the confirmation', () => page.getByRole('status').filter({ hasText: 'Added to favourites: Concert' }).count());
  await tap(page.getByRole('link', { name: 'Favourites' }));
  await page.getByRole('link', { name: 'Concert' }).waitFor();
  await snap('favourites-list');
  await tap(page.getByRole('link', { name: 'Concert' }));
  await heading('Live Concert').waitFor();
  await page.getByRole('button', { name: 'Play Live Concert.flac' }).waitFor();
});

await step('favourite-remove', async () => {
  await tap(page.getByRole('link', { name: 'Favourites' }));
  await tap(page.getByRole('button', { name: 'Remove Concert' }));
  await until('the favourite gone', async () => (await page.getByRole('link', { name: 'Concert' }).count()) === 0);
  await tap(page.getByRole('link', { name: 'Browse' }));
  await tap(page.getByRole('link', { name: 'Favourites' }));
  await page.getByText('No favourites yet').waitFor();
});

await step('share-add-and-browse', async () => {
  await tap(page.getByRole('link', { name: 'Shares' }));
  await page.getByRole('textbox', { name: 'Title' }).fill('NAS');
  await page.getByRole('combobox', { name: 'Type' }).selectOption('0');
  await page.getByRole('textbox', { name: 'Server' }).fill('nas');
  await page.getByRole('textbox', { name: 'Share or exported folder' }).fill('Media');
  await tap(page.getByRole('button', { name: 'Add share' }));
  await tap(page.getByRole('link', { name: 'NAS' }));
  await heading('NAS').waitFor();
  await openFolder('Music', 'Quiet Hours');
  await page.getByRole('button', { name: 'Play 01 - Morning.mp3' }).waitFor();
  await tap(page.getByRole('link', { name: 'Up', exact: true }));
  await heading('Music').waitFor();
});

await step('error-shown', async () => {
  await page.goto(`${base}#/browse/${encodeURIComponent('local/NO SUCH')}`);
  await until('the error text of the box', async () => (await errorText()) === 'invalid path');
});

await step('donation-remind-later', async () => {
  // A countdown at 1 and the last start two days ago: this start reminds.
  await tap(page.getByRole('button', { name: 'Dismiss', exact: true }));
  await until('the error gone', async () => (await errorText()) === null);
  await tap(page.getByRole('link', { name: 'History' }));
  const file = join(root, 'persistfs/orvex/etc/tavorc.conf');
  const reminder = page.getByRole('region', { name: 'Remind me later' });
  await until('the reminder', async () => {
    const conf = JSON.parse(readFileSync(file, 'utf8'));
    conf.do = { last_check: Math.floor(Date.now() / 1000) - 2 * 86400, r_starts: 1 };
    writeFileSync(file, JSON.stringify(conf));
    await page.reload();
    await reminder.waitFor({ timeout: 5000 });
    return true;
  }, 30000);
  await tap(reminder.getByRole('button', { name: 'Remind me later', exact: true }));
  await until('the reminder gone', async () => (await reminder.count()) === 0);
  const conf = JSON.parse(readFileSync(file, 'utf8'));
  if (conf.do.r_starts !== 3) throw new Error(`countdown ${conf.do.r_starts}`);
});

await step('language-ru', async () => {
  await tap(page.getByRole('link', { name: 'Options' }));
  await page.getByRole('combobox', { name: 'Language' }).selectOption('ru');
  await heading('Настройки').waitFor();
  await page.getByRole('link', { name: 'Обзор' }).waitFor();
  await tap(page.getByRole('link', { name: 'Обзор' }));
  await page.getByRole('heading', { name: 'Накопители' }).waitFor();
  await page.reload();
  await page.getByRole('link', { name: 'Сейчас играет' }).waitFor();
  await openFolder('DEMO', 'Music', 'Русская музыка');
  // The box orders Cyrillic names itself: В before П.
  await until('the two songs in order', async () =>
    (await page.locator('.files .row').allTextContents()).map((f) => f.replace('▶', '')).join('|') === 'Вальс.mp3|Песня.mp3');
  await page.getByRole('button', { name: 'Играть Вальс.mp3', exact: true }).waitFor();
});

if (maxInFlight > 1) failures.push(`${maxInFlight} system requests were in flight at once`);
if (foreign.length) failures.push(`requests to other hosts: ${foreign.join(' ')}`);
if (pageErrors.length) failures.push(`script errors: ${pageErrors.join(' | ')}`);
console.log(`${apiLog.length} system requests, at most ${maxInFlight} in flight; screenshots in ${shots}`);
await context.close();
rmSync(userDir, { recursive: true, force: true });
if (failures.length) {
  console.error(failures.join('\n'));
  process.exit(1);
}
