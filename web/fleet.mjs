// SPDX-License-Identifier: GPL-3.0-or-later
// The programming session (core's, one for the page) and the fleet list: pagers programmed one
// after another from a list file, each send recorded. The session owns every step (the line,
// the tones sent, the repeat question, the record's start and outcome lines, the next line);
// this file feeds it the user's events and shows what it says. The list's bytes, the chosen
// line and the record stay in the browser's storage, which every tab of the page shares: one
// tab sends at a time, and the others follow its record and its line.
import { applySettings, settings } from "./controls.mjs";
import { download, readBytes } from "./files.mjs";
import { SetProgTones, brokenReason, expertValues, playSend, useProgram } from "./sending.mjs";
import { $, askQuestion, core, germanError, setStatus, showMessage, stats } from "./ui.mjs";

const LIST = "zuvela.fleet.list"; // the list file's bytes, one character a byte
const NAME = "zuvela.fleet.name";
const CHOSEN = "zuvela.fleet.chosen";
const RECORD = "zuvela.fleet.record:"; // followed by the record's name: its text
const LOCK = "zuvela.send"; // held by the tab that sends
export const OTHER_TAB_SENDS = "Ein anderer Tab sendet gerade; hier wird nichts gesendet.";

let session = null;
// What this tab shows of the session, and what it last saw in the storage of the other tabs.
const fleet = { name: "", bytes: null, list: null, record: "", chosenSeen: null, shownChosen: -1, shownTones: -1 };

function storedText(bytes) {
    let text = "";
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return text;
}
const storedBytes = (text) => Uint8Array.from(text, (c) => c.charCodeAt(0));

const recordName = () => core.fleetRecordName(fleet.name);
const recordText = () => localStorage.getItem(RECORD + recordName()) ?? "";
// The record's bytes as zuvela-cli writes them: UTF-8 after a byte order mark.
const BOM = "\uFEFF";
const withBom = (text) => (text.startsWith(BOM) ? text : BOM + text);
const utf8 = new TextDecoder("utf-8", { ignoreBOM: true }); // keeps the header's mark

// The session's record writer for a record: appends the bytes to what the storage holds now.
const writerFor = (key) => (bytes) => {
    try {
        const text = (localStorage.getItem(key) ?? "") + utf8.decode(bytes);
        localStorage.setItem(key, text);
        fleet.record = text;
        return "";
    } catch (e) {
        return germanError(e);
    }
};

const now = () => core.isoTime(Date.now(), -new Date().getTimezoneOffset());
const deviceName = () => ($("sinkRow").hidden ? "Standard" : $("sinkChoice").selectedOptions[0]?.text ?? "Standard");

// Each line as the list shows it, with the pager's last result from the record; a line that
// cannot be sent shows why and cannot be chosen. A long list is redrawn after every send: only
// the lines whose text changed are touched.
function showList() {
    const last = session.hasList() ? session.lastResults() : {};
    const lines = $("fleetLines");
    const pagers = fleet.list?.pagers ?? [];
    if (lines.options.length !== pagers.length)
        lines.replaceChildren(...pagers.map((p, i) => new Option("", String(i))));
    pagers.forEach((p, i) => {
        const result = last[p.label];
        const text = p.ok ? `Zeile ${p.line}: ${[p.label, p.holder].filter(Boolean).join(" ")} – ${p.calls}` +
                            (result ? ` – ${result.text} (${result.time})` : "")
                          : p.message;
        const option = lines.options[i];
        if (option.text !== text) option.text = text;
        option.disabled = !p.ok;
    });
    lines.value = String(session.chosen());
    $("fleetName").textContent = fleet.list ? `${fleet.name} (${fleet.list.encoding})` : "keine";
    for (const id of ["BTN_FleetExport", "BTN_FleetSkip", "BTN_FleetRecord"]) $(id).disabled = !fleet.list;
}

// The session's tones in the dialog's listing, as soon as they change: what goes out is what
// the listing shows. True when they changed.
function showTones() {
    if (!session.programmed() || session.tonesVersion() === fleet.shownTones) return false;
    const { tones, listing } = session.tones();
    SetProgTones(tones, listing);
    fleet.shownTones = session.tonesVersion();
    return true;
}

// The session's state on the page: the list, the chosen line in the main window (kept for a
// reload and the other tabs), its tones in the dialog.
function showSession() {
    const chosen = session.chosen();
    if (session.hasList() && chosen !== fleet.shownChosen) {
        fleet.shownChosen = chosen;
        if (chosen >= 0) applySettings(session.settings());
        try {
            localStorage.setItem(CHOSEN, String(chosen));
            fleet.chosenSeen = String(chosen);
        } catch {
            // only where the list stands after a reload
        }
    }
    if (session.hasList()) showList();
    return showTones();
}

