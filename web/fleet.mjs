// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet list: pagers programmed one after another from a list file, each send recorded. The
// list's bytes and its record stay in the browser's storage; the engine reads and checks the
// list, writes it and the record's lines, and reads each pager's last result back. This file
// shows the list and follows the sends of the programming dialog.
import { applySettings, settings } from "./controls.mjs";
import { download, readBytes } from "./files.mjs";
import { BROWSER_STOPPED, BTN_GoClick, dialogSettings, expertValues } from "./sending.mjs";
import { $, askQuestion, core, germanError, setStatus, showMessage } from "./ui.mjs";

const LIST = "zuvela.fleet.list"; // the list file's bytes, one character a byte
const NAME = "zuvela.fleet.name";
const CHOSEN = "zuvela.fleet.chosen";
const RECORD = "zuvela.fleet.record:"; // followed by the record's name: its text

const fleet = { name: "", bytes: null, list: null, chosen: -1, lastSent: null };

function storedText(bytes) {
    let text = "";
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return text;
}
const storedBytes = (text) => Uint8Array.from(text, (c) => c.charCodeAt(0));

const recordName = () => core.fleetRecordName(fleet.name);
const recordText = () => localStorage.getItem(RECORD + recordName()) ?? "";
// The record's text with a new line; the engine writes the header for a new record.
const withLine = (line) => (recordText() || core.fleetRecordHeader()) + line;

// Each line as the list shows it, with the pager's last result from the record; a line that
// cannot be sent shows why and cannot be chosen.
function showList() {
    const last = core.fleetLastResults(recordText());
    $("fleetLines").replaceChildren(...(fleet.list?.pagers ?? []).map((p, i) => {
        const result = last[p.label];
        const text = p.ok ? `Zeile ${p.line}: ${[p.label, p.holder].filter(Boolean).join(" ")} – ${p.calls}` +
                            (result ? ` – ${result.text} (${result.time})` : "")
                          : p.message;
        const option = new Option(text, String(i));
        option.disabled = !p.ok;
        return option;
    }));
    $("fleetLines").value = String(fleet.chosen);
    $("fleetName").textContent = fleet.list ? `${fleet.name} (${fleet.list.encoding})` : "keine";
    for (const id of ["BTN_FleetExport", "BTN_FleetSkip", "BTN_FleetRecord"]) $(id).disabled = !fleet.list;
}

function choose(index, apply = true) {
    fleet.chosen = index;
    $("fleetLines").value = String(index);
    try {
        localStorage.setItem(CHOSEN, String(index));
    } catch {
        // only where the list stands after a reload
    }
    if (index >= 0 && apply) applySettings(fleet.list.pagers[index].settings);
}

const nextSendable = (from) => fleet.list.pagers.findIndex((p, i) => i >= from && p.ok);

