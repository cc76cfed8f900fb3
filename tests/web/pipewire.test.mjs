// SPDX-License-Identifier: GPL-3.0-or-later
// The page's sound through a real sound server: Chromium, headed under Xvfb, plays into a
// PipeWire null sink through PipeWire's PulseAudio socket; the sink's monitor is recorded, and
// zuvela-cli decode and multimon-ng read the settings and the test call back.
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import { existsSync, mkdirSync, readFileSync, statSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { chromiumFlags, cli, cliOptions, serve, tempDir } from "./support.mjs";

const RATE = 22050;
const started = []; // every process of the test, ended by its id
let dir;
let env;
let server;

function start(program, args, options = {}) {
    const child = spawn(program, args, { env, stdio: "ignore", ...options });
    started.push(child);
    return child;
}

async function waitFor(ready, ms, what) {
    const end = Date.now() + ms;
    while (!ready()) {
        if (Date.now() > end) throw new Error(`${what} did not come up within ${ms} ms`);
        await new Promise((r) => setTimeout(r, 100));
    }
}

const run = (program, args) => spawnSync(program, args, { env, timeout: 5000 }).status === 0;

before(async () => {
    dir = tempDir();
    for (const sub of ["state", "config"]) mkdirSync(join(dir, sub));
    env = { ...process.env, XDG_RUNTIME_DIR: dir, XDG_STATE_HOME: join(dir, "state"),
            XDG_CONFIG_HOME: join(dir, "config"), DBUS_SESSION_BUS_ADDRESS: `unix:path=${dir}/bus`,
            PULSE_SERVER: `unix:${dir}/pulse/native`,
            // Chromium's stream gets 200 ms of buffer: with less it underruns on a busy machine.
            PULSE_LATENCY_MSEC: "200" };
    start("dbus-daemon", ["--session", "--nofork", `--address=unix:path=${dir}/bus`]);
    await waitFor(() => existsSync(join(dir, "bus")), 5000, "the session bus");
    start("pipewire", []);
    await waitFor(() => existsSync(join(dir, "pipewire-0")), 5000, "PipeWire");
    // The graph runs at the page's rate.
    assert.ok(run("pw-metadata", ["-n", "settings", "0", "clock.force-rate", String(RATE)]));
    start("wireplumber", []);
    start("pipewire-pulse", []);
    await waitFor(() => existsSync(join(dir, "pulse/native")), 5000, "pipewire-pulse");
    assert.ok(run("pw-cli", ["create-node", "adapter", `{ factory.name=support.null-audio-sink node.name=zuvela-web-sink media.class=Audio/Sink object.linger=true audio.position=[ MONO ] audio.rate=${RATE} }`]));
    await waitFor(() => run("wpctl", ["inspect", "@DEFAULT_AUDIO_SINK@"]), 10000, "the default sink");
    // A display for the headed browser: Xvfb tells its number through file descriptor 3.
    const xvfb = start("Xvfb", ["-displayfd", "3", "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
                       { stdio: ["ignore", "ignore", "ignore", "pipe"] });
    env.DISPLAY = await new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error("Xvfb did not start")), 10000);
        xvfb.stdio[3].on("data", (d) => {
            clearTimeout(timer);
            resolve(`:${d.toString().trim()}`);
        });
    });
    server = await serve();
});

after(() => {
    server?.stop();
    for (const child of started.reverse()) if (child.exitCode === null) child.kill("SIGTERM");
});

// Records the sink's monitor while action runs: signed 16-bit mono at 22050 Hz.
async function record(name, action) {
    const file = join(dir, `${name}.s16`);
    const recorder = start("pw-record", ["--target", "zuvela-web-sink", "-P", "stream.capture.sink=true",
                                         "--rate", String(RATE), "--channels", "1", "--format", "s16", file]);
    await waitFor(() => existsSync(file) && statSync(file).size > 0, 10000, "the recorder");
    await action();
    await new Promise((r) => setTimeout(r, 300));
    recorder.kill("SIGINT");
    await new Promise((r) => (recorder.exitCode !== null ? r() : recorder.once("exit", r)));
    return file;
}

