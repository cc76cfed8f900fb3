// SPDX-License-Identifier: GPL-3.0-or-later
// A recording of a programming, from a WAV file or the microphone, read back to its settings.
import { applySettings } from "./controls.mjs";
import { $, core, germanError, setStatus, showMessage } from "./ui.mjs";

// The engine's result: its settings taken, its report (zuvela-cli's) shown, or its message.
function showDecoded(result) {
    if (result.message) return showMessage(result.message);
    applySettings(result.settings);
    $("decodeReport").textContent = result.report.trimEnd();
    $("decodeReport").hidden = false;
    setStatus("Die Aufnahme ist ausgewertet; ihre Einstellungen stehen oben.");
}

export async function decodeBytes(bytes) {
    return showDecoded(core.decode(bytes));
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
        return showDecoded(core.decodeSamples(all, rate));
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
