// SPDX-License-Identifier: GPL-3.0-or-later
// The page: reads its controls, calls the engine (core/ as WebAssembly), writes the result
// back, and plays the engine's samples through Web Audio.
import { SAMPLE_RATE, floatWav, lineAt, timeline, toFloatSamples } from "./binding.mjs";

const $ = (id) => document.getElementById(id);
const stats = { start: performance.now() }; // figures the tests read
window.zuvelaStats = stats;

let core;
let tones = null; // the dialog's copy of the 26 tones
let openHandle = null; // the file last opened through File System Access
let lastFileName = "";
const sending = { ctx: null, source: null, timer: 0 };

// ---- message box -----------------------------------------------------------------------

function showMessage(text) {
    return new Promise((resolve) => {
        const box = $("messageBox");
        $("messageText").textContent = text.replace(/\r\n/g, "\n");
        box.addEventListener("close", () => resolve(), { once: true });
        box.showModal();
        $("messageOk").focus();
    });
}

// ---- the main window's controls ---------------------------------------------------------

const checkedValue = (name) => Number(document.querySelector(`input[name="${name}"]:checked`).value);
const addressBox = (n) => $(`CHK_Adresse_0${n}`);
const addressEdit = (n) => $(`TXT_Adresse_0${n}`);

function settings() {
    return {
        tonsys: checkedValue("tonsys"),
        toneLen: checkedValue("toneLen"),
        evaluator: checkedValue("evaluator"),
        switchMode: checkedValue("switchMode"),
        addresses: [1, 2, 3, 4].map((n) => ({ checked: addressBox(n).checked, text: addressEdit(n).value })),
    };
}

// The tone-length option follows the tone system: only its one option is enabled and checked.
function OnTonsystemChange() {
    const system = core.toneSystems()[checkedValue("tonsys") - 1];
    for (let n = 1; n <= 3; ++n) {
        const option = $(`OPT_Tonlen_0${n}`);
        option.disabled = n !== system.toneLengthButton;
        option.checked = n === system.toneLengthButton;
    }
}

// The evaluator sets the address length: typing is limited to it and longer texts are cut.
function OnAuswertClick() {
    const evaluator = checkedValue("evaluator");
    for (let n = 1; n <= 4; ++n) {
        addressEdit(n).maxLength = core.addressLength(evaluator);
        addressEdit(n).value = core.cutAddress(addressEdit(n).value, evaluator);
    }
}

// Leaving any address field completes all four: a repeated character becomes 'R'.
function OnAdresseExit() {
    const evaluator = checkedValue("evaluator");
    for (let n = 1; n <= 4; ++n) addressEdit(n).value = core.normaliseRepeats(addressEdit(n).value, evaluator);
}

// The key filter: each typed or pasted character goes through the engine's filter.
function filtered(text, room) {
    let kept = "";
    for (const c of text) {
        const key = core.filterKey(c.codePointAt(0));
        if (key !== 0 && key !== 8 && kept.length < room) kept += String.fromCodePoint(key);
    }
    return kept;
}

function OnAdresseEdit(event) {
    const edit = event.target;
    edit.dataset.before = edit.value;
    // Text composed by a phone's keyboard cannot be refused here; OnAdresseInput filters it.
    if (!event.inputType.startsWith("insert") || event.data === null || !event.cancelable) return;
    event.preventDefault();
    const room = edit.maxLength - (edit.value.length - (edit.selectionEnd - edit.selectionStart));
    const kept = filtered(event.data, room);
    if (kept) edit.setRangeText(kept, edit.selectionStart, edit.selectionEnd, "end");
}

// Filters what arrived without a cancellable key: the part between the unchanged start and end.
function OnAdresseInput(event) {
    const edit = event.target;
    const before = edit.dataset.before ?? "";
    const after = edit.value;
    if (!event.inputType?.startsWith("insert") || after === before) return;
    let head = 0;
    while (head < before.length && head < after.length && before[head] === after[head]) ++head;
    let tail = 0;
    while (tail < before.length - head && tail < after.length - head &&
           before[before.length - 1 - tail] === after[after.length - 1 - tail]) ++tail;
    const room = edit.maxLength - (head + tail);
    const value = after.slice(0, head) + filtered(after.slice(head, after.length - tail), room) + after.slice(after.length - tail);
    if (value !== after) {
        edit.value = value;
        edit.setSelectionRange(value.length - tail, value.length - tail);
    }
    edit.dataset.before = edit.value;
}

