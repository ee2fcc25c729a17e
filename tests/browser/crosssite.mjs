// A foreign page tries to drive the box through the visitor's browser: the
// demo stack answers on 127.0.0.1, the foreign page is served from another
// name of the same machine ("localhost", another site to the browser). It
// sends "option set" through an image with its Referer suppressed and through
// a form; both are refused and the options stay as they were. The box's own
// page, in the same browser, still sets an option.
//
// node crosssite.mjs <base-url> <sandbox-root>
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const [base, root] = process.argv.slice(2);
const box = new URL(base);
const foreignOrigin = `http://localhost:${box.port}`;
const api = `${box.origin}/cgi-bin/do2?cmd=option&action=set`;

writeFileSync(join(root, 'tmp/www/foreign.html'), `<!doctype html>
<img id="img" referrerpolicy="no-referrer" src="${api}&opt_name=foreign_image&opt_value=1">
<iframe name="sink"></iframe>
<form id="form" method="POST" action="${api}" target="sink"><input name="foreign_form" value="1"></form>
<script>document.getElementById('form').submit();</script>`);

function options() {
  try {
    return JSON.parse(readFileSync(join(root, 'persistfs/orvex/etc/tavorc.conf'), 'utf8')).options.common;
  } catch {
    return {};  // no configuration written yet
  }
}
const before = JSON.stringify(options());

const context = await chromium.launchPersistentContext(mkdtempSync(join(tmpdir(), 'tavorc-chromium-')), {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
});
const page = context.pages()[0] || (await context.newPage());
const answers = new Map();
page.on('response', (r) => {
  if (r.url().startsWith(api)) answers.set(r.request().method(), { status: r.status(), headers: r.request().headers() });
});

const failures = [];
const check = (ok, what) => {
  console.log(`${ok ? 'ok' : 'FAILED'}: ${what}`);
  if (!ok) failures.push(what);
};
try {
  await page.goto(`${foreignOrigin}/foreign.html`);
  const end = Date.now() + 15000;
  while (answers.size < 2 && Date.now() < end) await new Promise((r) => setTimeout(r, 100));
  const image = answers.get('GET');
  const form = answers.get('POST');
  check(image && image.status === 403 && !image.headers.referer,
    `the image's request (no Referer) is refused: ${JSON.stringify(image)}`);
  check(form && form.status === 403, `the form's request is refused: ${JSON.stringify(form)}`);
  check(JSON.stringify(options()) === before, `the options are unchanged: ${JSON.stringify(options())}`);

  // The box's page sends its requests from its own origin.
  await page.goto(`${box.origin}/rc/`);
  const status = await page.evaluate(async (url) => (await fetch(url, { credentials: 'same-origin' })).status,
    `${api}&opt_name=own_page&opt_value=1`);
  check(status === 200 && options().own_page === '1', `the box's own page sets an option: ${status}`);
} finally {
  await context.close();
}
if (failures.length) {
  console.error(`${failures.length} failed`);
  process.exit(1);
}
