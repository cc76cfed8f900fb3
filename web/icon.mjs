// SPDX-License-Identifier: GPL-3.0-or-later
// The application icon (resources/icon.bmp, a palette bitmap) as the PNG sizes the web app
// manifest asks for, enlarged pixel by pixel. Usage: node icon.mjs ICON.bmp OUTDIR SIZE...
import { readFileSync, writeFileSync } from "node:fs";
import { deflateSync } from "node:zlib";

// Top-down RGBA pixels of an uncompressed 1-, 4- or 8-bit palette bitmap.
export function readBmp(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const offset = view.getUint32(10, true);
    const header = view.getUint32(14, true);
    const width = view.getInt32(18, true);
    const height = view.getInt32(22, true);
    const bits = view.getUint16(28, true);
    if (![1, 4, 8].includes(bits) || view.getUint32(30, true) !== 0) throw new Error("unsupported bitmap");
    const colours = view.getUint32(46, true) || 1 << bits;
    const palette = [];
    for (let i = 0; i < colours; ++i) {
        const at = 14 + header + 4 * i;
        palette.push([bytes[at + 2], bytes[at + 1], bytes[at], 255]);
    }
    const rowBytes = Math.ceil((width * bits) / 32) * 4;
    const rows = Math.abs(height);
    const pixels = new Uint8Array(width * rows * 4);
    for (let y = 0; y < rows; ++y) {
        const row = offset + rowBytes * (height > 0 ? rows - 1 - y : y);
        for (let x = 0; x < width; ++x) {
            const bit = x * bits;
            const index = (bytes[row + (bit >> 3)] >> (8 - bits - (bit & 7))) & ((1 << bits) - 1);
            pixels.set(palette[index], (y * width + x) * 4);
        }
    }
    return { width, height: rows, pixels };
}

const crcTable = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
});
function crc32(bytes) {
    let c = 0xffffffff;
    for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
    const out = Buffer.alloc(12 + data.length);
    out.writeUInt32BE(data.length, 0);
    out.write(type, 4, "latin1");
    data.copy(out, 8);
    out.writeUInt32BE(crc32(out.subarray(4, 8 + data.length)), 8 + data.length);
    return out;
}

// The picture enlarged or reduced pixel by pixel to size × size, as RGBA rows.
function scale({ width, height, pixels }, size) {
    const out = new Uint8Array(size * size * 4);
    for (let y = 0; y < size; ++y)
        for (let x = 0; x < size; ++x) {
            const from = (Math.floor((y * height) / size) * width + Math.floor((x * width) / size)) * 4;
            out.set(pixels.subarray(from, from + 4), (y * size + x) * 4);
        }
    return out;
}

export function pngOf(image, size) {
    const pixels = scale(image, size);
    const raw = Buffer.alloc(size * (size * 4 + 1));
    for (let y = 0; y < size; ++y) raw.set(pixels.subarray(y * size * 4, (y + 1) * size * 4), y * (size * 4 + 1) + 1);
    const ihdr = Buffer.alloc(13);
    ihdr.writeUInt32BE(size, 0);
    ihdr.writeUInt32BE(size, 4);
    ihdr.set([8, 6, 0, 0, 0], 8); // 8 bits, RGBA
    return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk("IHDR", ihdr),
                          chunk("IDAT", deflateSync(raw)), chunk("IEND", Buffer.alloc(0))]);
}

// The icon for launchers that cut it to a circle or a rounded square: the picture in the middle
// (within the safe circle of 80 %) on a square of its own corner colour.
export function maskableOf(image, size) {
    const inner = Math.round(size * 0.56);
    const canvas = { width: size, height: size, pixels: new Uint8Array(size * size * 4) };
    const scaled = scale(image, inner);
    for (let i = 0; i < size * size; ++i) canvas.pixels.set(image.pixels.subarray(0, 4), i * 4);
    const at = (size - inner) >> 1;
    for (let y = 0; y < inner; ++y)
        canvas.pixels.set(scaled.subarray(y * inner * 4, (y + 1) * inner * 4), ((y + at) * size + at) * 4);
    return pngOf(canvas, size);
}

if (process.argv[1] && import.meta.url.endsWith(process.argv[1].split("/").pop())) {
    const [icon, dir, ...sizes] = process.argv.slice(2);
    const image = readBmp(new Uint8Array(readFileSync(icon)));
    for (const size of sizes) {
        const maskable = size.startsWith("maskable-");
        const pixels = Number(size.replace("maskable-", ""));
        writeFileSync(`${dir}/icon-${size}.png`, maskable ? maskableOf(image, pixels) : pngOf(image, pixels));
    }
}