function applySettings(s) {
    const select = (name, value) => {
        const option = document.querySelector(`input[name="${name}"][value="${value}"]`);
        if (option) option.checked = true;
    };
    select("tonsys", s.tonsys);
    OnTonsystemChange();
    select("toneLen", s.toneLen);
    select("evaluator", s.evaluator);
    for (let n = 1; n <= 4; ++n) {
        addressEdit(n).maxLength = core.addressLength(s.evaluator);
        addressBox(n).checked = s.addresses[n - 1].checked;
        addressEdit(n).value = s.addresses[n - 1].text;
    }
    select("switchMode", s.switchMode);
}

function buildControls() {
    const systems = $("FRA_System");
    core.toneSystems().forEach((system, i) => {
        const label = document.createElement("label");
        label.innerHTML = `<input type="radio" name="tonsys" value="${i + 1}" id="OPT_Tonsys_0${i + 1}"> `;
        label.append(system.caption);
        systems.append(label);
    });
    $("OPT_Tonsys_01").checked = true;
    const start = core.startSettings();
    const addresses = $("FRA_Adressen");
    for (let n = 1; n <= 4; ++n) {
        const row = document.createElement("div");
        row.className = "address";
        row.innerHTML =
            `<input type="checkbox" id="CHK_Adresse_0${n}"><label for="CHK_Adresse_0${n}">Ruf ${n}</label>` +
            `<input type="text" id="TXT_Adresse_0${n}" aria-label="Rufadresse ${n}" inputmode="numeric" ` +
            `autocomplete="off" spellcheck="false" autocapitalize="characters">` +
            `<button type="button" class="call" id="BTN_Call_0${n}" aria-label="Testruf an Ruf ${n} senden">Testruf</button>`;
        addresses.append(row);
    }
    applySettings(start);

    const ranges = core.expertRanges();
    for (const bar of document.querySelectorAll('input[type="range"]')) {
        const range = ranges[bar.dataset.name];
        Object.assign(bar, { min: range.minimum, max: range.maximum, step: range.step, value: range.initial });
        bar.addEventListener("input", OnBarChange);
    }
    OnBarChange();
}

// ---- files -------------------------------------------------------------------------------

const fileTypes = [{ description: "KV 740 Programmierdaten (*.740)", accept: { "application/octet-stream": [".740"] } }];

// What is no programming data is refused with the window's message and changes nothing.
async function loadBytes(bytes, name) {
    OnAdresseExit();
    const result = core.loadProfile(bytes, settings(), name);
    if (result.refusal) return showMessage(result.refusal);
    applySettings(result.settings);
    lastFileName = name;
    if (result.message) await showMessage(result.message);
    else addressEdit(1).focus();
}

async function openFile() {
    OnAdresseExit();
    if (window.showOpenFilePicker) {
        let handle;
        try {
            [handle] = await window.showOpenFilePicker({ types: fileTypes });
        } catch {
            return; // cancelled
        }
        const file = await handle.getFile();
        openHandle = handle;
        const bytes = await profileBytesOf(file);
        if (bytes) await loadBytes(bytes, file.name);
    } else {
        $("DLG_Open").click();
    }
}

async function saveFile() {
    OnAdresseExit();
    const s = settings();
    const message = core.checkAddresses(s);
    if (message) return showMessage(message);
    const bytes = core.profileBytes(s);
    const name = core.fileName(lastFileName || "Programmierdaten");
    if (window.showSaveFilePicker) {
        let handle;
        try {
            handle = await window.showSaveFilePicker({ suggestedName: name, types: fileTypes,
                                                       startIn: openHandle ?? "documents" });
        } catch {
            return;
        }
        try {
            const writable = await handle.createWritable();
            await writable.write(bytes);
            await writable.close();
            lastFileName = handle.name;
        } catch (e) {
            await showMessage(`Unable to write to ${handle.name}.`);
        }
    } else {
        download(bytes, name, "application/octet-stream");
        lastFileName = name;
    }
}

function download(bytes, name, type) {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([bytes], { type }));
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

// ---- programming ---------------------------------------------------------------------

