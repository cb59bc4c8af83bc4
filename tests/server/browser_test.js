// Drives the viewer page in headless Chromium: makes a sample picture, starts
// `tarvel serve` on it (which builds its pyramid), opens /view/ID, waits until
// OpenSeadragon has drawn, then zooms to whole-pixel windows at full and at
// half resolution and compares what the page shows with `tarvel view` of the
// same window.
//
// node browser_test.js TARVEL WEB_DIR WORK_DIR
// Exits 77 (skipped) with a message when Chromium or puppeteer-core is missing.
'use strict';

const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

const [tarvel, webDir, workDir] = process.argv.slice(2);
const picture = path.join(workDir, 'map.jpg');
const pyramidDir = picture + '.pyramid';  // where tarvel serve builds it
const SKIP = 77;
// JPEG tiles at quality 90 against lossless pixels: the mean difference per
// sample stays near 1, and almost no sample is far off.
const kMeanTolerance = 3;
const kFarSample = 40;
const kFarFraction = 0.002;

function skip(why) {
  console.log('skipped: ' + why);
  process.exit(SKIP);
}

function findChromium() {
  for (const p of [process.env.CHROMIUM, '/usr/bin/chromium', '/usr/bin/chromium-browser']) {
    if (p && fs.existsSync(p)) return p;
  }
  return null;
}

// The pixels of an 8-bit RGB or RGBA PNG, as RGB.
function decodePng(buffer) {
  let pos = 8, width = 0, height = 0, colour = 0;
  const idat = [];
  while (pos < buffer.length) {
    const length = buffer.readUInt32BE(pos);
    const type = buffer.toString('latin1', pos + 4, pos + 8);
    const data = buffer.subarray(pos + 8, pos + 8 + length);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      if (data[8] !== 8 || data[12] !== 0) throw new Error('unsupported PNG');
      colour = data[9];
    } else if (type === 'IDAT') {
      idat.push(data);
    }
    pos += 12 + length;
  }
  const channels = { 0: 1, 2: 3, 6: 4 }[colour];
  if (!channels) throw new Error('unsupported PNG colour type ' + colour);
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; x++) {
      const a = x >= channels ? rows[y * stride + x - channels] : 0;
      const b = y > 0 ? rows[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? rows[(y - 1) * stride + x - channels] : 0;
      let v = line[x];
      if (filter === 1) v += a;
      else if (filter === 2) v += b;
      else if (filter === 3) v += (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      rows[y * stride + x] = v & 255;
    }
  }
  const rgb = Buffer.alloc(width * height * 3);
  for (let i = 0; i < width * height; i++) {
    for (let k = 0; k < 3; k++) rgb[3 * i + k] = rows[i * channels + (channels === 1 ? 0 : k)];
  }
  return { width, height, rgb };
}

function compare(shown, expected) {
  if (shown.width !== expected.width || shown.height !== expected.height)
    throw new Error(`sizes differ: ${shown.width}x${shown.height} against ${expected.width}x${expected.height}`);
  let sum = 0, far = 0, min = 255, max = 0;
  for (let i = 0; i < shown.rgb.length; i++) {
    const d = Math.abs(shown.rgb[i] - expected.rgb[i]);
    sum += d;
    if (d > kFarSample) far++;
    min = Math.min(min, shown.rgb[i]);
    max = Math.max(max, shown.rgb[i]);
  }
  return { mean: sum / shown.rgb.length, far: far / shown.rgb.length, range: max - min };
}

function startServer() {
  return new Promise((resolve, reject) => {
    const server = spawn(tarvel, ['serve', picture, '--port', '0', '--threads', '3', '--web', webDir],
                         { stdio: ['ignore', 'pipe', 'inherit'] });
    let out = '';
    server.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/at (http:\/\/[^ ]+?)\/ with/);
      const id = out.match(/\/view\/([^ ]+)/);
      if (m && id) resolve({ server, root: m[1], id: id[1] });
    });
    server.on('exit', (code) => reject(new Error('tarvel serve exited with ' + code + ': ' + out)));
  });
}

