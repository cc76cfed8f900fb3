// SPDX-License-Identifier: GPL-3.0-or-later
// Time to ready of the web page (body[data-ready]) and the bytes it loads, for one or more
// builds of the page in one run: each load in a fresh browser profile (no HTTP cache, no
// service worker), the builds taken in turn (A B A B ...), medians reported. Measured on the
// desktop (no throttling) and on emulated fast 3G with a 4x slower CPU, through Chromium's
// DevTools protocol.
//
//   node bench/page_load.mjs [--runs N] [--latency MS] LABEL=FOLDER[@http.server] ...
//
// A folder is served by scripts/web-serve.py (precompressed copies, cache headers), or with
// "@http.server" by Python's http.server, as the page was served before. Needs
// tests/web/node_modules (npm ci there) and /usr/bin/chromium.
import { spawn } from "node:child_process";
import { readFileSync, readdirSync, statSync } from "node:fs";
import { createRequire } from "node:module";
import { join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { gzipSync } from "node:zlib";

const root = fileURLToPath(new URL("..", import.meta.url));
const require = createRequire(join(root, "tests/web/package.json"));
const { chromium } = require("playwright-core");

const args = process.argv.slice(2);
const option = (name, fallback) => {
    const at = args.indexOf(name);
    if (at < 0) return fallback;
    const [, value] = args.splice(at, 2);
    return Number(value);
};
const runs = option("--runs", 7);
// Fast 3G: 1.6 Mbit/s down, 750 kbit/s up; its 150 ms round trip is 562.5 ms in Chromium's
// preset, which stands for the whole cost of a request on such a network.
const latency = option("--latency", 562.5);
const sites = args.map((arg) => {
    const [, label, folder, plain] = /^([^=]+)=(.+?)(@http\.server)?$/.exec(arg) ?? [];
    if (!label) throw new Error(`not LABEL=FOLDER[@http.server]: ${arg}`);
    return { label, folder: resolve(folder), plain: Boolean(plain) };
});
if (sites.length === 0) {
    console.error("usage: node bench/page_load.mjs [--runs N] [--latency MS] LABEL=FOLDER[@http.server] ...");
    process.exit(2);
}

const profiles = {
    desktop: null,
    "fast 3G, CPU 4x": { latency, downloadThroughput: 1.6e6 / 8, uploadThroughput: 750e3 / 8, cpu: 4 },
};

function serve(site) {
    const command = site.plain ? ["-u", "-m", "http.server", "0", "--bind", "127.0.0.1"]
                               : [join(root, "scripts/web-serve.py"), "--port", "0", site.folder];
    const server = spawn("python3", command, { cwd: site.folder, stdio: ["ignore", "pipe", "ignore"] });
    return new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`no server for ${site.folder}`)), 10000);
        server.stdout.on("data", (chunk) => {
            const m = /port (\d+)/.exec(chunk.toString());
            if (m) {
                clearTimeout(timer);
                resolve({ url: `http://127.0.0.1:${m[1]}/`, stop: () => server.kill() });
            }
        });
    });
}

// The page's own files (not their precompressed copies): raw bytes, those of the WebAssembly,
// and what gzip -9 makes of each file.
function sizes(folder) {
    const files = readdirSync(folder).filter((f) => !/\.(gz|br)$/.test(f) && statSync(join(folder, f)).isFile());
    const total = (list, size) => list.reduce((n, f) => n + size(join(folder, f)), 0);
    return { raw: total(files, (f) => statSync(f).size),
             wasm: total(files.filter((f) => f.endsWith(".wasm")), (f) => statSync(f).size),
             gzip: total(files, (f) => gzipSync(readFileSync(f), { level: 9 }).length) };
}

async function load(browser, url, profile) {
    const context = await browser.newContext({ serviceWorkers: "block" });
    const page = await context.newPage();
    const cdp = await context.newCDPSession(page);
    await cdp.send("Network.enable");
    await cdp.send("Network.setCacheDisabled", { cacheDisabled: true });
    if (profile) {
        await cdp.send("Network.emulateNetworkConditions", { offline: false, latency: profile.latency,
            downloadThroughput: profile.downloadThroughput, uploadThroughput: profile.uploadThroughput });
        await cdp.send("Emulation.setCPUThrottlingRate", { rate: profile.cpu });
    }
    let transferred = 0;
    let requests = 0;
    cdp.on("Network.loadingFinished", (e) => {
        transferred += e.encodedDataLength;
        ++requests;
    });
    await page.goto(url, { waitUntil: "commit" });
    await page.waitForSelector("body[data-ready]", { timeout: 60000 });
    const ready = await page.evaluate(() => window.zuvelaStats.interactiveMs);
    await context.close();
    return { ready, transferred, requests };
}

const median = (values) => {
    const sorted = [...values].sort((a, b) => a - b);
    const mid = sorted.length >> 1;
    return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
};

const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update",
           "--disable-sync", "--no-first-run"] });
const servers = await Promise.all(sites.map(serve));
const results = sites.map(() => Object.fromEntries(Object.keys(profiles).map((p) => [p, []])));
try {
    for (const site of sites) await load(browser, servers[sites.indexOf(site)].url, null); // warm the disk
    for (let run = 0; run < runs; ++run) {
        for (const [name, profile] of Object.entries(profiles)) {
            for (let i = 0; i < sites.length; ++i) results[i][name].push(await load(browser, servers[i].url, profile));
        }
    }
} finally {
    await browser.close();
    servers.forEach((s) => s.stop());
}

const kB = (n) => (n / 1000).toFixed(1);
console.log(`${runs} loads each, taken in turn; medians (min-max). Fast 3G latency ${latency} ms.`);
console.log("| page | raw kB (wasm) | gzip -9 kB | sent until ready kB (requests) | ready, desktop ms | ready, fast 3G + CPU 4x ms |");
console.log("|---|---|---|---|---|---|");
sites.forEach((site, i) => {
    const { raw, wasm, gzip } = sizes(site.folder);
    const spread = (list) => {
        const t = list.map((r) => r.ready);
        return `${median(t).toFixed(0)} (${Math.min(...t).toFixed(0)}-${Math.max(...t).toFixed(0)})`;
    };
    const slow = results[i]["fast 3G, CPU 4x"];
    console.log(`| ${site.label} | ${kB(raw)} (${kB(wasm)}) | ${kB(gzip)} | ${kB(median(slow.map((r) => r.transferred)))} ` +
                `(${median(slow.map((r) => r.requests))}) | ${spread(results[i].desktop)} | ${spread(slow)} |`);
});
