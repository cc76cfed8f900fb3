// SPDX-License-Identifier: GPL-3.0-or-later
// Programming-data files and recordings: opened, dropped, handed over by the system, saved.
// The engine judges every file; a refused one changes nothing.
import { OnAdresseExit, addressEdit, applySettings, settings } from "./controls.mjs";
import { decodeBytes } from "./decoding.mjs";
import { $, core, germanError, showMessage } from "./ui.mjs";

let openHandle = null; // the file last opened through File System Access
let lastFileName = "";

const fileTypes = [{ description: "KV 740 Programmierdaten (*.740)", accept: { "application/octet-stream": [".740"] } }];

async function loadBytes(bytes, name) {
    OnAdresseExit();
    const result = core.loadProfile(bytes, settings(), name);
    if (result.refusal) return showMessage(result.refusal);
    applySettings(result.settings);
    lastFileName = name;
    if (result.message) await showMessage(result.message);
    else addressEdit(1).focus();
}

// A file's bytes, or nothing after saying why it cannot be read.
export async function readBytes(file) {
    try {
        return new Uint8Array(await file.arrayBuffer());
    } catch (e) {
        await showMessage(`Die Datei ${file.name} kann nicht gelesen werden (${germanError(e)}).`);
        return null;
    }
}

// Enough of a file for the engine to judge it: one byte beyond the limit tells it is too large.
async function profileBytesOf(file) {
    return readBytes(file.size > core.maxProfileBytes() ? file.slice(0, core.maxProfileBytes()) : file);
}

// While the programming dialog is open, its listing shows the settings it was opened with: a
// file must not change them behind it.
async function refusedDuringDialog(file) {
    if (!$("FRM_Prog").open) return false;
    await showMessage(`Die Datei ${file.name} wird nicht geladen, solange das Fenster "Programmierdaten" offen ist. ` +
                      "Erst das Fenster schließen, dann die Datei laden.");
    return true;
}

// A dropped or chosen file: a recording is read back, anything else loaded as programming data.
export async function dropped(file, handle = null) {
    if (await refusedDuringDialog(file)) return;
    const head = await readBytes(file.slice(0, 12));
    if (!head) return;
    const isWav = head.length >= 12 && String.fromCharCode(...head.slice(0, 4)) === "RIFF";
    if (isWav || /\.wav$/i.test(file.name)) {
        const bytes = await readBytes(file);
        return bytes && decodeBytes(bytes);
    }
    const bytes = await profileBytesOf(file);
    if (!bytes) return;
    openHandle = handle;
    return loadBytes(bytes, file.name);
}

export async function openFile() {
    OnAdresseExit();
    if (!window.showOpenFilePicker) return $("DLG_Open").click();
    let handle;
    try {
        [handle] = await window.showOpenFilePicker({ types: fileTypes });
    } catch {
        return; // cancelled
    }
    await dropped(await handle.getFile(), handle);
}

export async function saveFile() {
    OnAdresseExit();
    const s = settings();
    const message = core.checkAddresses(s);
    if (message) return showMessage(message);
    const bytes = core.profileBytes(s);
    const name = core.fileName(lastFileName || "Programmierdaten");
    if (!window.showSaveFilePicker) {
        download(bytes, name, "application/octet-stream");
        lastFileName = name;
        return;
    }
    let handle;
    try {
        handle = await window.showSaveFilePicker({ suggestedName: name, types: fileTypes, startIn: openHandle ?? "documents" });
    } catch {
        return;
    }
    try {
        const writable = await handle.createWritable();
        await writable.write(bytes);
        await writable.close();
        lastFileName = handle.name;
    } catch {
        await showMessage(`Unable to write to ${handle.name}.`);
    }
}

export function download(bytes, name, type) {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([bytes], { type }));
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

// Files the system hands to the installed page (".740" opened in the file manager).
export function acceptLaunchedFiles() {
    if (!("launchQueue" in window)) return;
    window.launchQueue.setConsumer(async (params) => {
        const [handle] = params.files ?? [];
        if (handle) await dropped(await handle.getFile(), handle);
    });
}