async function main() {
  const chromium = findChromium();
  if (!chromium) skip('Chromium is not installed (apt-get install chromium; scripts/setup.sh does)');
  let puppeteer;
  try {
    puppeteer = require(path.join(path.resolve(webDir), 'node_modules', 'puppeteer-core'));
  } catch (e) {
    skip('puppeteer-core is not installed (npm ci in web/; scripts/setup.sh does)');
  }
  fs.rmSync(workDir, { recursive: true, force: true });
  fs.mkdirSync(workDir, { recursive: true });
  execFileSync(tarvel, ['sample', picture, '--width', '3000', '--height', '2000'], { stdio: 'ignore' });
  const { server, root, id } = await startServer();
  let browser;
  try {
    browser = await puppeteer.launch({
      executablePath: chromium,
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
    });
  } catch (e) {
    // A stub that cannot run here (a snap wrapper in a container) is no fault of the viewer.
    server.kill('SIGTERM');
    skip(`${chromium} does not start: ${e.message.split('\n')[0]}`);
  }
  let failed = false;
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 800, height: 600, deviceScaleFactor: 1 });
    page.on('pageerror', (e) => { console.log('page error: ' + e.message); failed = true; });
    await page.goto(`${root}/view/${id}?drawer=canvas`, { waitUntil: 'load' });

    const drawn = () => page.waitForFunction(() => {
      const s = window.tarvelStats;
      const item = window.viewer && window.viewer.world.getItemAt(0);
      return s && s.opened && item && item.getFullyLoaded() && s.loaded > 0;
    }, { timeout: 60000, polling: 100 });
    await drawn();
    const first = await page.evaluate(() => Object.assign({}, window.tarvelStats));
    console.log(`opened: ${first.loaded} tiles loaded, ${first.failed} failed`);
    if (first.failed > 0) throw new Error('tiles failed to load');

    // Only the picture is compared: the buttons and the navigator go. The
    // canvas drawer stretches each tile by a pixel to hide seams between
    // tiles at fractional zooms; at the whole-pixel windows below there are
    // none, and stretched tiles would not show their own pixels.
    await page.evaluate(() => {
      window.viewer.drawer.minimumOverlapRequired = () => false;
      window.viewer.setControlsEnabled(false);
      for (const c of window.viewer.controls) c.element.style.display = 'none';
      if (window.viewer.navigator) window.viewer.navigator.element.style.display = 'none';
    });

    // Whole-pixel windows at full resolution and at half: the canvas's top-left
    // pixel shows image pixel (x0, y0) exactly, one screen pixel per `scale`
    // image pixels.
    const views = [{ x0: 1000, y0: 700, scale: 1 }, { x0: 200, y0: 100, scale: 2 }];
    for (const v of views) {
      const box = await page.evaluate((v) => {
        const vp = window.viewer.viewport;
        const canvas = window.viewer.drawer.canvas;
        const w = canvas.clientWidth, h = canvas.clientHeight;
        vp.zoomTo(vp.imageToViewportZoom(1 / v.scale), null, true);
        vp.panTo(vp.imageToViewportCoordinates(v.x0 + (w * v.scale) / 2, v.y0 + (h * v.scale) / 2), true);
        window.viewer.forceRedraw();
        const r = canvas.getBoundingClientRect();
        const corner = vp.viewerElementToImageCoordinates(new OpenSeadragon.Point(0, 0));
        return { left: r.left, top: r.top, width: w, height: h, cx: corner.x, cy: corner.y };
      }, v);
      await new Promise((r) => setTimeout(r, 300));
      await drawn();
      if (Math.abs(box.cx - v.x0) > 0.01 || Math.abs(box.cy - v.y0) > 0.01)
        throw new Error(`the view starts at ${box.cx},${box.cy}, not ${v.x0},${v.y0}`);
      const png = await page.screenshot({
        type: 'png', clip: { x: box.left, y: box.top, width: box.width, height: box.height } });
      fs.writeFileSync(path.join(workDir, `shown-${v.scale}.png`), png);
      const shot = decodePng(png);
      const out = path.join(workDir, `view-${v.scale}.png`);
      execFileSync(tarvel, ['view', pyramidDir, '--smooth', '--size', `${box.width}x${box.height}`,
        '--window', [v.x0, v.y0, v.x0 + box.width * v.scale, v.y0 + box.height * v.scale].join(','),
        '-o', out], { stdio: 'ignore' });
      const c = compare(shot, decodePng(fs.readFileSync(out)));
      console.log(`view at 1:${v.scale} from ${v.x0},${v.y0}: mean difference ${c.mean.toFixed(2)}, ` +
                  `${(100 * c.far).toFixed(3)}% of samples off by more than ${kFarSample}, range ${c.range}`);
      if (c.range < 50) throw new Error('the view is blank');
      if (c.mean > kMeanTolerance || c.far > kFarFraction) throw new Error('the view differs from tarvel view');
    }
    const last = await page.evaluate(() => Object.assign({}, window.tarvelStats));
    console.log(`in all: ${last.loaded} tiles loaded, ${last.failed} failed`);
    if (last.failed > 0) throw new Error('tiles failed to load');
  } catch (e) {
    console.log('FAILED: ' + e.message);
    failed = true;
  } finally {
    await browser.close();
    server.kill('SIGTERM');
  }
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.log('FAILED: ' + e.stack);
  process.exit(1);
});