async function BTN_ProgClick() {
    OnAdresseExit();
    const result = core.program(settings());
    if (result.message) return showMessage(result.message);
    SetProgTones(result.tones, result.listing);
    $("FRM_Prog").showModal();
    $("BTN_Go").focus();
}

function SetProgTones(newTones, listing) {
    tones = newTones;
    const view = $("TXT_Daten");
    view.replaceChildren(...listing.map((line) => {
        const span = document.createElement("span");
        span.textContent = `${line}\n`;
        return span;
    }));
}

function expertValues() {
    const value = (id) => Number($(id).value);
    return { toneLength: value("BAR_Tonlen"), tonePause: value("BAR_TonPause"),
             blockPause: value("BAR_BlockPause"), amplitude: value("BAR_Amplitude") };
}

// Each slider's label, as the engine words it: "Tonlänge (100 ms)".
function OnBarChange() {
    for (const bar of document.querySelectorAll('input[type="range"]'))
        bar.labels[0].textContent = core.expertLabel(bar.dataset.name, Number(bar.value));
}

function renderSamples() {
    const t0 = performance.now();
    const samples = core.render(tones, expertValues());
    stats.renderMs = performance.now() - t0;
    return samples;
}

function markLine(line) {
    const spans = $("TXT_Daten").children;
    for (let i = 0; i < spans.length; ++i) spans[i].classList.toggle("sending", i === line);
    if (line >= 0) spans[line].scrollIntoView({ block: "nearest" });
}

const SOUND_FAILED = "Die Soundkarte steht nicht zur Verfügung!\r\n";

function sendingChanged(on) {
    $("BTN_Go").disabled = on;
    $("BTN_Stop").disabled = !on;
    for (const button of document.querySelectorAll(".call")) button.disabled = on;
    if (!on) markLine(-1);
}

// Plays samples; entries mark the listing. Ends by itself, by Stop/Esc, or as a failure when
// the browser suspends or interrupts the sound (a call, a locked screen).
async function play(samples, entries, failureText) {
    stats.clickAt = performance.now();
    let ctx = sending.ctx;
    try {
        if (!ctx) {
            ctx = new AudioContext({ sampleRate: SAMPLE_RATE, latencyHint: "playback" });
            const sink = localStorage.getItem("zuvela.sink");
            if (sink && ctx.setSinkId) await ctx.setSinkId(sink).catch(() => localStorage.removeItem("zuvela.sink"));
            sending.ctx = ctx;
        }
        // A page without an audio output may never start its context: wait two seconds at most.
        await Promise.race([ctx.resume(), new Promise((r) => setTimeout(r, 2000))]);
    } catch (e) {
        return showMessage(`${SOUND_FAILED}Der Browser gibt keinen Ton aus (${e.message}).`);
    }
    if (ctx.state !== "running") return showMessage(`${SOUND_FAILED}Der Browser gibt keinen Ton aus.`);
    const buffer = ctx.createBuffer(1, samples.length, SAMPLE_RATE);
    buffer.copyToChannel(toFloatSamples(samples), 0);
    const source = ctx.createBufferSource();
    source.buffer = buffer;
    source.connect(ctx.destination);
    window.zuvelaLastBuffer = buffer; // the samples as the audio graph holds them, for the tests
    sending.source = source;
    sendingChanged(true);
    const startAt = ctx.currentTime;
    source.start(startAt);
    stats.firstSoundMs = performance.now() - stats.clickAt + (ctx.outputLatency || ctx.baseLatency || 0) * 1000;
    const tick = () => {
        const played = Math.floor((ctx.currentTime - startAt) * SAMPLE_RATE);
        $("progress").value = Math.min(1, played / samples.length);
        if (entries) markLine(lineAt(entries, played));
    };
    sending.timer = setInterval(tick, 50);
    return new Promise((resolve) => {
        // Once: at the natural end, at Stop/Esc, or when the browser stops the context (then
        // no "ended" may come until it runs again).
        const finish = async (failed) => {
            if (sending.source !== source) return;
            clearInterval(sending.timer);
            sending.source = null;
            ctx.onstatechange = null;
            if (!failed) $("progress").value = 1;
            sendingChanged(false);
            if (failed) await showMessage(SOUND_FAILED + failureText);
            resolve(!failed);
        };
        source.onended = () => finish(false);
        ctx.onstatechange = () => {
            if (ctx.state === "running") return;
            stopSound();
            finish(true);
        };
    });
}

