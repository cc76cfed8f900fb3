// SPDX-License-Identifier: GPL-3.0-or-later
// The last settings, kept in the browser, and settings carried by a link. Both are written as
// the programming-data file's keys (the option groups' keys of the engine's table in small
// letters: ts, tl, aw, sm; rp1 … rp4 and ad1 … ad4 for the sections "B I" … "B IV") and read
// back through the engine's loader, so that a link obeys the file's rules; the sliders travel
// as zuvela-cli's words (tone-length, tone-pause, block-pause, amplitude).
import { applySettings, settings, storedGroups } from "./controls.mjs";
import { buildSliders, expertValues } from "./sending.mjs";
import { $, core, setStatus, showMessage } from "./ui.mjs";

const STORE = "zuvela.settings";
const sliderWords = { toneLength: "tone-length", tonePause: "tone-pause", blockPause: "block-pause", amplitude: "amplitude" };
const sections = ["B I", "B II", "B III", "B IV"];

// The settings and sliders as a link's query ("ts=1&tl=1&…").
export function settingsQuery(s = settings(), expert = expertValues()) {
    const query = new URLSearchParams(storedGroups().map(({ key, field }) => [key.toLowerCase(), s[field]]));
    s.addresses.forEach((a, i) => {
        if (a.checked) query.set(`rp${i + 1}`, "1");
        if (a.text) query.set(`ad${i + 1}`, a.text);
    });
    for (const [name, word] of Object.entries(sliderWords)) query.set(word, expert[name]);
    return query.toString();
}

// A query read as a programming-data file: what the engine's loader makes of it, or null when
// the query carries none of the file's keys.
function fromQuery(text) {
    const query = new URLSearchParams(text);
    const groupKeys = storedGroups().map(({ key }) => key);
    const keys = [...groupKeys.map((k) => k.toLowerCase()), ...[1, 2, 3, 4].flatMap((n) => [`rp${n}`, `ad${n}`])];
    if (!keys.some((k) => query.has(k))) return null;
    const line = (key, value) => (value === null ? "" : `${key}=${value.replace(/[\r\n]/g, "")}\r\n`);
    let profile = "[A]\r\n" + groupKeys.map((k) => line(k, query.get(k.toLowerCase()))).join("");
    sections.forEach((section, i) => {
        profile += `[${section}]\r\n${line("RP", query.get(`rp${i + 1}`) ?? "0")}${line("AD", query.get(`ad${i + 1}`))}`;
    });
    // Address characters are single bytes in the file (Windows-1252); others the loader drops.
    const bytes = Uint8Array.from(profile, (c) => (c.charCodeAt(0) < 256 ? c.charCodeAt(0) : 63));
    const expert = {};
    for (const [name, word] of Object.entries(sliderWords)) if (query.has(word)) expert[name] = Number(query.get(word));
    return { loaded: core.loadProfile(bytes, core.startSettings(), "Link"), expert };
}

// At the start: the link's settings, else the last ones, else the start-up state.
export function restoreSettings() {
    const fromLink = fromQuery(location.search);
    const stored = fromLink ? null : fromQuery(localStorage.getItem(STORE) ?? "");
    const chosen = fromLink ?? stored;
    buildSliders(chosen?.expert);
    if (chosen?.loaded.settings) applySettings(chosen.loaded.settings);
    if (fromLink) {
        history.replaceState(null, "", location.pathname);
        setStatus("Die Einstellungen aus dem Link sind übernommen.");
        // Said once the page is ready, as a loaded file's message is.
        if (chosen.loaded.message) setTimeout(() => showMessage(chosen.loaded.message));
    } else if (stored?.loaded.settings) {
        setStatus("Die letzten Einstellungen sind wiederhergestellt.");
        $("BTN_Fresh").hidden = false;
    }
}

// Kept unless they are the start-up state: then there is nothing to come back to.
export function remember() {
    const ranges = core.expertRanges();
    const initial = Object.fromEntries(Object.keys(sliderWords).map((name) => [name, ranges[name].initial]));
    const query = settingsQuery();
    if (query === settingsQuery(core.startSettings(), initial)) localStorage.removeItem(STORE);
    else localStorage.setItem(STORE, query);
}

// Back to the start-up state, forgetting the last settings.
export function startFresh() {
    localStorage.removeItem(STORE);
    applySettings(core.startSettings());
    buildSliders();
    $("BTN_Fresh").hidden = true;
    setStatus("Neu begonnen: die Einstellungen stehen wie beim ersten Start.");
    $("TXT_Adresse_01").focus();
}

// A link that opens the page with these settings, copied where the browser allows it.
export async function shareLink() {
    const link = `${location.origin}${location.pathname}?${settingsQuery()}`;
    $("shareLink").value = link;
    $("shareRow").hidden = false;
    $("shareLink").select();
    try {
        await navigator.clipboard.writeText(link);
        setStatus("Der Link zu diesen Einstellungen ist kopiert.");
    } catch {
        setStatus("Der Link zu diesen Einstellungen steht unten; er lässt sich kopieren.");
    }
}
