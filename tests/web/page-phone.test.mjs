// SPDX-License-Identifier: GPL-3.0-or-later
// The page on phones, as a technician's thumb meets it: no sideways scrolling, every target of
// 24 px at the least, each line of a list read in full, nothing lying over a control, and
// axe-core (installed from npm beside these tests, never fetched by the page) clean.
import assert from "node:assert/strict";
import { writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { join } from "node:path";
import { test } from "node:test";
import { servedBrowser, shots, tempDir } from "./support.mjs";

const ctx = servedBrowser();

const phones = [
    { name: "Pixel 7", viewport: { width: 412, height: 839 }, deviceScaleFactor: 2.625 },
    { name: "iPhone 13", viewport: { width: 390, height: 664 }, deviceScaleFactor: 3, colorScheme: "dark" },
    { name: "small phone", viewport: { width: 320, height: 568 }, deviceScaleFactor: 2 },
];

// Every control a finger can reach (inside the open dialog when one is open) narrower or lower
// than 24 px. The file input stands hidden behind its label, which is the target.
const smallTargets = (page) => page.evaluate(() => {
    const open = document.querySelector("dialog[open]");
    return [...document.querySelectorAll("button, input, select, option, label[for], [tabindex], a[href]")]
        .filter((e) => e.checkVisibility() && !e.classList.contains("visually-hidden") && (!open || open.contains(e)))
        .map((e) => ({ e, r: e.getBoundingClientRect() }))
        .filter(({ r }) => r.width < 24 || r.height < 24)
        .map(({ e, r }) => `${e.id || e.textContent.trim().slice(0, 30)} ${Math.round(r.width)}x${Math.round(r.height)}`);
});

// The dialog scrolled from top to bottom: each enabled control wholly in view is the one a tap
// on its middle reaches.
const coveredInDialog = (page) => page.evaluate(async () => {
    const dialog = document.getElementById("FRM_Prog");
    const view = dialog.getBoundingClientRect();
    const covered = new Set();
    for (let top = 0; top <= dialog.scrollHeight; top += 16) {
        dialog.scrollTop = top;
        await new Promise(requestAnimationFrame);
        for (const e of dialog.querySelectorAll("button, input, select")) {
            const r = e.getBoundingClientRect();
            if (e.disabled || !e.checkVisibility() || r.top < view.top || r.bottom > view.bottom - 2) continue;
            const hit = document.elementFromPoint(r.x + r.width / 2, r.y + r.height / 2);
            if (hit !== e && !e.contains(hit) && !e.labels?.[0]?.contains(hit)) covered.add(`${e.id} under ${hit?.id || hit?.className}`);
        }
    }
    return [...covered];
});

async function axeViolations(page) {
    const require = createRequire(import.meta.url);
    await page.addScriptTag({ path: require.resolve("axe-core/axe.min.js") });
    return page.evaluate(async () => {
        const result = await window.axe.run(document, { runOnly: ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "wcag22aa"] });
        return result.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(" ")).join(", ")}`);
    });
}

test("on phones nothing scrolls sideways, every target is 24 px, list lines wrap in full, nothing covers a control, axe-core is clean", async () => {
    const list = join(tempDir(), "Wache Nord.csv");
    writeFileSync(list, "Kennung;Träger;Tonsystem;Auswertung;Ruf 1;Ruf 2;Ruf 3\r\n" +
        "W1-01;Hauptbrandmeisterin Jürgen-Müller-Lüdenscheidt;ZVEI 2;5 Ton;12345;67890;13579\r\n" +
        "W1-02;Bert;ZVEI 9;5 Ton;11111;;\r\n" + // a bad line: its reason stands at the end
        "W1-03;Carla;CCIR;4 Ton;1234;;\r\n");
    for (const { name, ...options } of phones) {
        const context = await ctx.browser.newContext({ ...options, isMobile: true, hasTouch: true });
        const page = await context.newPage();
        const errors = [];
        page.on("pageerror", (e) => errors.push(e.message));
        await page.goto(ctx.server.url);
        await page.waitForSelector("body[data-ready]", { timeout: 30000 });
        await page.click("#BTN_Fleet");
        await page.setInputFiles("#fleetInput", list);
        await page.waitForSelector("#messageBox[open]");
        await page.click("#messageOk");
        const width = options.viewport.width;
        assert.ok(await page.evaluate((w) => document.documentElement.scrollWidth <= w, width), `${name}: wider than the screen`);
        // Each line wholly shown: none cut at the right, the long ones wrapped onto more lines.
        const lines = await page.$$eval("#fleetLines option", (all) => all.map((o) => ({
            text: o.textContent, cut: o.scrollWidth > o.clientWidth, height: o.clientHeight })));
        assert.equal(lines.length, 3);
        assert.deepEqual(lines.filter((l) => l.cut), [], name);
        assert.ok(await page.$eval("#fleetLines", (s) => s.scrollWidth <= s.clientWidth), `${name}: the list scrolls sideways`);
        assert.ok(lines[0].height > 1.5 * lines[2].height && lines[1].height > 1.5 * lines[2].height, `${name}: the long lines are not wrapped`);
        assert.deepEqual(await smallTargets(page), [], `${name}: small targets on the page`);
        await page.screenshot({ path: join(shots, `phone-${name.replace(/ /g, "-")}.png`), fullPage: true });
        assert.deepEqual(await axeViolations(page), [], name);

        await page.click("#BTN_FleetClose");
        await page.click("#BTN_Prog");
        assert.ok(await page.evaluate((w) => document.documentElement.scrollWidth <= w, width), `${name}: the dialog is wider than the screen`);
        assert.deepEqual(await smallTargets(page), [], `${name}: small targets in the dialog`);
        assert.deepEqual(await coveredInDialog(page), [], `${name}: covered at rest`);
        // "Schließen" is reachable and nothing lies over it.
        await page.locator("#BTN_Close").scrollIntoViewIfNeeded();
        const close = await page.$eval("#BTN_Close", (b) => {
            const r = b.getBoundingClientRect();
            return document.elementFromPoint(r.x + r.width / 2, r.y + r.height / 2) === b;
        });
        assert.ok(close, `${name}: "Schließen" is covered`);
        assert.deepEqual(await axeViolations(page), [], `${name} with the dialog`);
        await page.click("#BTN_Close");
        assert.ok(await page.isHidden("#FRM_Prog"));
        assert.deepEqual(errors, []);
        await context.close();
    }
});