function stopSound() {
    if (!sending.source) return;
    try {
        sending.source.stop(); // its "ended" finishes the send
    } catch {
        // already ended
    }
}

async function BTN_GoClick() {
    if (sending.source) return;
    const samples = renderSamples();
    const entries = timeline(core.segments(tones, expertValues()));
    await play(samples, entries, "Die Übertragung wurde abgebrochen, der Empfänger ist nicht vollständig " +
                                 "programmiert (der Browser hat die Tonausgabe angehalten).");
}

async function sendTestCall(n) {
    if (sending.source) return;
    OnAdresseExit();
    const result = core.testCall(addressEdit(n).value, settings(), expertValues().amplitude);
    if (result.message) return showMessage(result.message);
    await play(result.samples, null, "Der Testruf wurde abgebrochen (der Browser hat die Tonausgabe angehalten).");
}

function saveWav() {
    download(core.waveFile(renderSamples()), "Programmierdaten.wav", "audio/wav");
}

// Output devices where the browser lets a page choose them; the choice is remembered.
async function offerOutputs() {
    const ctxProto = window.AudioContext && AudioContext.prototype;
    if (!ctxProto || !("setSinkId" in ctxProto) || !navigator.mediaDevices) return;
    $("sinkRow").hidden = false;
    const choice = $("sinkChoice");
    const fill = async () => {
        const devices = (await navigator.mediaDevices.enumerateDevices()).filter((d) => d.kind === "audiooutput" && d.deviceId && d.deviceId !== "default");
        choice.replaceChildren(new Option("Standard", ""), ...devices.map((d, i) => new Option(d.label || `Ausgang ${i + 1}`, d.deviceId)));
        choice.value = localStorage.getItem("zuvela.sink") || "";
    };
    await fill().catch(() => {});
    choice.addEventListener("change", async () => {
        localStorage.setItem("zuvela.sink", choice.value);
        if (sending.ctx) await sending.ctx.setSinkId(choice.value).catch((e) => showMessage(`${SOUND_FAILED}${e.message}`));
    });
    if (navigator.mediaDevices.selectAudioOutput) {
        $("BTN_Sink").hidden = false;
        $("BTN_Sink").addEventListener("click", async () => {
            const device = await navigator.mediaDevices.selectAudioOutput().catch(() => null);
            if (!device) return;
            localStorage.setItem("zuvela.sink", device.deviceId);
            await fill().catch(() => {});
        });
    }
}

// ---- decoding a recording ---------------------------------------------------------------

async function decodeBytes(bytes) {
    const result = core.decode(bytes);
    if (result.message) return showMessage(result.message);
    applySettings(result.settings);
    const ms = (v) => Math.round(v);
    const report = [...result.listing, "",
        `Gemessen: Tonlänge ${ms(result.toneLength)} ms, Tonpause ${ms(result.tonePause)} ms, Blockpause ${ms(result.blockPause)} ms`,
        ...result.notes.map((note) => `Hinweis: ${note}`)];
    $("decodeReport").textContent = report.join("\n");
    $("decodeReport").hidden = false;
    $("status").textContent = "Die Aufnahme ist ausgewertet; ihre Einstellungen stehen oben.";
}

const recording = { stream: null, node: null, chunks: [], ctx: null };

async function toggleMicrophone() {
    const button = $("BTN_Mic");
    if (recording.stream) {
        recording.stream.getTracks().forEach((t) => t.stop());
        recording.node.disconnect();
        const rate = recording.ctx.sampleRate;
        await recording.ctx.close();
        recording.stream = null;
        button.textContent = "Über das Mikrofon aufnehmen";
        const all = new Float32Array(recording.chunks.reduce((n, c) => n + c.length, 0));
        let at = 0;
        for (const c of recording.chunks) all.set(c, (at += c.length) - c.length);
        return decodeBytes(floatWav(all, rate));
    }
    try {
        recording.stream = await navigator.mediaDevices.getUserMedia({ audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false } });
    } catch (e) {
        return showMessage(`Das Mikrofon steht nicht zur Verfügung (${e.message}).`);
    }
    recording.ctx = new AudioContext();
    recording.chunks = [];
    const input = recording.ctx.createMediaStreamSource(recording.stream);
    recording.node = recording.ctx.createScriptProcessor(4096, 1, 1);
    recording.node.onaudioprocess = (e) => recording.chunks.push(new Float32Array(e.inputBuffer.getChannelData(0)));
    input.connect(recording.node);
    recording.node.connect(recording.ctx.destination);
    button.textContent = "Aufnahme beenden und auswerten";
}

