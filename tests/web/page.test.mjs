// SPDX-License-Identifier: GPL-3.0-or-later
// The page in Debian's Chromium, headless, driven by keyboard and mouse as a user drives it;
// zuvela-cli (the desktop's engine) is the oracle for listings, messages, WAV and .740 bytes.
import assert from "node:assert/strict";
import { cpSync, mkdirSync, readFileSync, readdirSync, utimesSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { basename, join } from "node:path";
import { after, before, test } from "node:test";
import { createHash } from "node:crypto";
import { request } from "node:http";
import { gunzipSync, gzipSync } from "node:zlib";
import { cli, cliOptions, fastest, fourAddresses, fourCompleted, initial, launch, loadCore, serve, shots, site,
         slowest, tempDir } from "./support.mjs";

let server;
let browser;
let core;
const figures = {};
mkdirSync(shots, { recursive: true });

before(async () => {
    server = await serve();
    browser = await launch();
    core = await loadCore();
});
after(async () => {
    writeFileSync(join(shots, "figures.json"), `${JSON.stringify(figures, null, 2)}\n`);
    await browser?.close();
    server?.stop();
});

// A fresh page without the file pickers, so that saving downloads and opening uses the input.
async function openPage(options = {}, init = null) {
    const context = await browser.newContext({ acceptDownloads: true, ...options });
    await context.addInitScript(() => {
        delete window.showSaveFilePicker;
        delete window.showOpenFilePicker;
        // The page's audio contexts, so that a test can suspend one as a phone call does.
        const Original = window.AudioContext;
        window.zuvelaContexts = [];
        window.AudioContext = class extends Original {
            constructor(...args) {
                super(...args);
                window.zuvelaContexts.push(this);
            }
        };
    });
    if (init) await context.addInitScript(init);
    const page = await context.newPage();
    const errors = [];
    page.on("pageerror", (e) => errors.push(e.message));
    await page.goto(server.url);
    await page.waitForSelector("body[data-ready]", { timeout: 30000 });
    return { context, page, errors };
}

// Sets the main window's controls: radios by arrow keys or by mouse, texts typed key by key.
async function enter(page, s, byKeyboard) {
    const choose = async (name, value) => {
        if (!byKeyboard) return page.check(`input[name="${name}"][value="${value}"]`);
        await page.focus(`input[name="${name}"]:checked`);
        const current = Number(await page.$eval(`input[name="${name}"]:checked`, (e) => e.value));
        for (let i = current; i < value; ++i) await page.keyboard.press("ArrowDown");
        for (let i = current; i > value; --i) await page.keyboard.press("ArrowUp");
    };
    await choose("tonsys", s.tonsys);
    await choose("toneLen", s.toneLen);
    await choose("evaluator", s.evaluator);
    await choose("switchMode", s.switchMode);
    for (let n = 1; n <= 4; ++n) {
        const box = page.locator(`#CHK_Adresse_0${n}`);
        if ((await box.isChecked()) !== s.addresses[n - 1].checked) {
            if (byKeyboard) {
                await box.focus();
                await page.keyboard.press("Space");
            } else await box.click();
        }
        const edit = page.locator(`#TXT_Adresse_0${n}`);
        await edit.fill("");
        await edit.pressSequentially(s.addresses[n - 1].typed ?? s.addresses[n - 1].text);
    }
}

const listingOf = (page) => page.$eval("#TXT_Daten", (e) => e.textContent.trimEnd().split("\n"));
const messageOf = async (page) => {
    await page.waitForSelector("#messageBox[open]", { timeout: 5000 });
    const text = await page.textContent("#messageText");
    await page.keyboard.press("Enter");
    return text;
};
const addresses = (texts) => texts.map((t) => ({ checked: t !== null, text: t ?? "" }));
const start = { tonsys: 1, toneLen: 1, evaluator: 1, switchMode: 1 };

test("settings set by keyboard and mouse give zuvela-cli's listing and messages", async () => {
    const { page, context, errors } = await openPage();
    const rows = [];
    for (let tonsys = 1; tonsys <= 7; ++tonsys) {
        const evaluator = 1 + (tonsys % 3);
        const typed = ["11223", "9g8a7 6", "0123", "55555"];
        rows.push({ tonsys, toneLen: 1 + (tonsys % 2), evaluator, switchMode: 1 + (tonsys % 4),
                    addresses: typed.map((t, i) => ({ checked: i !== tonsys % 4 && !(tonsys === 4 && i === 1), typed: t })) });
    }
    rows.push({ ...start, addresses: addresses(["123", null, "12", null]) }); // incomplete: slot 3
    rows.push({ ...start, addresses: addresses([null, null, null, null]) });
    rows.push({ ...start, addresses: addresses(["11234", "11234", null, null]) }); // duplicate once completed
    rows.push({ ...start, tonsys: 4, addresses: addresses(["1G345", null, null, null]) }); // no twelfth tone in ZVEI F
    for (const [i, row] of rows.entries()) {
        await enter(page, row, i % 2 === 0);
        await page.click("#BTN_Prog");
        // What the page made of the typing: the filter, the cut and the completion.
        const s = await page.evaluate(() => ({
            tonsys: +document.querySelector("input[name=tonsys]:checked").value,
            toneLen: +document.querySelector("input[name=toneLen]:checked").value,
            evaluator: +document.querySelector("input[name=evaluator]:checked").value,
            switchMode: +document.querySelector("input[name=switchMode]:checked").value,
            addresses: [1, 2, 3, 4].map((n) => ({ checked: document.getElementById(`CHK_Adresse_0${n}`).checked,
                                                  text: document.getElementById(`TXT_Adresse_0${n}`).value })),
        }));
        assert.equal(s.tonsys, row.tonsys);
        if (row.addresses[0].typed) {
            const len = 6 - row.evaluator;
            assert.deepEqual(s.addresses.map((a) => a.text),
                             ["1R2R3", "9G876", "0123", "5R5R5"].map((t) => core.normaliseRepeats(t.slice(0, len), row.evaluator)));
        }
        const desktop = cli("listing", ...cliOptions(s));
        if (desktop.status === 0) {
            assert.deepEqual(await listingOf(page), desktop.out.toString().trimEnd().split("\n"), JSON.stringify(s));
            await page.keyboard.press("Escape");
        } else {
            assert.equal(`zuvela-cli listing: ${await messageOf(page)}\n`, desktop.err, JSON.stringify(s));
        }
        await page.waitForSelector("#FRM_Prog:not([open])", { state: "attached" });
    }
    // Text a phone's keyboard composes cannot be refused before it arrives: it is filtered after.
    await page.fill("#TXT_Adresse_01", "12");
    await page.$eval("#TXT_Adresse_01", (edit) => {
        edit.dataset.before = edit.value;
        edit.value = "1a2g";
        edit.dispatchEvent(new InputEvent("input", { inputType: "insertCompositionText", data: "a2g" }));
    });
    assert.equal(await page.inputValue("#TXT_Adresse_01"), "12G");
    assert.deepEqual(errors, []);
    await context.close();
});

// Sets the four sliders by keyboard: Home, then one step to the right per step of the range.
async function sliders(page, expert) {
    const ranges = core.expertRanges();
    for (const id of ["BAR_Tonlen", "BAR_TonPause", "BAR_BlockPause", "BAR_Amplitude"]) {
        const name = await page.getAttribute(`#${id}`, "data-name");
        await page.focus(`#${id}`);
        await page.keyboard.press("Home");
        for (let v = ranges[name].minimum; v < expert[name]; v += ranges[name].step) await page.keyboard.press("ArrowRight");
    }
}

test("the saved WAV is zuvela-cli render's, at the sliders' ends and start", async () => {
    const { page, context } = await openPage();
    const dir = tempDir();
    await enter(page, fourAddresses, false);
    await page.click("#BTN_Prog");
    for (const expert of [slowest, fastest, initial]) {
        await sliders(page, expert);
        if (expert === slowest) // the labels as the dialog words them
            assert.deepEqual(await page.$$eval("#GroupBox1 label", (l) => l.map((e) => e.textContent)),
                             ["Tonlänge (200 ms)", "Tonpause (100 ms)", "Blockpause (1000 ms)", "Amplitude (100 %)"]);
        const [download] = await Promise.all([page.waitForEvent("download"), page.click("#BTN_Wav")]);
        const saved = readFileSync(await download.path());
        const wav = join(dir, "render.wav");
        const options = ["--tone-length", expert.toneLength, "--tone-pause", expert.tonePause,
                         "--block-pause", expert.blockPause, "--amplitude", expert.amplitude].map(String);
        assert.equal(cli("render", ...cliOptions(fourAddresses), ...options, "-o", wav).status, 0);
        const desktop = readFileSync(wav);
        assert.equal(saved.length, desktop.length);
        assert.ok(saved.equals(desktop), `the WAV at ${JSON.stringify(expert)} differs from zuvela-cli render`);
    }
    await context.close();
});

test("a saved .740 carries the desktop's bytes, and a desktop file loads", async () => {
    const { page, context } = await openPage();
    const dir = tempDir();
    // The desktop's file, written by decode -o, and the page's for the same settings.
    const s = { tonsys: 5, toneLen: 2, evaluator: 2, switchMode: 2, addresses: addresses(["1234", "4321", null, null]) };
    const wav = join(dir, "rec.wav");
    const desktopFile = join(dir, "desktop.740");
    assert.equal(cli("render", ...cliOptions(s), "-o", wav).status, 0);
    assert.equal(cli("decode", wav, "-o", desktopFile).status, 0);
    const desktop = readFileSync(desktopFile);
    await page.setInputFiles("#DLG_Open", desktopFile);
    await page.click("#BTN_Prog");
    const listing = cli("listing", "-f", desktopFile);
    assert.deepEqual(await listingOf(page), listing.out.toString().trimEnd().split("\n"));
    await page.keyboard.press("Escape");
    const [download] = await Promise.all([page.waitForEvent("download"), page.click("#BTN_Save")]);
    assert.equal(download.suggestedFilename(), "desktop.740");
    assert.ok(readFileSync(await download.path()).equals(desktop));

    // A file the loader refuses: the window's message; a check that fails saves nothing.
    const broken = join(dir, "broken.740");
    writeFileSync(broken, "[A]\r\nTS=6\r\n[B I]\r\nRP=ja\r\n");
    await page.setInputFiles("#DLG_Open", broken);
    assert.equal(await messageOf(page), "'ja' is not a valid boolean value.");
    assert.ok(await page.isChecked("#OPT_Tonsys_06"));
    assert.ok(await page.isChecked("#OPT_Tonlen_03"));
    await page.fill("#TXT_Adresse_01", "12");
    await page.check("#CHK_Adresse_01");
    await page.click("#BTN_Save");
    assert.equal(await messageOf(page), "Rufadresse 1 ist unnvollständig.");
    await context.close();
});

// The table every front-end runs: the page refuses with the window's message and keeps every
// setting, or loads what the window loads.
test("files of the shared table load or are refused as in the window and zuvela-cli", async () => {
    const table = JSON.parse(readFileSync(new URL("../data/prog-data-files.json", import.meta.url)));
    const { page, context } = await openPage();
    const controls = () => page.$$eval("#settings input", (all) => all.map((e) => `${e.id}=${e.checked}/${e.value}/${e.disabled}`));
    for (const row of table.rows) {
        const bytes = Buffer.concat([row.hex ? Buffer.from(row.hex, "hex") : Buffer.from(row.text, "latin1"),
                                     Buffer.alloc(row.fill ?? 0, ";")]);
        await page.check("#OPT_Tonsys_05");
        const before = await controls();
        await page.setInputFiles("#DLG_Open", { name: row.file, mimeType: "application/octet-stream", buffer: bytes });
        if (row.refusal) {
            assert.equal(await messageOf(page), table[row.refusal].replace("{name}", `"${row.file}"`), row.file);
            assert.deepEqual(await controls(), before, row.file);
            continue;
        }
        const s = row.loads;
        await page.waitForFunction((id) => document.getElementById(id).checked, `OPT_Tonsys_0${s.tonsys}`);
        for (const id of [`OPT_Len_0${s.toneLen}`, `OPT_Auswerter_0${s.evaluator}`, `OPT_Schalter_0${s.switchMode}`])
            assert.ok(await page.isChecked(`#${id}`), `${row.file}: ${id}`);
        for (let n = 1; n <= 4; ++n) {
            assert.equal(await page.isChecked(`#CHK_Adresse_0${n}`), s.checked.includes(n), row.file);
            assert.equal(await page.inputValue(`#TXT_Adresse_0${n}`), s.texts[n - 1], row.file);
        }
    }
    await context.close();
});

// The samples the page's audio graph holds, back as the engine's bytes.
const playedBytes = (page) => page.evaluate(() => Array.from(window.zuvelaLastBuffer.getChannelData(0), (v) => Math.round(v * 128 + 128)));

test("the sound is the engine's samples, marked in the listing, stopped by Esc; test call and recording", async () => {
    const { page, context } = await openPage();
    await enter(page, fourAddresses, false);
    await page.click("#BTN_Prog");
    await page.click("#BTN_Go");
    await page.waitForSelector("#TXT_Daten .sending", { timeout: 5000 });
    const marked = await page.textContent("#TXT_Daten .sending");
    assert.match(marked, /^0[1-6] : \d{4} : /);
    assert.ok(await page.isDisabled("#BTN_Go"));
    const tones = core.program(fourCompleted).tones;
    assert.deepEqual(await playedBytes(page), Array.from(core.render(tones, initial)));
    Object.assign(figures, await page.evaluate(() => window.zuvelaStats));
    await page.keyboard.press("Escape");
    await page.waitForSelector("#BTN_Go:not([disabled])", { timeout: 2000 });
    // Not the wall clock (a busy machine): the send's own outcome says it was cut short.
    assert.equal(await page.textContent("#progStatus"), "✘ Abgebrochen", "Esc ended the send before its end");
    assert.ok(await page.evaluate(() => document.getElementById("FRM_Prog").open), "Esc while sending keeps the dialog");
    assert.equal(await page.$$eval("#TXT_Daten .sending", (e) => e.length), 0);

    // The browser suspends the sound in the middle (a call, a locked screen): the send failed.
    await page.click("#BTN_Go");
    await page.waitForSelector("#TXT_Daten .sending", { timeout: 5000 });
    await page.evaluate(() => window.zuvelaContexts[0].suspend());
    assert.equal(await messageOf(page), "Die Soundkarte steht nicht zur Verfügung!\nDie Übertragung wurde abgebrochen, " +
                 "der Empfänger ist nicht vollständig programmiert (der Browser hat die Tonausgabe angehalten).");
    assert.ok(await page.isEnabled("#BTN_Go"));
    await page.keyboard.press("Escape");

    // A test call from address 2, with the amplitude of the dialog.
    await page.click("#BTN_Call_02");
    await page.waitForSelector("#BTN_Call_01[disabled]");
    const call = cli("call", ...cliOptions(fourAddresses), "--address", "2", "-o", "-");
    assert.deepEqual(await playedBytes(page), Array.from(call.out));
    await page.keyboard.press("Escape");
    await page.fill("#TXT_Adresse_03", "12");
    await page.click("#BTN_Call_03");
    assert.equal(await messageOf(page), core.testCall("12", fourAddresses, 100).message);

    // A recording of other settings, dropped on the page as a WAV file, sets them.
    const other = { tonsys: 6, toneLen: 1, evaluator: 3, switchMode: 3, addresses: addresses(["123", "456", null, null]) };
    const wav = join(tempDir(), "rec.wav");
    assert.equal(cli("render", ...cliOptions(other), "-o", wav).status, 0);
    await page.setInputFiles("#wavInput", wav);
    await page.waitForSelector("#decodeReport:not([hidden])");
    assert.equal(`${await page.textContent("#decodeReport")}
`, cli("decode", wav).out.toString()); // its report
    assert.ok(await page.isChecked("#OPT_Tonsys_06"));
    assert.ok(await page.isChecked("#OPT_Auswerter_03"));
    assert.ok(await page.isChecked("#OPT_Schalter_03"));
    assert.deepEqual([await page.inputValue("#TXT_Adresse_01"), await page.inputValue("#TXT_Adresse_02")], ["123", "456"]);
    await context.close();

    // A browser without an audio output: the message, and "OK und los !" stays usable.
    const silent = await openPage({}, () => {
        window.AudioContext = undefined;
    });
    await silent.page.click("#BTN_Prog");
    await silent.page.click("#BTN_Go");
    assert.match(await messageOf(silent.page), /^Die Soundkarte steht nicht zur Verfügung!\nDer Browser gibt keinen Ton aus/);
    assert.ok(await silent.page.isEnabled("#BTN_Go"));
    await silent.context.close();
});

test("as on the desktop: outcome of each send, stop, keys, focus, no file behind the dialog, German errors", async () => {
    const { page, context, errors } = await openPage({}, () => {
        // An output that went away, as the browser reports it in English.
        AudioContext.prototype.setSinkId = () => Promise.reject(new DOMException("Requested device not found", "NotFoundError"));
    });
    const focused = () => page.evaluate(() => document.activeElement.id);
    const outcome = async () => [await page.textContent("#progStatus"), await page.textContent("#status")];
    await page.fill("#TXT_Adresse_01", "12345");
    await page.press("#TXT_Adresse_01", "Enter"); // "Programmieren"
    await page.waitForSelector("#FRM_Prog[open]");
    assert.equal(await focused(), "BTN_Go");
    await page.keyboard.press("Enter"); // "OK und los !"
    await page.waitForSelector("#TXT_Daten .sending", { timeout: 5000 });
    assert.deepEqual(await outcome(), ["Wird gesendet …", "Wird gesendet …"]);
    assert.equal(await focused(), "BTN_Stop");
    for (const id of ["#BAR_Tonlen", "#BAR_Amplitude", "#OPT_Soundcard", "#sinkChoice"]) assert.ok(await page.isDisabled(id), id);
    await page.keyboard.press("Escape");
    await page.waitForSelector("#BTN_Go:not([disabled])");
    assert.deepEqual(await outcome(), ["✘ Abgebrochen", "✘ Abgebrochen"]);
    assert.ok(await page.$eval("#progress", (e) => e.value) < 1, "a stopped send does not look finished");
    assert.equal(await focused(), "BTN_Go");
    // Read in the click's own task: on a busy machine the sound may run before a later look.
    assert.equal(await page.evaluate(() => {
        document.getElementById("BTN_Go").click();
        return document.getElementById("progress").value;
    }), 0, "every send starts empty");
    await page.waitForFunction(() => document.getElementById("progStatus").textContent === "✔ Gesendet.", null, { timeout: 20000 });
    assert.equal(await page.textContent("#status"), "✔ Gesendet.");
    assert.equal(await page.$eval("#progress", (e) => e.value), 1);

    // The output cannot be chosen: the browser's reason in German.
    await page.$eval("#sinkChoice", (choice) => {
        choice.append(new Option("Kopfhörer", "gone"));
        choice.value = "gone";
        choice.dispatchEvent(new Event("change"));
    });
    assert.equal(await messageOf(page), "Die Soundkarte steht nicht zur Verfügung!\nDer Ausgang lässt sich nicht wählen (das Gerät wurde nicht gefunden).");
    // A file dropped on the open dialog does not change the settings behind it.
    await page.evaluate(() => {
        const files = new DataTransfer();
        files.items.add(new File(["[A]\r\nTS=6\r\n"], "andere.740"));
        document.body.dispatchEvent(new DragEvent("drop", { dataTransfer: files, bubbles: true, cancelable: true }));
    });
    assert.match(await messageOf(page), /^Die Datei andere\.740 wird nicht geladen, solange das Fenster "Programmierdaten" offen ist/);
    assert.ok(await page.isChecked("#OPT_Tonsys_01"));
    await page.keyboard.press("Escape");
    await page.waitForSelector("#FRM_Prog:not([open])", { state: "attached" });
    assert.equal(await focused(), "TXT_Adresse_01", "the focus returns to where the dialog was opened from");

    // A test call's outcome in the status line; Strg+S saves and Strg+O opens.
    await page.click("#BTN_Call_01");
    await page.waitForFunction(() => document.getElementById("status").textContent === "Testruf an Ruf 1: ✔ Gesendet.", null, { timeout: 10000 });
    const [download] = await Promise.all([page.waitForEvent("download"), page.keyboard.press("Control+s")]);
    assert.equal(download.suggestedFilename(), "Programmierdaten.740");
    await Promise.all([page.waitForEvent("filechooser"), page.keyboard.press("Control+o")]);
    assert.deepEqual(errors, []);
    await context.close();
});

// The option groups as the engine's table holds them, and the shared table of test calls sent
// from Ruf 1 as zuvela-cli sends them: the same samples, or the same message.
// The verdict is the browser's count of underruns: Chromium's own figure (no underrun on its
// fake output), one that counts an underrun once the sound has started (the machine gives
// none on demand), and none at all.
test("the page says sent only when the browser counts no underrun during the sound, and that it cannot check without the count", async () => {
    const rows = [
        { what: "Chromium's figure", init: null, status: "✔ Gesendet.", message: null },
        {
            what: "an underrun during the sound",
            init: () => {
                let started = false;
                const start = AudioBufferSourceNode.prototype.start;
                AudioBufferSourceNode.prototype.start = function (...args) {
                    started = true;
                    return start.apply(this, args);
                };
                let renewals = 0;
                Object.defineProperty(AudioContext.prototype, "playbackStats", {
                    get: () => ({ underrunEvents: started ? 2 : 0, underrunDuration: started ? 0.085 : 0, totalDuration: ++renewals }),
                });
            },
            status: "✘ Abgebrochen, unvollständig.",
            message:
                "Die Soundkarte steht nicht zur Verfügung!\nDie Übertragung wurde unterbrochen, der Empfänger ist nicht vollständig " +
                "programmiert. Bitte erneut senden.\nUrsache: Lücke in der Wiedergabe: dem Gerät ging der Ton aus (Unterlauf, 85 ms).",
        },
        {
            what: "no figure",
            init: () => Object.defineProperty(AudioContext.prototype, "playbackStats", { get: () => undefined }),
            status: "✔ Abgespielt (ohne Prüfung auf Lücken).",
            message: null,
        },
    ];
    for (const row of rows) {
        const { page, context, errors } = await openPage({}, row.init);
        await page.fill("#TXT_Adresse_01", "12345");
        await page.press("#TXT_Adresse_01", "Enter");
        await page.waitForSelector("#FRM_Prog[open]");
        await page.click("#BTN_Go");
        if (row.message) assert.equal(await messageOf(page), row.message, row.what);
        // The click starts the send only once the lock is held and the sound runs.
        else await page.waitForSelector("#BTN_Go[disabled]", { timeout: 10000 });
        await page.waitForSelector("#BTN_Go:not([disabled])", { timeout: 20000 });
        assert.equal(await page.textContent("#progStatus"), row.status, row.what);
        assert.deepEqual(errors, [], row.what);
        await context.close();
    }
});

test("the page's option groups are the engine's table, its test calls zuvela-cli's", async () => {
    const { page, context, errors } = await openPage();
    const groups = core.optionGroups();
    const lines = (hint) => hint?.split(/[\r\n]+/);
    const shown = await page.$$eval("#settings fieldset:not(#FRA_Adressen)", (boxes) => boxes.map((box) => [
        box.querySelector("legend").textContent,
        [...box.querySelectorAll("label")].map((l) => [l.childNodes[1].textContent.trim(), l.querySelector("small")?.textContent, l.title]),
    ]));
    assert.deepEqual(shown.map(([caption]) => caption).sort(), groups.map((g) => g.caption.trim()).sort());
    for (const [caption, options] of shown) {
        const g = groups.find((group) => group.caption.trim() === caption);
        assert.deepEqual(options, g.options.map((o, i) => [o, lines(g.hints[i])?.join(", "), lines(g.hints[i])?.join("\n") ?? ""]), caption);
    }
    for (const row of JSON.parse(readFileSync(new URL("../data/test-calls.json", import.meta.url))).rows) {
        await page.check(`#OPT_Tonsys_0${row.tonsys}`);
        await page.check(`#OPT_Auswerter_0${row.evaluator}`);
        await page.fill("#TXT_Adresse_01", row.typed);
        await page.click("#BTN_Call_01");
        const desktop = cli("call", "--system", groups[0].words[row.tonsys - 1], "--evaluator", groups[3].words[row.evaluator - 1], row.typed, "-o", "-");
        if (desktop.status !== 0) {
            assert.equal(`zuvela-cli call: ${await messageOf(page)}\n`, desktop.err, row.why);
            continue;
        }
        await page.waitForSelector("#BTN_Call_01[disabled]");
        assert.deepEqual(await playedBytes(page), Array.from(desktop.out), row.why);
        await page.keyboard.press("Escape");
        await page.waitForSelector("#BTN_Call_01:not([disabled])");
    }
    assert.deepEqual(errors, []);
    await context.close();
});

test("the last settings come back, a link carries them, a fresh start forgets them", async () => {
    const { page, context } = await openPage();
    const shown = (on = page) => on.evaluate(() => [...document.querySelectorAll("#settings input:checked, #settings input[type=text], #GroupBox1 input")]
        .map((e) => `${e.id}=${e.type === "text" || e.type === "range" ? e.value : "on"}`).join(" "));
    await page.check("#OPT_Tonsys_06");
    await page.check("#OPT_Auswerter_02");
    await page.check("#CHK_Adresse_03");
    await page.fill("#TXT_Adresse_03", "4711");
    await page.click("#BTN_Prog");
    await sliders(page, fastest);
    await page.keyboard.press("Escape");
    const before = await shown();
    await page.reload();
    await page.waitForSelector("body[data-ready]");
    assert.equal(await shown(), before);
    await page.click("#BTN_Link");
    const link = await page.inputValue("#shareLink");
    assert.match(link, /\?ts=6&tl=1&aw=2&sm=1&rp1=1&ad1=5743&rp3=1&ad3=471R&tone-length=40&/);
    const other = await openPage();
    await other.page.goto(link);
    await other.page.waitForSelector("body[data-ready]");
    assert.equal(await shown(other.page), before);
    assert.equal(new URL(other.page.url()).search, "", "the link's settings are taken, not kept in the address");
    await other.context.close();
    await page.click("#BTN_Fresh");
    assert.ok(await page.isChecked("#OPT_Tonsys_01"));
    await page.reload();
    await page.waitForSelector("body[data-ready]");
    assert.ok(await page.isChecked("#OPT_Tonsys_01"));
    assert.ok(await page.isHidden("#BTN_Fresh"));
    await context.close();
});

test("after the first visit the page loads and sends with no network", async () => {
    const { page, context } = await openPage();
    await page.evaluate(async () => {
        await navigator.serviceWorker.ready;
        if (!navigator.serviceWorker.controller)
            await new Promise((r) => navigator.serviceWorker.addEventListener("controllerchange", r, { once: true }));
    });
    await context.setOffline(true);
    await page.reload();
    await page.waitForSelector("body[data-ready]", { timeout: 30000 });
    await page.click("#BTN_Prog");
    await page.click("#BTN_Go");
    await page.waitForFunction(() => window.zuvelaLastBuffer, null, { timeout: 10000 }); // the sound starts after the send lock
    assert.equal((await playedBytes(page)).length, core.render(core.program(core.startSettings()).tones, initial).length);
    await context.close();
});

test("a new version is fetched fresh, kept apart until complete, and offered; the app opens .740 files", async () => {
    const manifest = JSON.parse(readFileSync(join(site, "manifest.webmanifest")));
    assert.ok(manifest.id);
    assert.deepEqual(Object.values(manifest.file_handlers[0].accept), [[".740"]]);
    const maskable = manifest.icons.find((i) => i.purpose === "maskable");
    assert.ok(readFileSync(join(site, maskable.src)).length > 0);

    const dir = tempDir();
    cpSync(site, dir, { recursive: true });
    const own = await serve(dir);
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(own.url);
    await page.waitForSelector("body[data-ready]", { timeout: 30000 });
    await page.evaluate(async () => {
        await navigator.serviceWorker.ready;
        if (!navigator.serviceWorker.controller)
            await new Promise((r) => navigator.serviceWorker.addEventListener("controllerchange", r, { once: true }));
    });
    const [oldCache] = await page.evaluate(() => caches.keys());
    // The next build: another style sheet, and a service worker naming a new version.
    writeFileSync(join(dir, "zuvela.css"), `${readFileSync(join(dir, "zuvela.css"))}\n/* next version */\n`);
    writeFileSync(join(dir, "sw.js"), readFileSync(join(dir, "sw.js"), "utf8").replace(oldCache, `${oldCache}-next`));
    // Written later than the first fetch, as a real next build is: the server's Last-Modified
    // counts whole seconds, and a copy from the same second would answer "304 Not Modified".
    const later = new Date(Date.now() + 5000);
    for (const file of ["zuvela.css", "sw.js"]) utimesSync(join(dir, file), later, later);
    await page.reload();
    await page.waitForSelector("#updateRow:not([hidden])", { timeout: 30000 });
    // The old version still serves the page; the new one is complete beside it.
    assert.deepEqual((await page.evaluate(() => caches.keys())).sort(), [oldCache, `${oldCache}-next`]);
    assert.ok(!(await page.evaluate(() => fetch("zuvela.css").then((r) => r.text()))).includes("next version"));
    await Promise.all([page.waitForEvent("load"), page.click("#BTN_Reload")]);
    await page.waitForSelector("body[data-ready]", { timeout: 30000 });
    assert.ok((await page.evaluate(() => fetch("zuvela.css").then((r) => r.text()))).includes("next version"));
    assert.deepEqual(await page.evaluate(() => caches.keys()), [`${oldCache}-next`]);
    await context.close();
    own.stop();
});

test("on a phone Stopp and the progress stay in view while the listing follows the tone; targets of 24 px", async () => {
    const { page, context } = await openPage({ viewport: { width: 360, height: 740 }, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
    const small = (selector) => page.$$eval(selector, (all) => all.map((e) => [e.id || e.textContent.trim(), e.getBoundingClientRect().height])
                                                                  .filter(([, h]) => h < 24));
    assert.deepEqual(await small(".address label, #FRA_Modi label"), []);
    await enter(page, fourAddresses, false);
    await page.click("#BTN_Prog");
    assert.deepEqual(await small("#GroupBox2 label, #sinkChoice"), []);
    const scrolled = () => page.evaluate(() => [scrollY, document.getElementById("FRM_Prog").scrollTop]);
    // Scrolled down to the dialog's buttons, as a thumb does: the listing's end is out of view.
    await page.$eval("#FRM_Prog", (dialog) => (dialog.scrollTop = dialog.scrollHeight));
    await page.click("#BTN_Go");
    const before = await scrolled();
    // A tone of the fourth address: far down the listing.
    await page.waitForFunction(() => [...document.querySelectorAll("#TXT_Daten span")].findIndex((s) => s.classList.contains("sending")) > 30,
                               null, { timeout: 30000 });
    const during = await scrolled();
    const view = await page.evaluate(() => ({
        listing: document.getElementById("TXT_Daten").scrollTop,
        inView: ["BTN_Stop", "progress"].every((id) => {
            const r = document.getElementById(id).getBoundingClientRect();
            return r.top >= 0 && r.bottom <= innerHeight;
        }),
    }));
    await page.screenshot({ path: join(shots, "phone-sending.png") });
    assert.deepEqual(during, before, "only the listing scrolls");
    assert.ok(view.listing > 0, "the listing follows the tone");
    assert.ok(view.inView, "Stopp and the progress stay in view");
    await context.close();
});

async function axeViolations(page) {
    const require = createRequire(import.meta.url);
    await page.addScriptTag({ path: require.resolve("axe-core/axe.min.js") });
    return page.evaluate(async () => {
        const result = await window.axe.run(document, { runOnly: ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa"] });
        return result.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(" ")).join(", ")}`);
    });
}

test("a phone, dark mode and 200 % zoom: nothing is cut, axe-core finds no violation", async () => {
    const screens = [
        { name: "phone-dark", viewport: { width: 360, height: 740 }, colorScheme: "dark", deviceScaleFactor: 2, isMobile: true, hasTouch: true },
        { name: "phone-light", viewport: { width: 360, height: 740 }, colorScheme: "light", deviceScaleFactor: 2, isMobile: true, hasTouch: true },
        { name: "zoom-200", viewport: { width: 640, height: 400 }, colorScheme: "light", deviceScaleFactor: 2 },
        { name: "desktop", viewport: { width: 1280, height: 900 }, colorScheme: "light" },
        { name: "desktop-dark", viewport: { width: 1280, height: 900 }, colorScheme: "dark" },
    ];
    for (const { name, ...options } of screens) {
        const { page, context } = await openPage(options);
        await page.keyboard.press("Control+l"); // the list's panel too
        const width = options.viewport.width;
        assert.ok(await page.evaluate((w) => document.documentElement.scrollWidth <= w, width), `${name}: the page is wider than the screen`);
        await page.screenshot({ path: join(shots, `${name}.png`), fullPage: true });
        assert.deepEqual(await axeViolations(page), [], name);
        await page.click("#BTN_Prog");
        assert.ok(await page.evaluate((w) => document.documentElement.scrollWidth <= w, width), `${name}: the dialog is wider than the screen`);
        await page.screenshot({ path: join(shots, `${name}-dialog.png`) });
        assert.deepEqual(await axeViolations(page), [], `${name} with the dialog`);
        await context.close();
    }
});

// One raw request (Node's fetch would unpack the body and hide how it came).
function get(path, headers = {}) {
    return new Promise((resolve, reject) => {
        const { hostname, port } = new URL(server.url);
        request({ hostname, port, path: `/${path.replace(/^\.?\//, "")}`, headers }, (res) => {
            const chunks = [];
            res.on("data", (c) => chunks.push(c));
            res.on("end", () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks) }));
        }).on("error", reject).end();
    });
}

