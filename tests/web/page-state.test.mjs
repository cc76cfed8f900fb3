// SPDX-License-Identifier: GPL-3.0-or-later
// What the page keeps and what it is handed: links checked by the engine's rules with
// zuvela-cli's notes, a full storage, a closed audio context, a new version in two tabs, and
// where the focus starts.
import assert from "node:assert/strict";
import { cpSync, readFileSync, utimesSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { cli, serve, servedBrowser, site, tempDir } from "./support.mjs";

const ctx = servedBrowser();

async function openPage(address = ctx.server.url, init = null) {
    const context = await ctx.browser.newContext();
    if (init) await context.addInitScript(init);
    const page = await context.newPage();
    const errors = [];
    page.on("pageerror", (e) => errors.push(e.message));
    await page.goto(address);
    await page.waitForSelector("body[data-ready]", { timeout: 30000 });
    return { context, page, errors };
}

const shown = (page) => page.evaluate(() => [...document.querySelectorAll("#settings input:checked, #settings input[type=text], #GroupBox1 input")]
    .map((e) => `${e.id}=${e.type === "text" || e.type === "range" ? e.value : "on"}`).join(" "));
const allowed = (text) => /\(erlaubt: [^)]*\)/.exec(text)?.[0];

test("a link is read by the engine's rules: every value ignored is named as zuvela-cli names it, nothing taken in part", async () => {
    const dir = tempDir();
    const profile = (text) => {
        const file = join(dir, `${Math.random().toString(36).slice(2)}.740`);
        writeFileSync(file, Buffer.from(text, "latin1"));
        return ["-f", file];
    };
    const out = join(dir, "out.raw");
    const start = await openPage();
    const startState = await shown(start.page);
    await start.context.close();
    // query; the notes; zuvela-cli's arguments for the same value, whose "erlaubt" a note
    // repeats; whether the link is taken, and then what the page shows.
    const rows = [
        { query: "ts=99", cli: profile("[A]\r\nTS=99\r\n"), taken: false, notes: ["Hinweis: ts=99 wird ignoriert (erlaubt: 1 bis 7)."] },
        { query: `ad1=${"7".repeat(30)}`, taken: false,
          notes: [`Hinweis: ad1=${"7".repeat(30)} wird ignoriert (erlaubt: höchstens 5 Zeichen aus 0 bis 9, G und R).`] },
        { query: "rp1=1&ad1=%E2%82%AC", taken: true, shows: { OPT_Tonsys_01: true, CHK_Adresse_01: true, TXT_Adresse_01: "" },
          notes: ["Hinweis: ad1=€ wird ignoriert (erlaubt: höchstens 5 Zeichen aus 0 bis 9, G und R)."] },
        { query: "ts=2&tone-length=45&amplitude=50", cli: ["--tone-length", "45"], taken: true,
          shows: { OPT_Tonsys_02: true, CHK_Adresse_01: true, TXT_Adresse_01: "57434", BAR_Tonlen: "100", BAR_Amplitude: "50" },
          notes: ["Hinweis: tone-length=45 wird ignoriert (erlaubt: 40 bis 200 in Schritten von 10)."] },
        { query: "sm=3&rp2=ja&ad2=12g4", taken: true,
          shows: { OPT_Schalter_03: true, CHK_Adresse_01: false, TXT_Adresse_01: "", CHK_Adresse_02: false, TXT_Adresse_02: "12G4" },
          notes: ["Hinweis: rp2=ja wird ignoriert (erlaubt: 0 oder 1)."] },
    ];
    for (const row of rows) {
        const { page, context, errors } = await openPage(`${ctx.server.url}?${row.query}`);
        await page.waitForSelector("#messageBox[open]", { timeout: 5000 });
        const notes = (await page.textContent("#messageText")).split("\n");
        assert.deepEqual(notes, row.notes, row.query);
        await page.click("#messageOk");
        assert.equal(await page.textContent("#status"), row.taken ? "Die Einstellungen aus dem Link sind übernommen."
                                                                  : "Der Link trägt keine Einstellungen, die sich übernehmen lassen.", row.query);
        // Not taken: the start state, untouched.
        if (!row.taken) assert.equal(await shown(page), startState, row.query);
        for (const [id, value] of Object.entries(row.shows ?? {}))
            assert.equal(typeof value === "boolean" ? await page.isChecked(`#${id}`) : await page.inputValue(`#${id}`), value, `${row.query}: ${id}`);
        if (row.cli) {
            const said = cli("render", ...row.cli, "-o", out);
            assert.equal(allowed(notes[0]), allowed(said.err), `${row.query}: zuvela-cli says ${said.err}`);
        }
        assert.deepEqual(errors, []);
        await context.close();
    }
});

