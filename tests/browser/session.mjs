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
  // box.lan and attacker.example are this machine too: names over plain http,
  // to which browsers send no Sec-Fetch-Site, as to a box at home.
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--host-resolver-rules=MAP box.lan 127.0.0.1, MAP attacker.example 127.0.0.1'],
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
  await page.screenshot({ path: file, fullPage: !(await tall()) });
}

// A page of thousands of rows is shot as the window shows it.
const tall = () => page.evaluate(() => document.documentElement.scrollHeight > 20000).catch(() => false);

// A screenshot in the middle of a step (the list before the choice).
const snap = async (name) => page.screenshot({ path: join(shots, `${String(stepNo).padStart(2, '0')}-${name}.png`), fullPage: !(await tall()) });

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

const nowTitle = () => page.locator('#now-title').textContent({ timeout: 1000 }).catch(() => null);
const lastRequest = () => readFileSync(join(root, 'var/playersim/requests.log'), 'utf8').trim().split('\n').filter((l) => l !== 'cmd=status').pop();

// Controls in view smaller than a fingertip (44 px either way); a checkbox
// counts by its label.
const smallTargets = () => page.evaluate(() => [...document.querySelectorAll('a, button, input, select')].filter((el) => {
  const r = (el.type === 'checkbox' ? el.closest('label') : el).getBoundingClientRect();
  return r.width > 0 && r.height > 0 && r.bottom > 0 && r.top < innerHeight && (r.width < 44 || r.height < 44);
}).map((el) => `${el.tagName} "${el.getAttribute('aria-label') || el.textContent.trim()}"`));
async function bigTargets() {
  const small = await smallTargets();
  if (small.length) throw new Error(`tap targets under 44 px: ${small.join(', ')}`);
}
// A box in the window.
const inView = (locator) => locator.evaluate((el) => { const r = el.getBoundingClientRect(); return r.top >= 0 && r.bottom <= innerHeight && r.height > 0; });

await step('storages', async () => {
  await page.goto(base);
  await until('the redirect to /rc/', () => page.url().startsWith(`${origin}/rc/`));
  await page.getByRole('link', { name: 'DEMO' }).waitFor();
  await page.getByRole('link', { name: 'Music Stick' }).waitFor();
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  if (width > viewport.width) throw new Error(`the page is ${width} px wide in a ${viewport.width} px window`);
  const menu = await page.locator('header').evaluate((el) => el.getBoundingClientRect().height);
  if (menu > viewport.height / 5) throw new Error(`the menu takes ${menu} px of ${viewport.height}`);
  await bigTargets();
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
  await bigTargets();
  const tapped = page.getByRole('button', { name: 'Play Open Goldberg Variations' });
  await tap(tapped);
  if ((await tapped.getAttribute('aria-busy')) !== 'true') throw new Error('the tapped play button is not marked while it runs');
  await heading('Now playing').waitFor();
  await until('the title of the playing file', async () => (await nowTitle()) === '01 Aria.flac');
  const s = simulator();
  if (s.list_url !== 'storage_uuid://4a3b_1c2d/Music/Open Goldberg Variations') throw new Error(`playlist ${s.list_url}`);
  await until('the marker on the playing row', () => rowCurrent('01 Aria.flac'));
  if (await rowCurrent('02 Variatio 1.flac')) throw new Error('two rows marked');
  const elapsed = async () => Number(await page.locator('#seek').inputValue());
  const first = await elapsed();
  await until('an elapsed time that advances', async () => (await elapsed()) >= first + 2, 10000);
  await page.getByText('DEMO / Music / Open Goldberg Variations').waitFor();
  await bigTargets();
});

