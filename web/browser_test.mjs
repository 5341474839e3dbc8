// The web build played in Debian's chromium, headless, through the
// DevTools protocol: the title against the desktop game's own, the keys,
// a game to its end and a new one, Esc, the pictures' colour keys, the
// mixer, passes a second and a clean console. Every step leaves a
// screenshot in the artefacts folder, and the figures go to metrics.json.
//
//   node browser_test.mjs <site folder> <artefacts folder> <desktop title png> <profile folder>
//
// Chromium keeps its profile in the profile folder, which the caller
// empties beforehand.
//
// The timing figures (first frame, passes a second) are measured and
// written with their budgets and a verdict on every run, but fail the
// test only with TUMBRIK_WEB_BUDGETS=1 (benchmarks/web.sh): beside other
// tests on a busy machine they tell of the load, not of the site.
import { execFileSync, spawn } from 'node:child_process';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';

const [site, art, reference, profile] = process.argv.slice(2);
if (!profile) {
  console.error('usage: node browser_test.mjs <site folder> <artefacts folder> <desktop title png> <profile folder>');
  process.exit(2);
}

let stepName = 'start-up';
function step(name) {
  stepName = name;
  console.log(`web_browser: ${name}`);
}
class Failure extends Error {}
function check(ok, why) {
  if (!ok) throw new Failure(why);
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// A timing figure against its budget: kept in metrics.budgets and printed
// with its verdict; a miss is listed in `missed`, which fails the run at
// its end when the budgets are enforced.
const enforceBudgets = process.env.TUMBRIK_WEB_BUDGETS === '1';
const missed = [];
function budget(name, measured, unit, limit, ok) {
  const verdict = ok ? 'ok' : 'MISSED';
  metrics.budgets[name] = { measured, unit, budget: limit, verdict };
  console.log(`web_browser: ${name}: ${measured} ${unit}, budget ${limit}: ${verdict}`);
  if (!ok) missed.push(`${name}: ${measured} ${unit}, budget ${limit}`);
}

// ==== The server and the browser ====

// The site as a player gets it: Python's static server on 127.0.0.1,
// on a port it picks itself and names on its first line. The server goes
// into `server` as soon as it is spawned, so the clean-up ends it however
// its start goes. Resolves to the site's address.
function serve() {
  server = spawn('python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1',
                             '--directory', site, '0'],
                 { stdio: ['ignore', 'pipe', 'pipe'] });
  return new Promise((resolve, reject) => {
    let said = '';
    const late = setTimeout(() => reject(new Error('the web server named no port within 10 s')), 10000);
    server.stdout.on('data', (d) => {
      said += d;
      const m = said.match(/port (\d+)/);
      if (m) {
        clearTimeout(late);
        resolve(`http://127.0.0.1:${m[1]}/`);
      }
    });
    server.stderr.on('data', () => {});
    server.on('error', (e) => reject(new Error(`couldn't start the web server: ${e.message}`)));
    server.on('exit', (code, signal) => reject(new Error(`the web server stopped (${code ?? signal}): ${said}`)));
  });
}

let server, browser;
const problems = [];   // console errors and warnings, page errors, failed requests
const metrics = { budgets: {} };
let shotNo = 0;

async function shot(page, name) {
  shotNo++;
  const path = join(art, `${String(shotNo).padStart(3, '0')}-${name}.png`);
  await page.screenshot({ path });
  return path;
}

// The canvas's own pixels, exactly as the game drew them, as a PNG file.
async function canvasShot(page, path) {
  const url = await page.evaluate(() => document.getElementById('canvas').toDataURL('image/png'));
  writeFileSync(path, Buffer.from(url.split(',')[1], 'base64'));
  return path;
}

