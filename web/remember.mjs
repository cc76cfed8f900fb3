// SPDX-License-Identifier: GPL-3.0-or-later
// The last settings, kept in the browser, and settings carried by a link. Both are the engine's
// link query (the programming-data file's keys in small letters, zuvela-cli's words for the
// sliders), read back by the engine, which names every value it ignores as zuvela-cli does.
import { applySettings, settings } from "./controls.mjs";
import { buildSliders, expertValues } from "./sending.mjs";
import { $, core, germanError, setStatus, showMessage } from "./ui.mjs";

const STORE = "zuvela.settings";

// The settings and sliders as a link's query ("ts=1&tl=1&…").
export const settingsQuery = (s = settings(), expert = expertValues()) => core.settingsLinkQuery(s, expert);

// The browser may refuse its storage altogether (a private window, a policy): then there is
// nothing kept.
function storedQuery() {
    try {
        return localStorage.getItem(STORE) ?? "";
    } catch {
        return "";
    }
}

// At the start: the link's settings, else the last ones, else the start-up state. A value the
// engine ignores is named once the page is ready, as a loaded file's message is.
export function restoreSettings() {
    const link = core.readSettingsLink(location.search, core.startSettings());
    const stored = link.taken ? null : core.readSettingsLink(storedQuery(), core.startSettings());
    const chosen = link.taken ? link : stored.taken ? stored : null;
    buildSliders(chosen?.expert);
    if (chosen) applySettings(chosen.settings);
    if (link.names) {
        history.replaceState(null, "", location.pathname);
        setStatus(link.taken ? "Die Einstellungen aus dem Link sind übernommen."
                             : "Der Link trägt keine Einstellungen, die sich übernehmen lassen.");
    } else if (stored.taken) {
        setStatus("Die letzten Einstellungen sind wiederhergestellt.");
    }
    if (stored?.taken) $("BTN_Fresh").hidden = false;
    const notes = [...link.notes, ...(stored?.notes ?? [])];
    if (notes.length) setTimeout(() => showMessage(notes.join("\n")));
}

// Said once while the browser keeps nothing, not at every key: again only after it kept them.
let refusedSaid = false;

// Kept unless they are the start-up state: then there is nothing to come back to.
export function remember() {
    const ranges = core.expertRanges();
    const initial = Object.fromEntries(Object.entries(ranges).map(([name, range]) => [name, range.initial]));
    const query = settingsQuery();
    try {
        if (query === settingsQuery(core.startSettings(), initial)) localStorage.removeItem(STORE);
        else localStorage.setItem(STORE, query);
        refusedSaid = false;
    } catch (e) {
        if (refusedSaid) return;
        refusedSaid = true;
        setStatus(`Die Einstellungen lassen sich im Browser nicht behalten (${germanError(e)}); ` +
                  "sie gelten, bis die Seite geschlossen wird.");
    }
}

// Back to the start-up state, forgetting the last settings.
export function startFresh() {
    try {
        localStorage.removeItem(STORE);
    } catch {
        // nothing was kept
    }
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