// What another tab wrote since: its record lines (results, the repeat rule, where the list
// goes on) and the line it chose.
function followTabs() {
    if (!session.hasList() || session.sending()) return;
    const record = recordText();
    if (record !== fleet.record) {
        fleet.record = record;
        session.recordChanged(record);
    }
    const chosen = localStorage.getItem(CHOSEN);
    if (chosen !== fleet.chosenSeen) {
        fleet.chosenSeen = chosen;
        if (Number(chosen) !== session.chosen()) session.choose(Number(chosen ?? -1));
    }
}

// Opens a list in the session with its record: the refusal, or the list.
function openList(bytes, name) {
    const key = RECORD + core.fleetRecordName(name);
    const record = localStorage.getItem(key) ?? "";
    const list = session.openList(bytes, name, record, writerFor(key));
    if (!list.refusal) {
        Object.assign(fleet, { name, bytes, list, record, chosenSeen: localStorage.getItem(CHOSEN) });
        fleet.shownChosen = -1; // the chosen line goes to the main window
    }
    return list;
}

// A list file's bytes: refused as a whole with the engine's message (the list before stays), or
// taken with every line, the bad ones named. The work goes on at the first line not sent whole.
async function takeList(bytes, name) {
    if (session.sending()) return;
    const list = openList(bytes, name);
    if (list.refusal) return showMessage(list.refusal);
    let kept = "";
    try {
        localStorage.setItem(LIST, storedText(bytes));
        localStorage.setItem(NAME, name);
    } catch (e) {
        localStorage.removeItem(LIST);
        kept = `Die Liste lässt sich im Browser nicht behalten (${germanError(e)}); sie gilt, bis die Seite geschlossen wird.`;
    }
    session.choose(session.nextUnsentLine());
    showSession();
    setStatus(`Die Liste ${name} ist geladen.`);
    const said = [...list.notes, ...list.problems, kept].filter(Boolean);
    if (said.length) await showMessage(said.join("\n"));
    $("fleetLines").focus();
}

async function importList(file) {
    const limit = core.maxFleetListBytes();
    const bytes = await readBytes(file.size > limit ? file.slice(0, limit) : file);
    if (bytes) await takeList(bytes, file.name);
}

// The list as the storage keeps it, opened when the panel opens (a long list does not delay
// the start) or when another tab took another list.
function restoreList() {
    const stored = localStorage.getItem(LIST);
    if (stored !== null) {
        const list = openList(storedBytes(stored), localStorage.getItem(NAME) ?? "Liste.csv");
        if (!list.refusal) session.choose(Number(localStorage.getItem(CHOSEN) ?? -1));
    }
    showSession();
    if (!session.hasList()) showList();
}

// A list dropped on the page: the list opens with it.
export async function dropList(file) {
    openFleet();
    await importList(file);
}

export function openFleet() {
    if (!session.hasList()) restoreList();
    $("FRM_Fleet").hidden = false;
    (fleet.list ? $("fleetLines") : $("BTN_FleetImport")).focus();
}

// Runs work while this tab holds the send lock; when another tab holds it, says so and runs
// nothing. Without Web Locks (no secure context) there is no other tab to ask.
async function withSendLock(work) {
    if (!navigator.locks) return work();
    const done = await navigator.locks.request(LOCK, { ifAvailable: true }, async (lock) => (lock ? { result: await work() } : null));
    if (done) return done.result;
    await showMessage(OTHER_TAB_SENDS);
    return null;
}

// Before a step that writes the record: what the other tabs did. When that changed the line
// the dialog shows, it shows the new one and nothing goes out this time.
function followedAway() {
    followTabs();
    if (!showSession()) return false;
    const p = fleet.list?.pagers[session.chosen()];
    setStatus($("status").textContent, p ? `Ein anderer Tab hat die Liste weitergeführt: jetzt ${p.label} – ${p.calls}. Nichts gesendet.` : "");
    return true;
}

const afterBox = () => $("messageBox").open ? new Promise((r) => $("messageBox").addEventListener("close", r, { once: true })) : null;

// Why a send was broken off, as the record says it.
const outcomes = {
    sent: { end: "sent" },
    stopped: { end: "stopped", reason: "mit Stopp" },
    unavailable: { end: "broken", reason: "der Browser gibt keinen Ton aus" },
};