function wavOf(s16File) {
    const data = readFileSync(s16File);
    const header = Buffer.alloc(44);
    header.write("RIFF", 0);
    header.writeUInt32LE(36 + data.length, 4);
    header.write("WAVEfmt ", 8);
    header.writeUInt32LE(16, 16);
    header.writeUInt16LE(1, 20);
    header.writeUInt16LE(1, 22);
    header.writeUInt32LE(RATE, 24);
    header.writeUInt32LE(RATE * 2, 28);
    header.writeUInt16LE(2, 32);
    header.writeUInt16LE(16, 34);
    header.write("data", 36);
    header.writeUInt32LE(data.length, 40);
    const file = s16File.replace(/\.s16$/, ".wav");
    writeFileSync(file, Buffer.concat([header, data]));
    return file;
}

test("played by Chromium into PipeWire, the sequence decodes to its settings and the test call reads twice", async () => {
    const { chromium } = await import("playwright-core");
    const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: chromiumFlags, headless: false,
                                            ignoreDefaultArgs: ["--mute-audio"], env, timeout: 60000 });
    try {
        const page = await browser.newPage();
        await page.goto(server.url);
        await page.waitForSelector("body[data-ready]", { timeout: 30000 });
        const s = { tonsys: 6, toneLen: 2, evaluator: 1, switchMode: 4,
                    addresses: ["12345", "67890", "13579", "24680"].map((text) => ({ checked: true, text })) };
        await page.check("#OPT_Tonsys_06");
        await page.check("#OPT_Len_02");
        await page.check("#OPT_Schalter_04");
        for (let n = 1; n <= 4; ++n) {
            if (!(await page.isChecked(`#CHK_Adresse_0${n}`))) await page.check(`#CHK_Adresse_0${n}`);
            await page.fill(`#TXT_Adresse_0${n}`, s.addresses[n - 1].text);
        }
        await page.click("#BTN_Prog");
        // On a loaded machine Chromium's output may underrun once and cut a tone in two: the
        // send is tried twice before the recording counts as wrong.
        const expected = cli("listing", ...cliOptions(s));
        const decoded = join(dir, "decoded.740");
        let result;
        for (let attempt = 0; attempt < 2 && result?.status !== 0; ++attempt) {
            const sequence = await record(`sequence${attempt}`, async () => {
                await page.click("#BTN_Go");
                // A send again after a whole one asks first, as every repeat of the same addresses.
                await page.waitForSelector("#messageBox[open], #TXT_Daten .sending", { timeout: 10000 });
                if (await page.isVisible("#messageBox[open]")) await page.click("#messageOk");
                await page.waitForSelector("#BTN_Go:not([disabled])", { timeout: 20000 });
            });
            result = cli("decode", wavOf(sequence), "-o", decoded);
        }
        assert.equal(result.status, 0, result.err);
        assert.ok(result.out.toString().startsWith(expected.out.toString()), result.out.toString());
        assert.ok(readFileSync(decoded).equals(Buffer.from(
            "[A]\r\nTS=6\r\nTL=2\r\nAW=1\r\nSM=4\r\n[B I]\r\nRP=1\r\nAD=12345\r\n[B II]\r\nRP=1\r\nAD=67890\r\n" +
            "[B III]\r\nRP=1\r\nAD=13579\r\n[B IV]\r\nRP=1\r\nAD=24680\r\n", "latin1")));
        await page.keyboard.press("Escape");
        const call = await record("call", async () => {
            await page.click("#BTN_Call_01");
            await page.waitForSelector("#BTN_Call_01[disabled]", { timeout: 5000 });
            await page.waitForSelector("#BTN_Call_01:not([disabled])", { timeout: 10000 });
        });
        assert.equal(await page.isVisible("#messageBox[open]"), false, "the page reported a failed send");

        const multimon = spawnSync("multimon-ng", ["-q", "-c", "-a", "CCIR", "-t", "raw", call], { timeout: 30000 });
        assert.deepEqual(multimon.stdout.toString().split("\n").filter(Boolean), ["CCIR: 12345", "CCIR: 12345"]);
    } finally {
        await browser.close();
    }
});
