// SPDX-License-Identifier: GPL-3.0-or-later
// The programming dialog and the sound: the engine's samples played through Web Audio, the
// tone being sent marked in the listing, the outcome of every send and test call shown.
import { SAMPLE_RATE, lineAt, timeline, toFloatSamples } from "./binding.mjs";
import { OnAdresseExit, addressEdit, settings } from "./controls.mjs";
import { $, core, germanError, setStatus, showMessage, stats } from "./ui.mjs";

let tones = null; // the 26 tones the dialog shows: the programming session's
// "Programmieren" goes through the programming session (useProgram).
let programTones = (chosen) => core.program(chosen);
export const useProgram = (program) => (programTones = program);
const sending = { ctx: null, source: null, timer: 0, stopped: false };
export const isSending = () => sending.source !== null;
// Why the last send broke off, as the record says it (the browser's stop, an underrun).
export const brokenReason = () => sending.reason || BROWSER_STOPPED;

// The sound card's failure line, as the engine words it for every front-end, ahead of the reason.
const soundFailed = (reason) => `${core.texts().soundCardUnavailable}\r\n${reason}`;
export const BROWSER_STOPPED = "der Browser hat die Tonausgabe angehalten";

export async function BTN_ProgClick() {
    OnAdresseExit();
    const chosen = settings();
    const result = programTones(chosen);
    if (result.message) return showMessage(result.message);
    SetProgTones(result.tones, result.listing);
    $("progress").value = 0;
    $("FRM_Prog").showModal();
    $("BTN_Go").focus();
}

export function SetProgTones(newTones, listing) {
    tones = newTones;
    const view = $("TXT_Daten");
    view.replaceChildren(...listing.map((line) => {
        const span = document.createElement("span");
        span.textContent = `${line}\n`;
        return span;
    }));
    view.scrollTop = 0;
    setStatus($("status").textContent, "");
}

export function expertValues() {
    const value = (id) => Number($(id).value);
    return { toneLength: value("BAR_Tonlen"), tonePause: value("BAR_TonPause"),
             blockPause: value("BAR_BlockPause"), amplitude: value("BAR_Amplitude") };
}

// Each slider's label, as the engine words it: "Tonlänge (100 ms)".
export function OnBarChange() {
    for (const bar of document.querySelectorAll('input[type="range"]'))
        bar.labels[0].textContent = core.expertLabel(bar.dataset.name, Number(bar.value));
}

// The sliders at the engine's ranges, at the given values where they are allowed ones.
export function buildSliders(values = {}) {
    const ranges = core.expertRanges();
    for (const bar of document.querySelectorAll('input[type="range"]')) {
        const range = ranges[bar.dataset.name];
        const wanted = values[bar.dataset.name];
        const allowed = Number.isInteger(wanted) && wanted >= range.minimum && wanted <= range.maximum &&
                        (wanted - range.minimum) % range.step === 0;
        Object.assign(bar, { min: range.minimum, max: range.maximum, step: range.step,
                             value: allowed ? wanted : range.initial });
        bar.addEventListener("input", OnBarChange);
    }
    OnBarChange();
}

function renderSamples() {
    const t0 = performance.now();
    const samples = core.render(tones, expertValues());
    stats.renderMs = performance.now() - t0;
    return samples;
}

// Marks the line being sent and scrolls only the listing to it: on a phone, scrolling the
// page would pull "Stopp" and the progress out of view.
function markLine(line) {
    const view = $("TXT_Daten");
    const spans = view.children;
    for (let i = 0; i < spans.length; ++i) spans[i].classList.toggle("sending", i === line);
    if (line < 0) return;
    const span = spans[line];
    const top = span.offsetTop - view.offsetTop;
    if (top < view.scrollTop) view.scrollTop = top;
    else if (top + span.offsetHeight > view.scrollTop + view.clientHeight)
        view.scrollTop = top + span.offsetHeight - view.clientHeight;
}

// During a send only "Stopp" works in the dialog: the sliders and the output choice would
// change nothing of the sound already rendered.
function sendingChanged(on) {
    $("BTN_Go").disabled = on;
    $("BTN_Stop").disabled = !on;
    $("GroupBox1").disabled = on;
    $("GroupBox2").disabled = on;
    for (const button of document.querySelectorAll(".call")) button.disabled = on;
    if (!on) markLine(-1);
}