test("the server sends files compressed where taken, caches for good what names its version, revalidates the rest", async () => {
    const index = readFileSync(join(site, "index.html"), "utf8");
    const versioned = [...index.matchAll(/"([\w.-]+)\?v=(\w+)"/g)].map(([, file, v]) => ({ file, v }));
    assert.deepEqual(versioned.map((f) => f.file).sort(),
                     ["icon-192.png", "icon-192.png", "icon-192.png", "zuvela-core.js", "zuvela-core.wasm", "zuvela.css", "zuvela.mjs"]);
    for (const { file, v } of versioned) {
        const bytes = readFileSync(join(site, file));
        assert.equal(createHash("sha256").update(bytes).digest("hex").slice(0, v.length), v, file);
        const r = await get(`${file}?v=${v}`, { "accept-encoding": "br;q=0, gzip" });
        assert.equal(r.status, 200, file);
        assert.match(r.headers["cache-control"], /max-age=31536000, immutable/, file);
        const packed = r.headers["content-encoding"] === "gzip";
        assert.equal(packed, !file.endsWith(".png"), file);
        if (packed) assert.equal(r.headers.vary, "Accept-Encoding", file);
        assert.ok((packed ? gunzipSync(r.body) : r.body).equals(bytes), file);
    }
    for (const path of ["./", "sw.js", "manifest.webmanifest", "zuvela.mjs"]) {
        const r = await get(path);
        assert.equal(r.headers["content-encoding"], undefined, path); // not asked for
        assert.equal(r.headers["cache-control"], "no-cache", path);
        const again = await get(path, { "if-none-match": r.headers.etag });
        assert.equal(again.status, 304, path);
    }
    assert.ok((await get("./")).body.equals(readFileSync(join(site, "index.html"))));
    assert.equal((await get(`/%2e%2e/${basename(site)}/index.html`)).status, 404); // nothing outside the site
});