// ---- wiring --------------------------------------------------------------------------------

// A file's bytes, or nothing after saying why it cannot be read.
async function readBytes(file) {
    try {
        return new Uint8Array(await file.arrayBuffer());
    } catch (e) {
        await showMessage(`Die Datei ${file.name} kann nicht gelesen werden (${e.message}).`);
        return null;
    }
}

// Enough of a file for the engine to judge it: one byte beyond the limit tells it is too large.
async function profileBytesOf(file) {
    return readBytes(file.size > core.maxProfileBytes() ? file.slice(0, core.maxProfileBytes()) : file);
}

async function dropped(file) {
    const head = await readBytes(file.slice(0, 12));
    if (!head) return;
    const isWav = head.length >= 12 && String.fromCharCode(...head.slice(0, 4)) === "RIFF";
    if (isWav || /\.wav$/i.test(file.name)) {
        const bytes = await readBytes(file);
        return bytes && decodeBytes(bytes);
    }
    const bytes = await profileBytesOf(file);
    if (!bytes) return;
    openHandle = null;
    return loadBytes(bytes, file.name);
}

function bindEvents() {
    $("FRA_System").addEventListener("change", OnTonsystemChange);
    $("FRA_Auswerter").addEventListener("change", OnAuswertClick);
    for (let n = 1; n <= 4; ++n) {
        addressEdit(n).addEventListener("beforeinput", OnAdresseEdit);
        addressEdit(n).addEventListener("input", OnAdresseInput);
        addressEdit(n).addEventListener("blur", OnAdresseExit);
        $(`BTN_Call_0${n}`).addEventListener("click", () => sendTestCall(n));
    }
    $("settings").addEventListener("submit", (e) => e.preventDefault());
    $("BTN_Prog").addEventListener("click", BTN_ProgClick);
    $("BTN_Open").addEventListener("click", openFile);
    $("BTN_Save").addEventListener("click", saveFile);
    $("DLG_Open").addEventListener("change", async (e) => {
        const [file] = e.target.files;
        e.target.value = "";
        if (file) await dropped(file);
    });
    $("wavInput").addEventListener("change", async (e) => {
        const [file] = e.target.files;
        e.target.value = "";
        const bytes = file && (await readBytes(file));
        if (bytes) await decodeBytes(bytes);
    });
    $("BTN_Mic").addEventListener("click", toggleMicrophone);
    if (!navigator.mediaDevices?.getUserMedia) $("BTN_Mic").hidden = true;
    $("BTN_Go").addEventListener("click", BTN_GoClick);
    $("BTN_Stop").addEventListener("click", stopSound);
    $("BTN_Wav").addEventListener("click", saveWav);
    $("BTN_Close").addEventListener("click", () => $("FRM_Prog").close());
    // Esc stops a send first; only without one does it close the dialog.
    $("FRM_Prog").addEventListener("cancel", (e) => {
        if (sending.source) {
            e.preventDefault();
            stopSound();
        }
    });
    $("FRM_Prog").addEventListener("close", stopSound);
    document.addEventListener("keydown", (e) => {
        if (e.key === "Escape" && sending.source) stopSound();
    });
    document.addEventListener("dragover", (e) => {
        e.preventDefault();
        $("dropHint").hidden = false;
    });
    document.addEventListener("dragleave", () => ($("dropHint").hidden = true));
    document.addEventListener("drop", async (e) => {
        e.preventDefault();
        $("dropHint").hidden = true;
        const [file] = e.dataTransfer.files;
        if (file) await dropped(file);
    });
}

async function start() {
    try {
        core = await window.ZuvelaCore();
    } catch (e) {
        $("status").textContent = `Die Seite kann nicht starten: ${e.message}`;
        return;
    }
    buildControls();
    bindEvents();
    await offerOutputs();
    $("status").textContent = "Bereit.";
    stats.interactiveMs = performance.now();
    document.body.dataset.ready = "true";
    if ("serviceWorker" in navigator) navigator.serviceWorker.register("sw.js").catch(() => {});
}

if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", start);
else start();
