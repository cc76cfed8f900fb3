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
// ends in samples, with the listing line of the tone sounding (line, -1 for a pause) and the
// line the dialog marks (listingLine: a pause keeps the tone before it).
export function timeline(segments) {
    return segments.map((s) => ({ start: s.start, end: s.end, line: s.line, listingLine: s.listingLine }));
}

// The listing line (or the given field) at sample index; -1 after the end.
export function lineAt(entries, sample, field = "line") {
    let lo = 0;
    let hi = entries.length - 1;
    while (lo <= hi) {
        const mid = (lo + hi) >> 1;
        if (sample < entries[mid].start) hi = mid - 1;
        else if (sample >= entries[mid].end) lo = mid + 1;
        else return entries[mid][field];
    }
    return -1;
}