test("figures: compressed size, time to interactive, render time, click to first sound", (t) => {
    const files = readdirSync(site).filter((f) => !/\.(gz|br)$/.test(f)); // not the precompressed copies
    figures.compressedBytes = files.reduce((n, f) => n + gzipSync(readFileSync(join(site, f)), { level: 9 }).length, 0);
    figures.uncompressedBytes = files.reduce((n, f) => n + readFileSync(join(site, f)).length, 0);
    t.diagnostic(JSON.stringify(figures));
    assert.ok(figures.compressedBytes < 300 * 1024);
});


// --- The fleet list through the programming session: every send the page plays is caught at
// the audio graph, and every record line must name what was played for it.

// Each buffer the page starts, as the engine's bytes, in order.
const capturePlayed = () => {
    window.zuvelaPlayed = [];
    const start = AudioBufferSourceNode.prototype.start;
    AudioBufferSourceNode.prototype.start = function (...args) {
        window.zuvelaPlayed.push(Array.from(this.buffer.getChannelData(0), (v) => Math.round(v * 128 + 128)));
        return start.apply(this, args);
    };
};
const takePlayed = (page) => page.evaluate(() => window.zuvelaPlayed.splice(0));

// A record's lines with the settings and expert values each names, read by the engine's list
// reader (the record's columns are the list's).
function recordRows(text) {
    assert.ok(text.startsWith("\uFEFF"), "the record starts with its byte order mark");
    const [header, ...lines] = text.slice(1).split("\r\n").filter(Boolean);
    const names = header.split(";");
    return lines.map((line) => {
        const cells = line.split(";");
        const at = (name) => cells[names.indexOf(name)];
        const { pagers } = core.readFleetList(Buffer.from(`${header}\r\n${line}\r\n`), "Protokoll.csv");
        return { line, label: at("Kennung"), result: at("Ergebnis"), settings: pagers[0].settings, same: cells.slice(1, -2).join(";"),
                 expert: { toneLength: +at("Tonlänge (ms)"), tonePause: +at("Tonpause (ms)"), blockPause: +at("Blockpause (ms)"),
                           amplitude: +at("Amplitude (%)") } };
    });
}

