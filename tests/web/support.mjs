// SPDX-License-Identifier: GPL-3.0-or-later
// What the web tests share: the built page, zuvela-cli as the desktop's oracle, the engine
// loaded in Node, a static server and Debian's Chromium.
import { after, before } from "node:test";
import { spawn, spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

export const root = fileURLToPath(new URL("../..", import.meta.url));
export const site = process.env.ZUVELA_WEB_SITE ?? join(root, "build/web-site");
export const cliPath = process.env.ZUVELA_CLI ?? join(root, "build/ci/cli/zuvela-cli");
export const shots = join(root, "build/web-test");

export const tempDir = () => mkdtempSync(join(tmpdir(), "zuvela-web-"));

// zuvela-cli with args: its stdout as bytes, stderr as text, and the exit status.
export function cli(...args) {
    const r = spawnSync(cliPath, args, { timeout: 60000 });
    return { status: r.status, out: r.stdout, err: r.stderr.toString() };
}

// zuvela-cli's options for settings shaped as the page hands them to the engine: a profile
// written here by hand (the command line cannot uncheck "Ruf 1"), read by the desktop's loader.
export function cliOptions(s) {
    const sections = ["B I", "B II", "B III", "B IV"];
    let text = `[A]\r\nTS=${s.tonsys}\r\nTL=${s.toneLen}\r\nAW=${s.evaluator}\r\nSM=${s.switchMode}\r\n`;
    s.addresses.forEach((a, i) => (text += `[${sections[i]}]\r\nRP=${a.checked ? 1 : 0}\r\nAD=${a.text}\r\n`));
    const file = join(tempDir(), "settings.740");
    writeFileSync(file, Buffer.from(text, "latin1"));
    return ["-f", file];
}

export async function loadCore() {
    const require = createRequire(import.meta.url);
    const factory = require(join(site, "zuvela-core.js"));
    return factory({ wasmBinary: readFileSync(join(site, "zuvela-core.wasm")) });
}

// Four complete addresses as typed (the page completes them to 1R2R3 and 5R5R5), every
// option away from its start.
export const fourAddresses = {
    tonsys: 3, toneLen: 2, evaluator: 1, switchMode: 4,
    addresses: [{ checked: true, text: "12345" }, { checked: true, text: "11223" },
                { checked: true, text: "90817" }, { checked: true, text: "55555" }],
};
export const fourCompleted = {
    ...fourAddresses,
    addresses: fourAddresses.addresses.map((a) => ({ ...a, text: a.text.replace(/(.)\1/g, "$1R") })),
};
export const slowest = { toneLength: 200, tonePause: 100, blockPause: 1000, amplitude: 100 };
export const fastest = { toneLength: 40, tonePause: 10, blockPause: 500, amplitude: 10 };
// Where the sliders start: its pause after Block A (1370 ms) lies on a tie of the rounding.
export const initial = { toneLength: 100, tonePause: 30, blockPause: 700, amplitude: 100 };

// The page's own server (precompressed files, cache headers) on a free port; stop() ends it.
export async function serve(dir = site) {
    const server = spawn("python3", [join(root, "scripts/web-serve.py"), "--port", "0", dir],
                         { stdio: ["ignore", "pipe", "ignore"] });
    const port = await new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error("the server did not start")), 10000);
        server.stdout.on("data", (chunk) => {
            const m = /port (\d+)/.exec(chunk.toString());
            if (m) {
                clearTimeout(timer);
                resolve(Number(m[1]));
            }
        });
    });
    return { url: `http://127.0.0.1:${port}/`, stop: () => server.kill() };
}

export const chromiumFlags = ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
                              "--disable-component-update", "--disable-sync", "--no-first-run"];

export async function launch(options = {}) {
    const { chromium } = await import("playwright-core");
    return chromium.launch({ executablePath: "/usr/bin/chromium", args: chromiumFlags,
                             headless: true, timeout: 60000, ...options });
}

// The site served and Chromium started for a test file's tests, ended after them:
// const ctx = servedBrowser(); then ctx.server, ctx.browser inside the tests.
export function servedBrowser(startBrowser = launch) {
    const ctx = { server: null, browser: null };
    before(async () => {
        ctx.server = await serve();
        ctx.browser = await startBrowser();
    });
    after(async () => {
        await ctx.browser?.close();
        ctx.server?.stop();
    });
    return ctx;
}