test("a full storage is said once, in words, and the page works on; the focus starts in Ruf 1", async () => {
    const { page, context, errors } = await openPage(ctx.server.url, () => {
        Storage.prototype.setItem = function () {
            throw new DOMException("The quota has been exceeded.", "QuotaExceededError");
        };
        // Every status the page says, in order.
        window.zuvelaSaid = [];
        new MutationObserver(() => window.zuvelaSaid.push(document.getElementById("status")?.textContent))
            .observe(document, { subtree: true, childList: true, characterData: true });
    });
    assert.equal(await page.evaluate(() => document.activeElement.id), "TXT_Adresse_01");
    await page.keyboard.press("Backspace");
    await page.keyboard.type("3");
    await page.check("#OPT_Tonsys_04");
    await page.check("#CHK_Adresse_02");
    const full = "Die Einstellungen lassen sich im Browser nicht behalten (der Speicher des Browsers für diese Seite ist voll); " +
                 "sie gelten, bis die Seite geschlossen wird.";
    await page.waitForFunction((text) => document.getElementById("status").textContent === text, full, { timeout: 5000 });
    const said = await page.evaluate(() => window.zuvelaSaid);
    assert.equal(new Set(said.filter((s) => s?.startsWith("Die Einstellungen lassen sich"))).size, 1);
    assert.equal(said.filter((s, i) => s === full && said[i - 1] !== full).length, 1, "said once, not at every change");
    assert.equal(await page.inputValue("#TXT_Adresse_01"), "5743R"); // completed on leaving, as ever
    assert.deepEqual(errors, []);
    await context.close();
});

test("an audio context the browser closed is made anew at the next send", async () => {
    const { page, context, errors } = await openPage(ctx.server.url, () => {
        const Original = window.AudioContext;
        window.zuvelaContexts = [];
        window.AudioContext = class extends Original {
            constructor(...args) {
                super(...args);
                window.zuvelaContexts.push(this);
            }
        };
    });
    const send = async () => {
        await page.click("#BTN_Go");
        await page.waitForFunction(() => ["✔ Gesendet.", "✘ Abgebrochen"].includes(document.getElementById("progStatus").textContent.trim()) ||
                                         document.getElementById("messageBox").open, null, { timeout: 30000 });
        return page.textContent("#progStatus");
    };
    await page.click("#BTN_Prog");
    for (const [id, value] of [["BAR_Tonlen", 40], ["BAR_TonPause", 10], ["BAR_BlockPause", 500]])
        await page.$eval(`#${id}`, (bar, v) => { bar.value = v; bar.dispatchEvent(new Event("input", { bubbles: true })); }, value);
    assert.equal(await send(), "✔ Gesendet.");
    await page.evaluate(() => window.zuvelaContexts[0].close());
    // The same addresses again: asked first, then sent through a new context.
    await page.click("#BTN_Go");
    await page.waitForSelector("#messageBox[open]");
    await page.evaluate(() => { document.getElementById("progStatus").textContent = ""; });
    await page.click("#messageOk");
    await page.waitForFunction(() => ["✔ Gesendet.", "✘ Abgebrochen"].includes(document.getElementById("progStatus").textContent.trim()) ||
                                     document.getElementById("messageBox").open, null, { timeout: 30000 });
    assert.equal(await page.textContent("#progStatus"), "✔ Gesendet.");
    assert.equal(await page.evaluate(() => window.zuvelaContexts.length), 2);
    assert.deepEqual(errors, []);
    await context.close();
});

test("a new version is offered in every open tab, as a live region, and \"Neu laden\" works in each", async () => {
    const dir = tempDir();
    cpSync(site, dir, { recursive: true });
    const own = await serve(dir);
    const context = await ctx.browser.newContext();
    const open = async () => {
        const page = await context.newPage();
        await page.goto(own.url);
        await page.waitForSelector("body[data-ready]", { timeout: 30000 });
        await page.evaluate(async () => {
            await navigator.serviceWorker.ready;
            if (!navigator.serviceWorker.controller)
                await new Promise((r) => navigator.serviceWorker.addEventListener("controllerchange", r, { once: true }));
        });
        return page;
    };
    const first = await open();
    const second = await open();
    const [oldCache] = await first.evaluate(() => caches.keys());
    writeFileSync(join(dir, "zuvela.css"), `${readFileSync(join(dir, "zuvela.css"))}\n/* next version */\n`);
    writeFileSync(join(dir, "sw.js"), readFileSync(join(dir, "sw.js"), "utf8").replace(oldCache, `${oldCache}-next`));
    const later = new Date(Date.now() + 5000); // the server's Last-Modified counts whole seconds
    for (const file of ["zuvela.css", "sw.js"]) utimesSync(join(dir, file), later, later);
    // Only the first tab looks for it; both say so, in a live region.
    await first.evaluate(() => navigator.serviceWorker.getRegistration().then((r) => r.update()));
    for (const page of [first, second]) {
        await page.waitForSelector("#updateRow:not([hidden])", { timeout: 30000 });
        assert.ok(await page.$eval("#updateRow", (e) => e.closest('[role="status"]') !== null && e.closest("[hidden]") === null));
    }
    const isNew = (page) => page.evaluate(() => [...document.styleSheets].some((s) => [...s.cssRules].some((r) => r.cssText.includes("next version"))) ||
                                                fetch("zuvela.css").then((r) => r.text()).then((t) => t.includes("next version")));
    // The second tab lets the new version in; then the first, whose worker has already changed.
    for (const page of [second, first]) {
        await Promise.all([page.waitForEvent("load", { timeout: 30000 }), page.click("#BTN_Reload")]);
        await page.waitForSelector("body[data-ready]", { timeout: 30000 });
        assert.ok(await isNew(page));
        assert.ok(await page.isHidden("#updateRow"));
    }
    await context.close();
    own.stop();
});