// The invariant: each start line's settings, rendered at its expert values, are the samples
// played for it (in order, one buffer per start line); each outcome line ends a start line of
// the same pager with the same settings; nothing is sent that has no start line.
function assertRecordIsPlayed(text, played) {
    const rows = recordRows(text);
    const starts = rows.filter((r) => r.result === "Begonnen");
    assert.equal(played.length, starts.length, "one played buffer per start line");
    starts.forEach((r, i) => assert.ok(Buffer.from(played[i]).equals(core.render(core.program(r.settings).tones, r.expert)),
                                       `played for ${r.line}`));
    const open = [];
    for (const r of rows) {
        if (r.result === "Begonnen") open.push(r);
        else if (r.result !== "Übersprungen") {
            const at = open.findLastIndex((s) => s.label === r.label);
            assert.ok(at >= 0, `a start line before ${r.line}`);
            assert.equal(open.splice(at, 1)[0].same, r.same, r.line);
        }
    }
}

const statusIs = (page, text) => page.waitForFunction((t) => document.getElementById("progStatus").textContent.startsWith(t), text, { timeout: 30000 });
// Starts a send and waits for its whole end.
async function sendWhole(page, start) {
    await start();
    await statusIs(page, "Wird gesendet");
    await statusIs(page, "✔ Gesendet.");
}
const chosenLine = (page) => page.$eval("#fleetLines", (e) => Number(e.value));
const recordOf = (page, name) => page.evaluate((key) => localStorage.getItem(key) ?? "", `zuvela.fleet.record:${name}`);