// A list file's bytes: refused as a whole with the engine's message (the list before stays), or
// taken with every line, the bad ones named.
async function takeList(bytes, name) {
    const list = core.readFleetList(bytes, name);
    if (list.refusal) return showMessage(list.refusal);
    let kept = "";
    try {
        localStorage.setItem(LIST, storedText(bytes));
        localStorage.setItem(NAME, name);
    } catch (e) {
        localStorage.removeItem(LIST);
        kept = `Die Liste lässt sich im Browser nicht behalten (${germanError(e)}); sie gilt, bis die Seite geschlossen wird.`;
    }
    Object.assign(fleet, { name, bytes, list, lastSent: null });
    choose(nextSendable(0));
    showList();
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

// The list as it was, read when the panel first opens: a long list does not delay the start.
let restored = false;
function restoreFleet() {
    restored = true;
    const stored = localStorage.getItem(LIST);
    if (stored === null) return showList();
    const bytes = storedBytes(stored);
    const name = localStorage.getItem(NAME) ?? "Liste.csv";
    const list = core.readFleetList(bytes, name);
    const chosen = Number(localStorage.getItem(CHOSEN) ?? -1);
    if (!list.refusal) Object.assign(fleet, { name, bytes, list, chosen: list.pagers[chosen]?.ok ? chosen : -1 });
    showList();
}

// A list dropped on the page: the list opens with it.
export async function dropList(file) {
    openFleet();
    await importList(file);
}

export const fleetOpen = () => !$("FRM_Fleet").hidden;

export function openFleet() {
    if (!restored) restoreFleet();
    $("FRM_Fleet").hidden = false;
    (fleet.list ? $("fleetLines") : $("BTN_FleetImport")).focus();
}

// Writes a line to the record; when the browser keeps it not, the list stops with a message that
// holds the line, so that no send goes unrecorded.
function record(entry) {
    const line = core.fleetRecordLine(entry);
    try {
        localStorage.setItem(RECORD + recordName(), withLine(line));
    } catch (e) {
        choose(-1, false);
        showList();
        showMessage(core.fleetRecordLineLost(`"${recordName()}"`, germanError(e), line));
        return false;
    }
    showList();
    return true;
}

// The entry of the chosen line with what goes out: the settings of the dialog, the sliders, the
// output, now in the browser's time zone.
function entryFor(pager, sent) {
    const device = $("sinkRow").hidden ? "Standard" : $("sinkChoice").selectedOptions[0]?.text ?? "Standard";
    return { time: core.isoTime(Date.now(), -new Date().getTimezoneOffset()), label: pager.label, holder: pager.holder,
             settings: sent, device, expert: expertValues(), reason: "" };
}

// The record must take lines before anything is sent for the list.
function recordReady() {
    try {
        if (!recordText()) localStorage.setItem(RECORD + recordName(), core.fleetRecordHeader());
        return true;
    } catch (e) {
        showMessage(core.fleetRecordUnwritable(`"${recordName()}"`, germanError(e)));
        return false;
    }
}

// Why a send was broken off, as the record says it.
const reasons = { stopped: "mit Stopp", broken: BROWSER_STOPPED, unavailable: "der Browser gibt keinen Ton aus" };

// "OK und los !": while the list is open and a line chosen, the send is that line's. The same
// address as the send before asks first; the result is recorded, and after a send the next
// line is chosen.
export async function fleetGo() {
    if ($("BTN_Go").disabled) return;
    const pager = fleetOpen() && fleet.chosen >= 0 ? fleet.list.pagers[fleet.chosen] : null;
    if (!pager) return BTN_GoClick();
    const sent = dialogSettings();
    const question = fleet.lastSent ? core.fleetRepeatQuestion(fleet.lastSent.settings, fleet.lastSent.label, sent) : "";
    if (question && !(await askQuestion(question, "Trotzdem senden", "Nicht senden"))) return;
    if (!recordReady()) return;
    const entry = entryFor(pager, sent);
    const outcome = await BTN_GoClick();
    if (!record({ ...entry, result: outcome === "sent" ? "sent" : "aborted", reason: reasons[outcome] ?? "" })) return;
    if (outcome !== "sent") return;
    fleet.lastSent = { settings: sent, label: pager.label };
    const next = nextSendable(fleet.chosen + 1);
    choose(next);
    if (next < 0) setStatus(`Die Liste ${fleet.name} ist durchgegangen.`);
}

// "Überspringen": recorded as such; the next line is chosen.
function skip() {
    const pager = fleet.chosen >= 0 ? fleet.list.pagers[fleet.chosen] : null;
    if (!pager || !recordReady()) return;
    if (record({ ...entryFor(pager, pager.settings), result: "skipped" })) choose(nextSendable(fleet.chosen + 1));
    $("fleetLines").focus();
}

export function bindFleet() {
    $("BTN_Fleet").addEventListener("click", openFleet);
    $("BTN_FleetClose").addEventListener("click", () => {
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
        download(new TextEncoder().encode(recordText() || core.fleetRecordHeader()), recordName(), "text/csv"));
    $("BTN_FleetSkip").addEventListener("click", skip);
    $("fleetLines").addEventListener("change", (e) => choose(Number(e.target.value)));
}