await step('next-previous', async () => {
  await tap(page.getByRole('button', { name: 'Next', exact: true }));
  await until('the simulator on the next row', () => simulator().row === '1');
  await until('the next title', async () => (await nowTitle()) === '02 Variatio 1.flac');
  if (viewportName === 'desktop') {
    await page.locator('#now-title').click();
    await page.keyboard.press('p');
  } else {
    await tap(page.getByRole('button', { name: 'Previous', exact: true }));
  }
  await until('the simulator back on the first row', () => simulator().row === '0');
  await until('the marker back on the first row', () => rowCurrent('01 Aria.flac'));
  if (!(await page.getByRole('button', { name: 'Previous', exact: true }).isDisabled())) throw new Error('"Previous" on the first row');
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
  // The bar seeks where it is tapped: the middle of 900 s.
  const bar = page.locator('#seek');
  const box = await bar.boundingBox();
  const middle = { position: { x: box.width / 2, y: box.height / 2 } };
  await (viewportName === 'phone' ? bar.tap(middle) : bar.click(middle));
  await until('the middle of the concert', () => {
    const p = Number(simulator().position);
    return p >= 420 && p <= 480;
  });
  await tap(page.getByRole('button', { name: 'Go to 75 %' }));
  await until('three quarters of 900 s', () => {
    const p = Number(simulator().position);
    return p >= 675 && p <= 690;
  });
  await until('the marker on the third track', () => rowCurrent('Finale'));
  // The bar follows the player, not the last button tapped.
  await tap(page.getByRole('button', { name: 'Back 10 minutes' }));
  await until('the bar where the player is', async () => {
    const p = Number(simulator().position);
    return p < 120 && Math.abs(Number(await bar.inputValue()) - p) <= 6;
  });
  await noError();
});

await step('volume', async () => {
  const before = Number(simulator().volume);
  await tap(page.getByRole('button', { name: 'Volume up' }));
  await until('a louder player', () => Number(simulator().volume) === before + 5);
  await page.getByText(`Volume ${before + 5}`).waitFor();
  await tap(page.getByRole('button', { name: 'Volume down' }));
  await tap(page.getByRole('button', { name: 'Volume down' }));
  await until('a quieter player', () => Number(simulator().volume) === before - 5);
});

await step('key-pad-and-owner-key', async () => {
  for (const [name, code] of [['Up', 'EA15BF00'], ['OK', 'EB14BF00'], ['Page down', 'B34CBF00']]) {
    await tap(page.getByRole('button', { name, exact: true }));
    await until(`the key ${name} pressed`, () => lastRequest() === `cmd=ir_code&ir_code=${code}`);
  }
  await tap(page.getByRole('link', { name: 'Options' }));
  await page.getByRole('textbox', { name: 'Name', exact: true }).fill('Pause');
  await page.getByRole('textbox', { name: 'Code' }).fill('e21dbf00');
  await tap(page.getByRole('button', { name: 'Add key' }));
  await page.getByRole('button', { name: 'Remove Pause' }).waitFor();
  await page.getByRole('textbox', { name: 'Name', exact: true }).fill('Stop');
  await page.getByRole('textbox', { name: 'Code' }).fill('BD43BF00');
  await tap(page.getByRole('button', { name: 'Add key' }));
  await until('the code refused in words', async () => (await errorText() || '').startsWith('A key code is eight hexadecimal digits'));
  await tap(page.getByRole('button', { name: 'Dismiss', exact: true }));
  await tap(page.getByRole('link', { name: 'Now playing' }));
  await tap(page.getByRole('button', { name: 'Pause', exact: true }));
  await until('the owner\'s key pressed', () => lastRequest() === 'cmd=ir_code&ir_code=E21DBF00');
  if (viewportName === 'desktop') {
    await page.locator('#now-title').click();
    await page.keyboard.press('ArrowDown');
    await until('the arrow key pressed', () => lastRequest() === 'cmd=ir_code&ir_code=E916BF00');
  }
  await noError();
});