// The events of a list's work as the window takes them, one after another in one dialog: each
// row the key or click, then what the page shows. zuvela-cli is the oracle for the list's notes.
test("a fleet list through the session: every record line is what was played; next line in the open dialog, the question, stop, a broken send, reload", async () => {
    const { page, context, errors } = await openPage({ timezoneId: "Europe/Berlin" }, capturePlayed);
    const dir = tempDir();
    const listFile = join(dir, "Wache 1.csv");
    writeFileSync(listFile, Buffer.from("Kennung;Träger;Tonsystem;Auswertung;Ruf 1;Ruf 2;Farbe\r\n" +
        "W1-01;Jürgen Müß;ZVEI 2;5 Ton;12345;\r\nW1-02;Anna;ZVEI 1;4 Ton;1234;\r\nW1-03;Bert;ZVEI 9;5 Ton;11111;\r\n" +
        "W1-04;Carl;CCIR;4 Ton;1234;\r\nW1-05;Dora;CCIR;5 Ton;54321;\r\nW1-06;Emil;ZVEI 1;5 Ton;67890;\r\n", "latin1")); // Windows-1252
    const bytes = readFileSync(listFile);
    const { pagers } = core.readFleetList(bytes, "Wache 1.csv");
    const record = () => recordOf(page, "Wache 1-Protokoll.csv");
    const played = [];

    await page.keyboard.press("Control+l");
    assert.equal(await page.evaluate(() => document.activeElement.id), "BTN_FleetImport");
    await page.setInputFiles("#fleetInput", listFile);
    const listed = cli("list", listFile); // the unread column and the bad line, as zuvela-cli says them
    assert.equal(listed.status, 1);
    assert.equal(`Hinweis: ${await messageOf(page)}\n`, listed.err);
    assert.ok(listed.err.endsWith(`\n${pagers[2].message}\n`));
    assert.equal(await page.textContent("#fleetName"), "Wache 1.csv (Windows-1252)");
    assert.equal(await page.$eval("#TXT_Adresse_01", (e) => e.value), "12345"); // the first line chosen

    const enterGo = async () => {
        await page.focus("#BTN_Go");
        await page.keyboard.press("Enter"); // OK und los !
    };
    const lines = () => record().then((r) => r.split("\r\n").filter(Boolean).length);
    const lastLine = () => record().then((r) => r.split("\r\n").at(-2));
    const rows = [
        // Enter in the list programs; the dialog's first send is the chosen line's.
        { act: async () => {
            await page.focus("#fleetLines");
            await page.keyboard.press("Enter");
            await page.waitForSelector("#FRM_Prog[open]");
            await sliders(page, fastest);
            await enterGo();
        }, sent: 0, next: 1 },
        // The second send from the open dialog is the next line's, its tones already listed.
        { act: enterGo, sent: 1, next: 3 },
        // The next line has the addresses sent just before: asked, and "Nicht senden" sends nothing.
        { act: async () => {
            await enterGo();
            assert.equal(await messageOf(page), core.fleetRepeatQuestion(pagers[1].settings, "W1-02", pagers[3].settings));
        }, next: 3 },
        // Asked again for every send; "Trotzdem senden" sends it.
        { act: async () => {
            await enterGo();
            await page.waitForSelector("#messageBox[open]");
            await page.click("#messageOk");
        }, sent: 3, next: 4 },
        // Esc stops the send: broken off, the line stays.
        { act: async () => {
            await enterGo();
            await statusIs(page, "Wird gesendet");
            await page.keyboard.press("Escape");
        }, ended: "✘", result: "Abgebrochen: mit Stopp", next: 4 },
        // The browser suspends the sound: its box, closed by Esc; the dialog stays on the line.
        { act: async () => {
            await enterGo();
            await statusIs(page, "Wird gesendet");
            await page.evaluate(() => window.zuvelaContexts[0].suspend());
            assert.match(await messageOf(page), /^Die Soundkarte steht nicht zur Verfügung!/);
        }, ended: "✘", result: "Abgebrochen: der Browser hat die Tonausgabe angehalten", next: 4 },
        // A send that was not whole goes out again without a question.
        { act: enterGo, sent: 4, next: 5 },
    ];
    for (const [i, row] of rows.entries()) {
        const before = await lines();
        await row.act();
        if (row.sent !== undefined) {
            const p = pagers[row.next];
            await page.waitForFunction((t) => document.getElementById("progStatus").textContent === t,
                                       `✔ Gesendet. Nächste Zeile: ${p.label} – ${p.calls}`, { timeout: 30000 });
            assert.match(await lastLine(), new RegExp(`;${pagers[row.sent].label};.*;Gesendet;$`));
            assert.equal(await lines(), before + (before ? 2 : 3), `row ${i}: a start line and the outcome`);
        } else if (row.ended) {
            await statusIs(page, row.ended);
            assert.ok((await lastLine()).endsWith(`;${row.result};`), `row ${i}`);
            assert.equal(await lines(), before + 2, `row ${i}: a start line and the outcome`);
        } else assert.equal(await lines(), before, `row ${i}: nothing recorded`);
        // The dialog lists the chosen line's tones, before anything more is sent.
        assert.equal(await chosenLine(page), row.next, `row ${i}`);
        assert.deepEqual(await listingOf(page), core.program(pagers[row.next].settings).listing, `row ${i}`);
        played.push(...(await takePlayed(page)));
    }
    const shownBefore = await page.$$eval("#fleetLines option", (o) => o.map((e) => e.textContent));
    assert.match(shownBefore[0], /^Zeile 2: W1-01 Jürgen Müß – Ruf 1 12345 – Gesendet \(2.*\+01:00\)$/);
    assert.equal(shownBefore[2], pagers[2].message);

    // After a reload the record's last whole send still asks: W1-05 chosen again.
    await page.keyboard.press("Escape");
    await page.reload();
    await page.waitForSelector("body[data-ready]");
    await page.keyboard.press("Control+l");
    assert.equal(await chosenLine(page), 5);
    await page.keyboard.press("ArrowUp");
    assert.equal(await page.$eval("#TXT_Adresse_01", (e) => e.value), "54321");
    await page.keyboard.press("Enter");
    await page.waitForSelector("#FRM_Prog[open]");
    await enterGo();
    assert.equal(await messageOf(page), core.fleetRepeatQuestion(pagers[4].settings, "W1-05", pagers[4].settings));
    // A reload in the middle of a send leaves its start line: "Begonnen, nicht beendet".
    await page.keyboard.press("Escape");
    await page.waitForSelector("#FRM_Prog:not([open])", { state: "attached" });
    await page.focus("#fleetLines");
    await page.keyboard.press("ArrowDown");
    await page.keyboard.press("Enter");
    await page.waitForSelector("#FRM_Prog[open]");
    await sliders(page, slowest); // long enough for the reload, on a busy machine too
    await enterGo();
    await statusIs(page, "Wird gesendet");
    played.push(...(await takePlayed(page)));
    await page.reload();
    await page.waitForSelector("body[data-ready]");
    await page.keyboard.press("Control+l");
    const shown = await page.$$eval("#fleetLines option", (o) => o.map((e) => e.textContent));
    assert.match(shown[5], / – Begonnen, nicht beendet \(2.*\+01:00\)$/);
    assert.match(shown[3], / – Gesendet \(/);
    assert.match(shown[4], / – Gesendet \(/);
    assert.equal(await chosenLine(page), 5);
    await page.click("#BTN_FleetSkip");
    await page.waitForFunction(() => document.getElementById("status").textContent === "Die Liste Wache 1.csv ist durchgegangen.");
    assert.match((await record()).split("\r\n").at(-2), /^[^;]+;W1-06;Emil;.*;Übersprungen;$/);
    assertRecordIsPlayed(await record(), played);
    assert.deepEqual(await axeViolations(page), [], "the list");

    // Export: the engine's list file, the bad line as it was read; the record as kept, with the
    // byte order mark zuvela-cli writes.
    const kept = await record();
    const [exported] = await Promise.all([page.waitForEvent("download"), page.click("#BTN_FleetExport")]);
    const text = readFileSync(await exported.path());
    assert.ok(text.equals(Buffer.from(core.fleetListText(bytes, "Wache 1.csv"))));
    assert.match(text.toString(), /^\uFEFF.*\r\nW1-03;Bert;ZVEI 9;5 Ton;/s);
    const [saved] = await Promise.all([page.waitForEvent("download"), page.click("#BTN_FleetRecord")]);
    assert.equal(saved.suggestedFilename(), "Wache 1-Protokoll.csv");
    const savedBytes = readFileSync(await saved.path());
    assert.deepEqual([...savedBytes.subarray(0, 3)], [0xef, 0xbb, 0xbf]);
    assert.ok(savedBytes.equals(Buffer.from(kept)));
    assert.ok(kept.startsWith(`\uFEFF${core.fleetRecordHeader()}`));

    // What is no list is refused and the list stays; a record the browser will not keep sends nothing.
    const png = join(dir, "bild.csv");
    writeFileSync(png, Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13]));
    const dataTransfer = await page.evaluateHandle((data) => { // dropped on the page
        const dt = new DataTransfer();
        dt.items.add(new File([new Uint8Array(data)], "bild.csv"));
        return dt;
    }, [...readFileSync(png)]);
    await page.dispatchEvent("body", "drop", { dataTransfer });
    assert.equal(`zuvela-cli list: ${(await messageOf(page)).replace('"bild.csv"', `Die Datei ${png}`)}\n`, cli("list", png).err);
    assert.equal(await page.$$eval("#fleetLines option", (o) => o.length), 6);
    await page.evaluate(() => {
        const setItem = Storage.prototype.setItem;
        Storage.prototype.setItem = function (key, value) {
            if (key.startsWith("zuvela.fleet.record:")) throw new DOMException("voll", "QuotaExceededError");
            return setItem.call(this, key, value);
        };
        localStorage.removeItem("zuvela.fleet.record:Wache 1-Protokoll.csv");
    });
    await page.focus("#fleetLines");
    await page.keyboard.press("Enter");
    await page.waitForSelector("#FRM_Prog[open]");
    await enterGo();
    assert.equal(await messageOf(page), core.fleetRecordUnwritable('"Wache 1-Protokoll.csv"', "der Speicher des Browsers für diese Seite ist voll"));
    assert.equal(await page.textContent("#progStatus"), "");
    assert.deepEqual(await takePlayed(page), []);
    // A new list from the settings on the page: one line, as the engine writes it.
    await page.keyboard.press("Escape");
    await page.click("#BTN_FleetNew");
    const [fresh] = await Promise.all([page.waitForEvent("download"), page.click("#BTN_FleetExport")]);
    assert.ok(readFileSync(await fresh.path()).equals(Buffer.from(core.newFleetListText(pagers[5].settings))));
    assert.deepEqual(errors, []);
    await context.close();
});