// The browser's own count of the context's underruns, where it keeps one.
const underruns = (ctx) => {
    const s = ctx.playbackStats;
    return s && typeof s.underrunEvents === "number"
        ? { events: s.underrunEvents, seconds: s.underrunDuration || 0, total: s.totalDuration }
        : null;
};

// The browser renews its figures about once a second: the first renewal after the end covers
// all of the send. Resolves to the underruns since `before` (null: the browser has none).
async function underrunsSince(ctx, before) {
    if (!before) return null;
    const end = underruns(ctx);
    const deadline = performance.now() + 2500;
    let now = end;
    while (now && now.total === end.total && performance.now() < deadline) {
        await new Promise((r) => setTimeout(r, 50));
        now = underruns(ctx);
    }
    return now ? { events: now.events - before.events, seconds: now.seconds - before.seconds } : null;
}

// Plays samples; entries mark the listing. Ends by itself: "✔ Gesendet." when the browser
// reports no underrun during the sound, the broken send's message with its cause when it
// reports one, "✔ Abgespielt …" when it reports nothing; by Stop/Esc ("✘ Abgebrochen"), or as
// a failure when the browser suspends or interrupts the sound (a call, a locked screen).
// Resolves to the outcome: "sent" (played to its end without a reported break), "stopped",
// "broken", or "unavailable" when no sound could start.
async function play(samples, entries, what, failureText) {
    stats.clickAt = performance.now();
    $("progress").value = 0; // at once: the browser may take a while to start the sound
    const inDialog = entries !== null;
    const show = (text) => setStatus(what + text, inDialog ? text : null);
    let ctx = sending.ctx;
    try {
        // A context the browser closed takes no sound again: a new one for this send.
        if (!ctx || ctx.state === "closed") {
            ctx = new AudioContext({ sampleRate: SAMPLE_RATE, latencyHint: "playback" });
            const sink = localStorage.getItem("zuvela.sink");
            if (sink && ctx.setSinkId) await ctx.setSinkId(sink).catch(() => localStorage.removeItem("zuvela.sink"));
            sending.ctx = ctx;
        }
        // A page without an audio output may never start its context: wait two seconds at most.
        await Promise.race([ctx.resume(), new Promise((r) => setTimeout(r, 2000))]);
    } catch (e) {
        show(core.texts().statusNotSent);
        await showMessage(soundFailed(`Der Browser gibt keinen Ton aus (${germanError(e)}).`));
        return "unavailable";
    }
    if (ctx.state !== "running") {
        show(core.texts().statusNotSent);
        await showMessage(soundFailed("Der Browser gibt keinen Ton aus."));
        return "unavailable";
    }
    const buffer = ctx.createBuffer(1, samples.length, SAMPLE_RATE);
    buffer.copyToChannel(toFloatSamples(samples), 0);
    const source = ctx.createBufferSource();
    source.buffer = buffer;
    source.connect(ctx.destination);
    window.zuvelaLastBuffer = buffer; // the samples as the audio graph holds them, for the tests
    sending.source = source;
    sending.stopped = false;
    sendingChanged(true);
    show(core.texts().statusSending);
    if (inDialog) $("BTN_Stop").focus();
    const startAt = ctx.currentTime;
    const underrunsBefore = underruns(ctx);
    source.start(startAt);
    stats.firstSoundMs = performance.now() - stats.clickAt + (ctx.outputLatency || ctx.baseLatency || 0) * 1000;
    const tick = () => {
        const played = Math.floor((ctx.currentTime - startAt) * SAMPLE_RATE);
        $("progress").value = Math.min(1, played / samples.length);
        if (entries) markLine(lineAt(entries, played, "listingLine")); // as the dialog marks it
    };
    sending.timer = setInterval(tick, 50);
    return new Promise((resolve) => {
        // Once: at the natural end, at Stop/Esc, or when the browser stops the context (then
        // no "ended" may come until it runs again).
        let finished = false;
        const finish = async (failed) => {
            if (sending.source !== source || finished) return;
            finished = true;
            clearInterval(sending.timer);
            ctx.onstatechange = null;
            const stopped = sending.stopped;
            let reason = failureText;
            let cause = ""; // the record's reason where it is not the browser's stop
            let checked = false;
            // Still sending (controls locked) until the browser's figures are in.
            if (!failed && !stopped) {
                const gaps = await underrunsSince(ctx, underrunsBefore);
                checked = gaps !== null;
                if (gaps && gaps.events > 0) {
                    failed = true;
                    reason = underrunText(gaps);
                    cause = reason.slice(reason.indexOf("Ursache: ") + 9).replace(/\.$/, "");
                }
            }
            sending.source = null;
            const sent = !failed && !stopped;
            if (sent) $("progress").value = 1;
            sendingChanged(false);
            const t = core.texts();
            show(sent ? (checked ? t.statusSent : t.statusPlayed) : failed ? t.statusBroken : t.statusStopped);
            // The work goes on where it began: "OK und los !" in the dialog.
            if (inDialog && $("FRM_Prog").open) $("BTN_Go").focus();
            // Resolved before the box: the outcome is recorded now, not when the box is closed.
            sending.reason = cause;
            resolve(sent ? "sent" : failed ? "broken" : "stopped");
            if (failed) await showMessage(soundFailed(reason));
        };
        source.onended = () => finish(false);
        ctx.onstatechange = () => {
            if (ctx.state === "running") return;
            stopSound();
            finish(true);
        };
    });
}

