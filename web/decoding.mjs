// SPDX-License-Identifier: GPL-3.0-or-later
// A recording of a programming, from a WAV file or the microphone, read back to its settings.
import { floatWav } from "./binding.mjs";
import { applySettings } from "./controls.mjs";
import { $, core, germanError, setStatus, showMessage } from "./ui.mjs";

export async function decodeBytes(bytes) {
    const result = core.decode(bytes);
    if (result.message) return showMessage(result.message);
    applySettings(result.settings);
    const ms = (v) => Math.round(v);
    const report = [...result.listing, "",
        `Gemessen: Tonlänge ${ms(result.toneLength)} ms, Tonpause ${ms(result.tonePause)} ms, Blockpause ${ms(result.blockPause)} ms`,
        ...result.notes.map((note) => `Hinweis: ${note}`)];
    $("decodeReport").textContent = report.join("\n");
    $("decodeReport").hidden = false;
    setStatus("Die Aufnahme ist ausgewertet; ihre Einstellungen stehen oben.");
}

const recording = { stream: null, node: null, chunks: [], ctx: null };

export async function toggleMicrophone() {
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
        return showMessage(`Das Mikrofon steht nicht zur Verfügung (${germanError(e)}).`);
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