// Tabs of one browser share the list and its record: one sends, the other refuses and follows;
// a closed tab leaves its start line and lets the others send.
test("two tabs: the second refuses while the first sends, follows its record and line in the open dialog; a closed tab mid-send", async () => {
    const context = await browser.newContext();
    await context.addInitScript(capturePlayed);
    const tab = async () => {
        const page = await context.newPage();
        await page.goto(server.url);
        await page.waitForSelector("body[data-ready]", { timeout: 30000 });
        return page;
    };
    const a = await tab();
    const b = await tab();
    const listFile = join(tempDir(), "R.csv");
    writeFileSync(listFile, "Kennung;Ruf 1\r\nR-01;11111\r\nR-02;22222\r\nR-03;33333\r\n");
    const { pagers } = core.readFleetList(readFileSync(listFile), "R.csv");
    const played = [];
    const program = async (page) => {
        await page.focus("#fleetLines");
        await page.keyboard.press("Enter");
        await page.waitForSelector("#FRM_Prog[open]");
    };
    const go = (page) => page.click("#BTN_Go");

    await a.keyboard.press("Control+l");
    await a.setInputFiles("#fleetInput", listFile);
    await b.keyboard.press("Control+l"); // the list follows the other tab's, when it comes
    await b.waitForFunction(() => document.getElementById("fleetName").textContent === "R.csv (UTF-8)");
    assert.equal(await chosenLine(b), 0);
    await program(a);
    await program(b);
    await go(a);
    await statusIs(a, "Wird gesendet");
    await go(b); // while the first tab sends
    assert.equal(await messageOf(b), "Ein anderer Tab sendet gerade; hier wird nichts gesendet.");
    assert.deepEqual(await takePlayed(b), [], "the second tab sends nothing");
    await statusIs(a, "✔ Gesendet.");
    played.push(...(await takePlayed(a)));
    // The open dialog of the other tab takes the next line's tones at once, its list the result.
    await b.waitForFunction(() => document.getElementById("fleetLines").value === "1");
    assert.deepEqual(await listingOf(b), core.program(pagers[1].settings).listing);
    assert.match(await b.textContent("#fleetLines option"), / – Gesendet \(/);
    await sendWhole(b, () => go(b));
    played.push(...(await takePlayed(b)));
    await a.waitForFunction(() => document.getElementById("fleetLines").value === "2");
    assert.deepEqual(await listingOf(a), core.program(pagers[2].settings).listing);
    // The tab closes in the middle of a send: its start line stays, and the other tab sends.
    await go(a);
    await statusIs(a, "Wird gesendet");
    played.push(...(await takePlayed(a)));
    await a.close();
    await b.waitForFunction(() => document.querySelectorAll("#fleetLines option")[2].textContent.includes("Begonnen, nicht beendet"));
    assert.equal(await chosenLine(b), 2);
    await sendWhole(b, () => go(b));
    played.push(...(await takePlayed(b)));
    assertRecordIsPlayed(await recordOf(b, "R-Protokoll.csv"), played);

    // A tab opened afterwards asks before R-03's addresses again: the rule follows the record.
    const c = await tab();
    await c.keyboard.press("Control+l");
    assert.equal(await chosenLine(c), 2);
    await program(c);
    await go(c);
    assert.equal(await messageOf(c), core.fleetRepeatQuestion(pagers[2].settings, "R-03", pagers[2].settings));
    assert.deepEqual(await takePlayed(c), []);
    await context.close();
});