// The broken send's message, as the desktop gives it for an underrun.
const underrunText = (gaps) =>
    "Die Übertragung wurde unterbrochen, der Empfänger ist nicht vollständig programmiert. Bitte erneut " +
    "senden.\r\nUrsache: Lücke in der Wiedergabe: dem Gerät ging der Ton aus (Unterlauf" +
    (gaps.seconds > 0 ? `, ${Math.round(gaps.seconds * 1000)} ms` : "") + ").";

export function stopSound() {
    if (!sending.source) return;
    sending.stopped = true;
    try {
        sending.source.stop(); // its "ended" finishes the send
    } catch {
        // already ended
    }
}

// "OK und los !" as the programming session planned it: its samples, its segments marking the
// listing. Resolves to the send's outcome (play's).
export function playSend(samples, segments) {
    return play(samples, timeline(segments), "", "Die Übertragung wurde abgebrochen, der Empfänger ist nicht " +
                                                 `vollständig programmiert (${BROWSER_STOPPED}).`);
}

export async function sendTestCall(n) {
    if (sending.source) return;
    OnAdresseExit();
    const result = core.testCall(addressEdit(n).value, settings(), expertValues().amplitude);
    if (result.message) return showMessage(result.message);
    await play(result.samples, null, `Testruf an Ruf ${n}: `, core.texts().testCallAborted.replace("%1", BROWSER_STOPPED));
}

export function saveWav(download) {
    download(core.waveFile(renderSamples()), "Programmierdaten.wav", "audio/wav");
}

// Output devices where the browser lets a page choose them; the choice is remembered. The list
// fills in the background: the page does not wait for the browser's device query.
export function offerOutputs() {
    const ctxProto = window.AudioContext && AudioContext.prototype;
    if (!ctxProto || !("setSinkId" in ctxProto) || !navigator.mediaDevices) return;
    $("sinkRow").hidden = false;
    const choice = $("sinkChoice");
    const fill = async () => {
        const devices = (await navigator.mediaDevices.enumerateDevices()).filter((d) => d.kind === "audiooutput" && d.deviceId && d.deviceId !== "default");
        choice.replaceChildren(new Option("Standard", ""), ...devices.map((d, i) => new Option(d.label || `Ausgang ${i + 1}`, d.deviceId)));
        choice.value = localStorage.getItem("zuvela.sink") || "";
    };
    choice.addEventListener("change", async () => {
        localStorage.setItem("zuvela.sink", choice.value);
        if (sending.ctx)
            await sending.ctx.setSinkId(choice.value).catch((e) => showMessage(soundFailed(`Der Ausgang lässt sich nicht wählen (${germanError(e)}).`)));
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
    fill().catch(() => {});
}
