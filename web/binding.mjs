// SPDX-License-Identifier: GPL-3.0-or-later
// What the page needs beside the engine and the page itself: no DOM here, so that Node's
// tests run it as the browser does.

export const SAMPLE_RATE = 22050;

// Web Audio takes floats: the engine's unsigned 8-bit sample s becomes (s - 128) / 128, as a
// sound card plays 8-bit PCM. Each value is exact in 32 bits, so the bytes can be read back.
export function toFloatSamples(bytes) {
    const out = new Float32Array(bytes.length);
    for (let i = 0; i < bytes.length; ++i) out[i] = (bytes[i] - 128) / 128;
    return out;
}

export function toByteSamples(floats) {
    const out = new Uint8Array(floats.length);
    for (let i = 0; i < floats.length; ++i) out[i] = Math.round(floats[i] * 128 + 128);
    return out;
}

// The engine's timeline (core.segments) as the page follows it: where each segment starts and
// ends in samples, with the listing line of the tone sounding (-1 for a pause).
export function timeline(segments) {
    return segments.map((s) => ({ start: s.start, end: s.end, line: s.line }));
}

// The listing line sounding at sample index, or -1 between tones and after the end.
export function lineAt(entries, sample) {
    let lo = 0;
    let hi = entries.length - 1;
    while (lo <= hi) {
        const mid = (lo + hi) >> 1;
        if (sample < entries[mid].start) hi = mid - 1;
        else if (sample >= entries[mid].end) lo = mid + 1;
        else return entries[mid].line;
    }
    return -1;
}

// A recording from the microphone as a WAV file of 32-bit floats, for the engine's reader.
// core.decodeSamples reads the same floats without a file; this stays for the page's callers.
export function floatWav(samples, rate) {
    const data = samples.length * 4;
    const bytes = new Uint8Array(44 + data);
    const view = new DataView(bytes.buffer);
    const text = (offset, s) => [...s].forEach((c, i) => view.setUint8(offset + i, c.charCodeAt(0)));
    text(0, "RIFF");
    view.setUint32(4, 36 + data, true);
    text(8, "WAVE");
    text(12, "fmt ");
    view.setUint32(16, 16, true);
    view.setUint16(20, 3, true); // IEEE float
    view.setUint16(22, 1, true);
    view.setUint32(24, rate, true);
    view.setUint32(28, rate * 4, true);
    view.setUint16(32, 4, true);
    view.setUint16(34, 32, true);
    text(36, "data");
    view.setUint32(40, data, true);
    samples.forEach((v, i) => view.setFloat32(44 + 4 * i, v, true));
    return bytes;
}