// One "OK und los !" under the lock: the question's text when the session asks, else null.
async function sendOnce(confirmed) {
    if (followedAway()) return null;
    const t0 = performance.now();
    const plan = session.planSend(expertValues(), deviceName(), now(), confirmed);
    stats.renderMs = performance.now() - t0;
    if (plan.step === "ask") return plan.text;
    if (plan.step === "refused") {
        await showMessage(plan.text);
        return null;
    }
    if (session.hasList()) showList(); // its start line
    const outcome = await playSend(plan.samples, plan.segments);
    const ended = outcome === "broken" ? { end: "broken", reason: brokenReason() } : outcomes[outcome];
    const lost = session.endSend(ended, now());
    const said = $("progStatus").textContent;
    if (showSession() && plan.line >= 0) {
        // The next line's tones are the dialog's now: the status says whose they are.
        const p = fleet.list.pagers[session.chosen()];
        setStatus($("status").textContent, `${said} Nächste Zeile: ${p.label} – ${p.calls}`);
    }
    if (session.listDone()) setStatus(`Die Liste ${fleet.name} ist durchgegangen.`);
    if (lost) {
        await afterBox();
        await showMessage(lost);
    }
    return null;
}

// "OK und los !": the session's send, after its question when it asks one. The question is
// asked without the lock; a yes counts for the tones it was asked for only.
let going = false;
export async function fleetGo() {
    if ($("BTN_Go").disabled || going || session.sending()) return;
    going = true;
    $("progress").value = 0; // at once: every send starts empty, the lock and the render take a while
    try {
        let confirmed = -1;
        for (;;) {
            const asked = await withSendLock(() => sendOnce(confirmed === session.tonesVersion()));
            if (!asked) return;
            confirmed = session.tonesVersion();
            if (!(await askQuestion(asked, "Trotzdem senden", "Nicht senden"))) return;
        }
    } finally {
        going = false;
    }
}

// A test call goes out on the same line: one tab at a time too.
export const withOneSender = (send) => () => (going || session.sending() ? null : withSendLock(send));

// "Überspringen": recorded as such; the next line is chosen.
async function skip() {
    if (session.chosen() < 0 || going) return;
    await withSendLock(async () => {
        if (followedAway()) return;
        const lost = session.skip(deviceName(), expertValues(), now());
        showSession();
        if (session.listDone()) setStatus(`Die Liste ${fleet.name} ist durchgegangen.`);
        if (lost) await showMessage(lost);
    });
    $("fleetLines").focus();
}

// Another tab wrote the storage: its list, its record and its line are this tab's too (after
// this tab's own send, which follows them when it ends).
function storageChanged(e) {
    if ($("FRM_Fleet").hidden || session.sending() || going) return;
    if (e.key === LIST || e.key === NAME) {
        if (e.key === NAME || !fleet.bytes || localStorage.getItem(LIST) !== storedText(fleet.bytes)) restoreList();
    } else if (session.hasList() && (e.key === CHOSEN || e.key === RECORD + recordName())) {
        followTabs();
        showSession();
    }
}

export function bindFleet() {
    session = new core.ProgSession();
    useProgram((chosen) => {
        const result = session.program(chosen);
        fleet.shownTones = session.tonesVersion(); // the dialog shows these
        return result;
    });
    window.addEventListener("storage", storageChanged);
    // The record's last whole send asks before the same addresses again, after a reload too.
    const name = localStorage.getItem(NAME);
    if (name !== null && localStorage.getItem(LIST) !== null) session.recordChanged(localStorage.getItem(RECORD + core.fleetRecordName(name)) ?? "");
    $("BTN_Fleet").addEventListener("click", openFleet);
    $("BTN_FleetClose").addEventListener("click", () => {
        if (session.sending()) return;
        session.closeList();
        Object.assign(fleet, { name: "", bytes: null, list: null });
        $("FRM_Fleet").hidden = true;
        $("BTN_Fleet").focus();
    });
    $("BTN_FleetImport").addEventListener("click", () => $("fleetInput").click());
    $("fleetInput").addEventListener("change", async (e) => {
        const [file] = e.target.files;
        e.target.value = "";
        if (file) await importList(file);
    });
    $("BTN_FleetNew").addEventListener("click", () => takeList(core.newFleetListText(settings()), "Liste.csv"));
    $("BTN_FleetExport").addEventListener("click", () => download(core.fleetListText(fleet.bytes, fleet.name), fleet.name, "text/csv"));
    $("BTN_FleetRecord").addEventListener("click", () =>
        download(new TextEncoder().encode(withBom(recordText() || core.fleetRecordHeader())), recordName(), "text/csv"));
    $("BTN_FleetSkip").addEventListener("click", skip);
    $("fleetLines").addEventListener("change", (e) => {
        const problem = session.choose(Number(e.target.value));
        showSession();
        if (problem) showMessage(problem);
    });
}