await step('refresh-is-gentle', async () => {
  // On "now playing" only the status is asked, without a trace line, about
  // every 2 s; the playlist only when the playing row changes (the concert
  // plays on inside its first track meanwhile). The page logic's own tests
  // hold the timing and the pause while the page is hidden.
  const from = Date.now();
  const asked = () => apiLog.filter((r) => r.at >= from);
  await until('three refreshes', () => asked().length >= 3, 20000);
  const seen = asked();
  if (seen.some((r) => !r.url.includes('action=status&log=0'))) throw new Error(`unexpected requests ${seen.map((r) => r.url)}`);
  for (let i = 1; i < seen.length; i++) if (seen[i].at - seen[i - 1].at < 1500) throw new Error('two refreshes within 1.5 s');
});

await step('standby-play', async () => {
  execFileSync(playersim, [root, 'set', 'power=standby', 'boot_seconds=1']);
  await page.getByText('The player is in standby.').waitFor();
  await page.getByRole('button', { name: 'Power on', exact: true }).waitFor();
  await until('nothing plays', async () => (await nowTitle()) === 'Nothing plays.');
  await tap(page.getByRole('link', { name: 'Browse' }));
  await openFolder('Music Stick');
  await tap(page.getByRole('button', { name: 'Play Jazz' }));
  await heading('Now playing').waitFor();
  await until('the woken player playing Jazz', async () => simulator().power === 'on' && (await nowTitle()) === 'Blue Train.mp3', 30000);
  if (await page.getByText('The player is in standby.').isVisible()) throw new Error('still shown in standby');
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
  await until('the marker on the resumed track', () => rowCurrent(resumeAt < 300 ? 'Opening' : resumeAt < 630 ? 'Ballad' : 'Finale'));
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

await step('long-list', async () => {
  // 5,000 files: the listing and the playlist keep only the rows near the
  // view; the playing row is scrolled into view.
  const many = join(root, 'tmp/mnt/storage/sda1/Many');
  mkdirSync(many, { recursive: true });
  for (let i = 1; i <= 5000; i++) writeFileSync(join(many, `${String(i).padStart(4, '0')}.mp3`), 'duration=200\n');
  await tap(page.getByRole('link', { name: 'Browse' }));
  await openFolder('DEMO');
  await tap(page.getByRole('button', { name: 'Refresh' }));
  await openFolder('Many');
  const files = page.locator('ul.files');
  await files.locator('li').first().waitFor();
  if ((await files.locator('li').count()) > 100) throw new Error('the whole listing is in the page');
  await files.evaluate((el) => window.scrollTo(0, el.getBoundingClientRect().top + scrollY + 2999 * 48 - 200));
  const row = page.getByRole('button', { name: 'Play 3000.mp3', exact: true });
  await row.waitFor();
  await snap('long-listing');
  await tap(row);
  await heading('Now playing').waitFor();
  await until('the file deep in the list', async () => (await nowTitle()) === '3000.mp3', 30000);
  const playing = page.locator('#playlist button.row[aria-current="true"]');
  await until('the playing row marked and in view', async () => (await playing.count()) === 1 && (await playing.textContent()).includes('3000.mp3') && inView(playing));
  if ((await page.locator('#playlist li').count()) > 100) throw new Error('the whole playlist is in the page');
  await tap(page.getByRole('button', { name: 'Next', exact: true }));
  await until('the simulator on the next row', () => simulator().row === '3000');
  await until('the next title', async () => (await nowTitle()) === '3001.mp3');
});

await step('error-in-view', async () => {
  // A file removed after the listing, played from far down: the error is in
  // view, in words, and names what failed.
  await tap(page.getByRole('link', { name: 'Browse' }));
  await openFolder('DEMO', 'Many');
  // Removed once the listing is in the page: a listing made afterwards would
  // rightly leave it out.
  await page.locator('ul.files li').first().waitFor();
  rmSync(join(root, 'tmp/mnt/storage/sda1/Many/4990.mp3'));
  await page.locator('ul.files').evaluate((el) => window.scrollTo(0, el.getBoundingClientRect().top + scrollY + 4989 * 48 - 200));
  await tap(page.getByRole('button', { name: 'Play 4990.mp3', exact: true }));
  await until('the error in words', async () => (await errorText()) === 'This cannot be played: it is no media file, or it is gone.');
  if (!(await inView(page.locator('#error')))) throw new Error('the error is out of view');
  const what = await page.locator('#error .what').textContent();
  if (what !== 'Playing “4990.mp3”:') throw new Error(`the error names ${what}`);
  await snap('error-far-down');
  await page.goto(`${base}#/browse/${encodeURIComponent('local/NO SUCH')}`);
  await until('a missing folder in words', async () => (await errorText()) === 'It is not there any more: was the disk removed, or the file deleted?');
  // An address with a malformed escape opens the start view.
  await page.goto(`${base}#/browse/local%2FDEMO%E0%A4%A`);
  await page.getByRole('link', { name: 'Music Stick' }).waitFor();
});

await step('donation-remind-later', async () => {
  // A countdown at 1 and the last start two days ago: this start reminds.
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
await step('foreign-page-refused', async () => {
  // A page of another site tries "option set" through the visitor's browser:
  // an image with its Referer suppressed and a form. Both are refused and the
  // options stay, with the box at 127.0.0.1 (the browser marks the requests
  // cross-site) and at a name of the home network over http (it marks
  // nothing); the box's own page works at that name too. The box's page in
  // the foreign page's frame, where a click meant for that page could land
  // on it, asks the box nothing and offers to open itself whole.
  const port = new URL(origin).port;
  const options = () => JSON.stringify(JSON.parse(readFileSync(join(root, 'persistfs/orvex/etc/tavorc.conf'), 'utf8')).options);
  const before = options();
  for (const [box, attacker] of [[origin, `http://localhost:${port}`], [`http://box.lan:${port}`, `http://attacker.example:${port}`]]) {
    const api = `${box}/cgi-bin/do2?cmd=option&action=set`;
    writeFileSync(join(root, 'tmp/www/foreign.html'), `<!doctype html>
<img referrerpolicy="no-referrer" src="${api}&opt_name=foreign_image&opt_value=1">
<iframe name="sink"></iframe>
<iframe id="box" src="${box}/rc/#/options"></iframe>
<form id="form" method="POST" action="${api}" target="sink"><input name="foreign_form" value="1"></form>
<script>document.getElementById('form').submit();</script>`);
    const foreignPage = await context.newPage();
    const answers = new Map();
    const framedAsked = [];
    foreignPage.on('request', (r) => {
      if (r.url().startsWith(`${box}/cgi-bin/`) && !r.url().startsWith(api)) framedAsked.push(r.url());
    });
    foreignPage.on('response', (r) => {
      if (r.url().startsWith(api)) answers.set(r.request().method(), { status: r.status(), referer: r.request().headers().referer });
    });
    await foreignPage.goto(`${attacker}/foreign.html`);
    await until(`the answers to the image and the form (${box})`, () => answers.size === 2);
    await foreignPage.frameLocator('#box').getByRole('link', { name: 'This remote works only in a window of its own: open it here.' }).waitFor();
    await foreignPage.close();
    if (framedAsked.length) throw new Error(`the framed page asked the box: ${framedAsked.join(' ')}`);
    const [image, form] = [answers.get('GET'), answers.get('POST')];
    if (image.status !== 403 || image.referer) throw new Error(`the image's request to ${box}: ${JSON.stringify(image)}`);
    if (form.status !== 403) throw new Error(`the form's request to ${box}: ${JSON.stringify(form)}`);
    if (options() !== before) throw new Error(`the options changed: ${options()}`);
  }
  const home = await context.newPage();
  await home.goto(`http://box.lan:${port}/rc/`);
  await home.getByRole('link', { name: 'Music Stick' }).waitFor();
  await home.close();
});

console.log(`${apiLog.length} system requests, at most ${maxInFlight} in flight; screenshots in ${shots}`);
await context.close();
rmSync(userDir, { recursive: true, force: true });
if (failures.length) {
  console.error(failures.join('\n'));
  process.exit(1);
}