// How many pixels of two pictures differ (ImageMagick's compare).
function differ(a, b) {
  const im = ['compare-im6.q16', 'compare'].find((c) => {
    try { execFileSync('sh', ['-c', `command -v ${c}`]); return true; } catch { return false; }
  });
  try {
    execFileSync(im, ['-metric', 'AE', a, b, 'null:'], { stdio: ['ignore', 'ignore', 'pipe'] });
    return 0;
  } catch (e) {
    const n = parseFloat(String(e.stderr));
    if (Number.isNaN(n)) throw new Failure(`compare could not compare ${a} and ${b}: ${e.stderr}`);
    return n;
  }
}

const state = (page) => page.evaluate(() => JSON.parse(UTF8ToString(Module._web_state())));

// Wait up to ms for the game's state to satisfy want.
async function until(page, ms, want, why) {
  const end = Date.now() + ms;
  let s;
  while (Date.now() < end) {
    s = await state(page);
    if (want(s)) return s;
    await sleep(20);
  }
  throw new Failure(`${why} (state ${JSON.stringify(s)})`);
}

async function press(page, key, holdMs = 40) {
  await page.keyboard.down(key);
  await sleep(holdMs);
  await page.keyboard.up(key);
}

// ==== The steps ====

async function play() {
  step('serve the site and open the page');
  metrics.url = await serve();
  browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
           '--window-size=800,900'],
  });
  const page = await browser.newPage();
  await page.setViewport({ width: 640, height: 760 });
  page.on('console', (m) => {
    if (m.type() === 'error' || m.type() === 'warn' || m.type() === 'warning')
      problems.push(`console ${m.type()}: ${m.text()}`);
  });
  page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
  page.on('requestfailed', (r) => problems.push(`request failed: ${r.url()} ${r.failure()?.errorText}`));
  page.on('response', (r) => { if (r.status() >= 400) problems.push(`HTTP ${r.status()}: ${r.url()}`); });
  // Keys the browser would act on, and whether the page kept them.
  await page.evaluateOnNewDocument(() => {
    window.keptFromBrowser = {};
    window.addEventListener('keydown', (e) => {
      window.keptFromBrowser[e.key] = (window.keptFromBrowser[e.key] ?? true) && e.defaultPrevented;
    });
  });
  await page.goto(metrics.url, { waitUntil: 'load' });
  await page.waitForFunction(() => window.Module && Module.passes > 0, { timeout: 15000 });
  metrics.firstFrameMs = Math.round(await page.evaluate(() => Module.firstFrameAt));
  budget('first frame after navigation', metrics.firstFrameMs, 'ms', 'at most 1500',
         metrics.firstFrameMs <= 1500);

  step('the start cover is up, the sound waits for the player');
  check(await page.evaluate(() => !document.getElementById('start').hidden), 'no start cover');
  check(await page.evaluate(() => Module.mixer.context === null && Module.mixer.sounding === 0),
        'the page made sound before the player pressed a key');
  await shot(page, 'page-start');

  step('passes a second on the title screen');
  const p0 = await page.evaluate(() => [Module.passes, performance.now()]);
  await sleep(3000);
  const p1 = await page.evaluate(() => [Module.passes, performance.now()]);
  metrics.passesPerSecond = Math.round((p1[0] - p0[0]) / ((p1[1] - p0[1]) / 1000) * 10) / 10;
  budget('passes a second on the title screen', metrics.passesPerSecond, 'passes/s', 'at least 55',
         metrics.passesPerSecond >= 55);

  step('the title screen is the desktop game\'s, pixel for pixel');
  // The demo piece turns every 200 ms; wait for the desktop shot's turn.
  const title = join(art, 'title-canvas.png');
  let best = Infinity;
  for (let i = 0; i < 40 && best > 0; i++) {
    await canvasShot(page, title);
    best = Math.min(best, differ(title, reference));
    if (best > 0) await sleep(50);
  }
  check(best === 0, `the title differs from the desktop's in ${best} pixels at best (last: ${title})`);

  step('the colour keys are transparent');
  const keys = await page.evaluate(() => {
    const want = { 'Tahoma10.bmp': [0, 0, 0], 'tahoma8.bmp': [255, 255, 255], 'over.bmp': [255, 0, 255],
                   'logo.bmp': [255, 0, 255], 'paus.bmp': [255, 0, 255], 'tumbrik2.bmp': [0, 0, 255],
                   'sdllogo.bmp': null };
    const seen = [];
    for (const s of Object.values(SDL.surfaces)) {
      const name = (s.source || '').replace(/^load:.*\//, '');
      if (!(name in want)) continue;
      // Read through a copy: a second read of the game's canvas has the
      // browser warn on the console.
      const copy = document.createElement('canvas');
      copy.width = s.width;
      copy.height = s.height;
      const ctx = copy.getContext('2d', { willReadFrequently: true });
      ctx.drawImage(s.canvas, 0, 0);
      const px = ctx.getImageData(0, 0, s.width, s.height).data;
      const u = s.unkeyed ? s.unkeyed.data : px;
      let keyed = 0, clear = 0, wrong = 0;
      const k = want[name];
      for (let i = 0; i < px.length; i += 4) {
        const isKey = !!k && u[i] === k[0] && u[i + 1] === k[1] && u[i + 2] === k[2];
        if (isKey) keyed++;
        if (px[i + 3] === 0) clear++;
        if ((px[i + 3] === 0) !== isKey) wrong++;
      }
      seen.push({ name, keyed: !!s.unkeyed, keyPixels: keyed, clear, wrong });
    }
    return seen;
  });
  metrics.keys = keys;
  for (const name of ['Tahoma10.bmp', 'tahoma8.bmp', 'over.bmp', 'logo.bmp', 'paus.bmp'])
    check(keys.some((k) => k.name === name && k.keyPixels > 0 && k.wrong === 0),
          `${name} is not transparent exactly where its key colour is: ${JSON.stringify(keys)}`);
  // tumbrik2.bmp twice: keyed blue as the emblem, unkeyed as the icon.
  check(keys.some((k) => k.name === 'tumbrik2.bmp' && k.keyed && k.keyPixels > 0 && k.wrong === 0) &&
        keys.some((k) => k.name === 'tumbrik2.bmp' && !k.keyed && k.clear === 0),
        `the emblem is not keyed blue beside an unkeyed icon: ${JSON.stringify(keys)}`);
  check(keys.some((k) => k.name === 'sdllogo.bmp' && k.clear === 0), 'the SDL badge has transparent pixels');

  step('a key lifts the cover and starts the music; the game never sees it');
  await press(page, 'F2');
  check(await page.evaluate(() => document.getElementById('start').hidden), 'the start cover stayed');
  await page.waitForFunction(() => Module.mixer.context.state === 'running' && Module.mixer.music &&
                                   Module.mixer.music.node, { timeout: 5000 });
  check((await state(page)).screen === 'a', 'the key that lifted the cover reached the game');

  step('F2 starts a game');
  await press(page, 'F2');
  let s = await until(page, 2000, (s) => s.screen === 'b', 'F2 did not start a game');
  await shot(page, 'new-game');

  step('Left and Right slide the piece while held');
  await sleep(300);   // into the well
  s = await state(page);
  await press(page, 'ArrowLeft', 400);
  const left = await state(page);
  check(left.x < s.x - 10, `Left held 400 ms moved the piece from x ${s.x} to ${left.x}`);
  await shot(page, 'left');
  await press(page, 'ArrowRight', 400);
  const right = await state(page);
  check(right.x > left.x + 10, `Right held 400 ms moved the piece from x ${left.x} to ${right.x}`);
  await sleep(100);
  check(Math.abs((await state(page)).x - right.x) < 0.01, 'the piece slid on after Right was released');
  await shot(page, 'right');

  step('Down turns once, however long the browser repeats it');
  s = await state(page);
  await page.keyboard.down('ArrowDown');
  for (let i = 0; i < 5; i++) {
    await sleep(40);
    await page.keyboard.down('ArrowDown');   // the browser's auto-repeat
  }
  await page.keyboard.up('ArrowDown');
  await sleep(50);
  const turned = await state(page);
  const after = { n: 'w', w: 's', s: 'o', o: 'n' }[s.rot];
  check(turned.rot === after, `Down held with five repeats turned the piece from ${s.rot} to ${turned.rot}, not ${after}`);
  await shot(page, 'turned');

  step('F3 freezes the well, F3 again resumes');
  await press(page, 'F3');
  s = await until(page, 1000, (s) => s.paus === 'i', 'F3 did not pause');
  await sleep(300);
  check((await state(page)).y === s.y, 'the piece fell while paused');
  await shot(page, 'paused');
  await press(page, 'F3');
  await until(page, 1000, (t) => t.paus === 'o', 'F3 did not resume');
  await sleep(200);
  check((await state(page)).y > s.y, 'the piece does not fall after the pause');

  step('Space drops; hard drops stack up to game over');
  let drops = 0;
  s = await state(page);
  while (s.screen === 'b' && drops < 80) {
    const before = s;
    await press(page, ' ');
    drops++;
    s = await until(page, 3000, (t) => t.screen !== 'b' || t.y < before.y,
                    `Space did not land the piece (drop ${drops})`);
    if (drops === 1) await shot(page, 'first-drop');
    await sleep(150);   // the new piece falls a little, so the next landing shows
    s = await state(page);
  }
  check(s.screen === 'c', `no game over after ${drops} drops`);
  metrics.dropsToGameOver = drops;
  await shot(page, 'game-over');

  step('F2 starts a game again');
  await press(page, 'F2');
  await until(page, 2000, (s) => s.screen === 'b' && s.points === 0, 'F2 did not start a new game');
  await sleep(200);
  await shot(page, 'again');

  step('cleared rows chime on channel 0, and only while it is free');
  // Rows 17 and 18 of the board filled in place: the next landing clears
  // two rows, 10 points and the chime played twice (loops 1). Wherever the
  // chime has to be busy, the audio clock is held (the context suspended),
  // so that only the order of events counts, never the machine's speed;
  // the waits are safety nets.
  const fill = (rows) => page.evaluate((rows) => {
    for (const r of rows) HEAP8.fill(98 /* 'b' */, Module._web_board() + r * 20, Module._web_board() + r * 20 + 20);
  }, rows);
  // The mixer's own counters, channel 0 and the audio clock (s).
  const mixer = () => page.evaluate(() => {
    const m = Module.mixer;
    const bonus = m.sounds.findIndex((snd, i) => i > 0 && snd && (!m.music || i !== m.music.id));
    return { chimes: m.chimes, sounding: m.sounding, playing: _Mix_Playing(0),
             plays: m.channels[0] ? m.channels[0].plays : 0,
             clock: m.context.currentTime, length: m.sounds[bonus].buffer.duration };
  });
  const audio = (what) => page.evaluate((what) => Module.mixer.context[what](), what);
  async function landOn(rows, points) {
    await fill(rows);
    await press(page, ' ');
    await until(page, 2000, (t) => t.points === points, `the landing on full rows ${rows} did not make ${points} points`);
    return mixer();
  }
  const quiet = await mixer();
  await audio('suspend');
  const first = await landOn([17, 18], 10);
  check(first.chimes === quiet.chimes + 1 && first.playing === 1 && first.plays === 2 &&
        first.sounding === quiet.sounding + 1,
        `two cleared rows did not sound the chime twice on channel 0: ${JSON.stringify([quiet, first])}`);
  await shot(page, 'cleared');
  const busy = await landOn([18], 11);
  check(busy.chimes === first.chimes && busy.playing === 1 && busy.sounding === first.sounding,
        `a row cleared while the chime played chimed again: ${JSON.stringify([first, busy])}`);
  await audio('resume');
  const deadline = Date.now() + 20000;
  let free = await mixer();
  while (free.playing === 1 && Date.now() < deadline) {
    await sleep(20);
    free = await mixer();
  }
  check(free.playing === 0 && free.sounding === quiet.sounding,
        `channel 0 still busy 20 s after the audio went on: ${JSON.stringify([first, free])}`);
  // The chime started on the held clock; channel 0 is free only once the
  // clock has run through both plays, however late it is read.
  check(free.clock >= first.clock + 2 * first.length - 0.01,
        `channel 0 was free after ${free.clock - first.clock} s of audio, before two plays of ${first.length} s`);
  // Held again: the next chime is still busy when Esc stops it below.
  await audio('suspend');
  const again = await landOn([18], 12);
  check(again.chimes === first.chimes + 1 && again.playing === 1 && again.plays === 1,
        `a row cleared after the chime had ended did not chime: ${JSON.stringify([free, again])}`);
  metrics.chime = { lengthMs: Math.round(first.length * 1000),
                    freeSeenAfterAudioMs: Math.round((free.clock - first.clock) * 1000) };

  step('the keys the game uses never reach the browser');
  const kept = await page.evaluate(() => window.keptFromBrowser);
  for (const key of ['F2', 'F3', 'ArrowLeft', 'ArrowRight', 'ArrowDown', ' '])
    check(kept[key] === true, `the browser saw ${JSON.stringify(key)}: ${JSON.stringify(kept)}`);
  check(await page.evaluate(() => window.scrollY === 0), 'the page scrolled');

  step('Esc ends the game: the loop and the sound stop, the chime too');
  const playing = await mixer();
  check(playing.playing === 1 && playing.sounding >= 2, `no music and chime to stop: ${JSON.stringify(playing)}`);
  await press(page, 'Escape');
  await page.waitForFunction(() => !document.getElementById('ended').hidden, { timeout: 3000 });
  const end = await page.evaluate(() => [Module.passes, Module.mixer.sounding, !!Module.mixer.music]);
  await sleep(500);
  const later = await page.evaluate(() => Module.passes);
  check((await state(page)).done === 1, 'done is not set');
  check(later === end[0], `the loop ran on: ${end[0]} passes, then ${later}`);
  check(end[1] === 0 && !end[2], `sound still playing after Esc: ${end[1]} sources, music ${end[2]}`);
  await shot(page, 'ended');

  step('the page offers to play again; a click starts it');
  await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.click('#again')]);
  await page.waitForFunction(() => window.Module && Module.passes > 0, { timeout: 15000 });
  check((await state(page)).screen === 'a', 'play again did not bring the title back');
  await shot(page, 'page');
  await page.click('#start');
  await page.waitForFunction(() => document.getElementById('start').hidden &&
                                   Module.mixer.context && Module.mixer.context.state === 'running',
                             { timeout: 5000 });

  step('the console is clean');
  check(problems.length === 0, `the page reported:\n  ${problems.join('\n  ')}`);

  if (enforceBudgets) {
    step('the timing budgets (TUMBRIK_WEB_BUDGETS=1)');
    check(missed.length === 0, `budgets missed:\n  ${missed.join('\n  ')}`);
  }
}

// Ended from outside (the script's clean-up, CTest's time limit): the
// web server goes too, and puppeteer's own exit handler ends Chromium.
for (const signal of ['SIGTERM', 'SIGINT', 'SIGHUP']) {
  process.on(signal, () => {
    console.error(`web_browser: ended by ${signal} in step '${stepName}'`);
    if (server) server.kill();
    process.exit(2);
  });
}

let status = 0;
try {
  await play();
  console.log(`web_browser: passed: ${JSON.stringify(metrics)}`);
} catch (e) {
  console.error(`web_browser: FAILED in step '${stepName}': ${e instanceof Failure ? e.message : e.stack}`);
  if (problems.length) console.error(`web_browser: the page reported:\n  ${problems.join('\n  ')}`);
  console.error(`web_browser: screenshots are in ${art}`);
  status = 1;
} finally {
  writeFileSync(join(art, 'metrics.json'), JSON.stringify(metrics, null, 2) + '\n');
  // A browser that does not answer is not waited for: puppeteer ends
  // Chromium's whole process group when node exits.
  if (browser) await Promise.race([browser.close().catch(() => {}), sleep(10000)]);
  if (server) server.kill();
}
process.exit(status);
