// SPDX-License-Identifier: GPL-3.0-or-later
// The page's binding under Node's test runner: the engine as WebAssembly, with the helpers of
// binding.mjs, against zuvela-cli (the desktop's engine built natively) as the oracle.
import assert from "node:assert/strict";
import { readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { before, test } from "node:test";
import { cli, cliOptions, fastest, fourAddresses, fourCompleted, initial, loadCore, site, slowest, tempDir } from "./support.mjs";

const { lineAt, timeline, toByteSamples, toFloatSamples } = await import(join(site, "binding.mjs"));
let core;
before(async () => {
    core = await loadCore();
});

const withAddresses = (base, texts) => ({
    ...base, addresses: texts.map((text) => ({ checked: text !== null, text: text ?? "" })),
});
const start = () => core.startSettings();

test("the listing and its messages are those of zuvela-cli for every tone system", () => {
    const rows = [];
    for (let tonsys = 1; tonsys <= 7; ++tonsys)
        rows.push({ ...fourAddresses, tonsys, evaluator: 1 + (tonsys % 3), switchMode: 1 + (tonsys % 4),
                    addresses: fourAddresses.addresses.map((a) => ({ ...a, text: core.normaliseRepeats(a.text.slice(0, 6 - (1 + (tonsys % 3))), 1 + (tonsys % 3)) })) });
    rows.push(withAddresses(start(), [null, "1R1R1", null, "23456"]));
    rows.push(withAddresses(start(), ["123", null, "12", null])); // incomplete: names slot 3
    rows.push(withAddresses(start(), [null, null, null, null])); // none chosen
    rows.push(withAddresses(start(), ["12345", "12345", null, null])); // duplicate
    rows.push(withAddresses({ ...start(), tonsys: 4 }, ["1G345", null, null, null])); // no twelfth tone
    for (const s of rows) {
        const page = core.program(s);
        const desktop = cli("listing", ...cliOptions(s));
        if (desktop.status === 0) assert.deepEqual(page.listing, desktop.out.toString().trimEnd().split("\n"), JSON.stringify(s));
        else assert.equal(`zuvela-cli listing: ${page.message}\n`, desktop.err, JSON.stringify(s));
    }
    // A 'G' where the system has no twelfth tone: the engine's German message, zuvela-cli's and
    // the window's alike; saving refuses it too.
    const noGSettings = withAddresses({ ...start(), tonsys: 4 }, ["1G345", null, null, null]);
    const noG = core.program(noGSettings);
    assert.equal(noG.message, 'Rufadresse 1: Im Tonsystem ZVEI F gibt es keinen Ton für "G".');
    assert.equal(core.checkAddresses(noGSettings), noG.message);
    assert.equal(core.program(withAddresses(start(), ["1G345", null, null, null])).message, undefined);
});

test("the samples and the WAV file are those of zuvela-cli render at the sliders' ends and start", () => {
    const dir = tempDir();
    const tones = core.program(fourCompleted).tones;
    for (const expert of [slowest, fastest, initial]) {
        const wav = join(dir, "render.wav");
        const options = ["--tone-length", expert.toneLength, "--tone-pause", expert.tonePause,
                         "--block-pause", expert.blockPause, "--amplitude", expert.amplitude].map(String);
        assert.equal(cli("render", ...cliOptions(fourAddresses), ...options, "-o", wav).status, 0);
        const desktop = readFileSync(wav);
        const page = core.waveFile(core.render(tones, expert));
        assert.equal(page.length, desktop.length, `length at ${JSON.stringify(expert)}`);
        assert.ok(Buffer.from(page).equals(desktop), `bytes at ${JSON.stringify(expert)}`);
    }
});

test("a .740 file has the desktop's bytes, and one from the desktop loads as zuvela-cli loads it", () => {
    const dir = tempDir();
    // The desktop writes a file through decode -o; the page must write the same bytes.
    const s = withAddresses({ ...start(), tonsys: 6, toneLen: 2, switchMode: 3 }, ["10203", "9R9R9", null, null]);
    const wav = join(dir, "rec.wav");
    const file = join(dir, "desktop.740");
    assert.equal(cli("render", ...cliOptions(s), "-o", wav).status, 0);
    assert.equal(cli("decode", wav, "-o", file).status, 0);
    const desktop = readFileSync(file);
    assert.ok(Buffer.from(core.profileBytes(s)).equals(desktop), Buffer.from(core.profileBytes(s)).toString("latin1"));
    assert.match(desktop.toString("latin1"), /^\[A\]\r\nTS=6\r\n/);

    // Loading: the window's rules, and the same listing as the command line gives for the file.
    const files = [
        desktop,
        Buffer.from("[A]\r\nTS=7\r\nTL=2\r\nSM=4\r\n[B II]\r\nRP=true\r\nAD=123\r\n"), // no AW: "3 Ton"
        Buffer.from("[A]\r\nTS=01\r\nAW=2\r\n[B I]\r\nRP=1\r\nAD=1234\r\n[B IV]\r\nRP=2\r\nAD=5678\r\n"),
    ];
    for (const bytes of files) {
        const loaded = core.loadProfile(bytes, start(), "f.740");
        assert.equal(loaded.message, undefined);
        writeFileSync(join(dir, "f.740"), bytes);
        const desktopListing = cli("listing", "-f", join(dir, "f.740"));
        assert.equal(desktopListing.status, 0, desktopListing.err);
        assert.deepEqual(core.program(loaded.settings).listing, desktopListing.out.toString().trimEnd().split("\n"));
    }
    // A value of "RP" that is no Boolean stops loading there: section A and the boxes before
    // it are taken, the texts are not, and the cut of a changed evaluator stays.
    const broken = core.loadProfile(Buffer.from("[A]\r\nTS=6\r\nAW=3\r\n[B I]\r\nRP=1\r\nAD=999\r\n[B II]\r\nRP=ja\r\n"), start(), "f.740");
    assert.equal(broken.message, "'ja' is not a valid boolean value.");
    assert.equal(broken.settings.tonsys, 6);
    assert.deepEqual(broken.settings.addresses.map((a) => [a.checked, a.text]),
                     [[true, "574"], [false, ""], [false, ""], [false, ""]]);
});

test("every option of the option-group table: its word selects it in zuvela-cli, its key stores it", () => {
    const groups = core.optionGroups();
    assert.deepEqual(groups.map((g) => [g.fileKey, g.count]), [["TS", 7], [null, 3], ["TL", 2], ["AW", 3], ["SM", 4]]);
    const field = { TS: "tonsys", TL: "toneLen", AW: "evaluator", SM: "switchMode" };
    const address = [null, "12345", "1234", "123"];
    for (const g of groups.filter((g) => g.fileKey)) {
        for (let n = 1; n <= g.count; ++n) {
            const s = { ...start(), [field[g.fileKey]]: n };
            const text = address[s.evaluator];
            const page = core.program(withAddresses(s, [text, null, null, null]));
            const word = g.words[n - 1];
            const desktop = cli("listing", ...(g.cliOption ? [g.cliOption, word] : [word]), "--address", `1=${text}`);
            assert.equal(desktop.status, 0, desktop.err);
            assert.deepEqual(page.listing, desktop.out.toString().trimEnd().split("\n"), `${g.name} ${word}`);
            assert.match(Buffer.from(core.profileBytes(withAddresses(s, [text, null, null, null]))).toString("latin1"),
                         new RegExp(`\\r\\n${g.fileKey}=${n}\\r\\n`));
        }
    }
});

test("samples survive the way into Web Audio and back, and the listing follows the sound", () => {
    const all = Uint8Array.from({ length: 256 }, (_, i) => i);
    assert.deepEqual(toByteSamples(toFloatSamples(all)), all);
    assert.equal(toFloatSamples(Uint8Array.of(127))[0], -1 / 128); // silence as the card plays it

    const tones = core.program(withAddresses(start(), ["12345", "6789R", null, null])).tones;
    const segments = core.segments(tones, slowest);
    const entries = timeline(segments);
    assert.equal(entries.at(-1).end, core.render(tones, slowest).length);
    const listing = core.program(withAddresses(start(), ["12345", "6789R", null, null])).listing;
    const sounding = entries.filter((e) => e.line >= 0).map((e) => listing[e.line]);
    assert.deepEqual(sounding, listing.filter((line) => /^\d\d : /.test(line)));
    assert.equal(lineAt(entries, 0), 1);
    assert.equal(lineAt(entries, entries[1].start), -1); // the tone pause
    assert.equal(lineAt(entries, entries.at(-1).end), -1);
    // The dialog's marking: a pause keeps the tone before it marked.
    assert.deepEqual(segments.map((s) => s.listingLine).slice(0, 3), [1, 1, 2]);
});

test("the texts the page takes from the engine are zuvela-cli's", () => {
    const texts = core.texts();
    const noDevice = cli("send", "--device", "zuvela-no-such-device");
    assert.ok(noDevice.err.includes(`${texts.soundCardUnavailable}\nDas Ausgabegerät`), noDevice.err);
    assert.match(texts.testCallAborted, /^Der Testruf wurde abgebrochen \(%1\)\.$/);
});

test("a recording reads back to its settings, also as the microphone's floats", () => {
    const s = withAddresses({ ...start(), tonsys: 2, evaluator: 2, switchMode: 2 }, [null, "4321", "R", null]);
    s.addresses[2] = { checked: false, text: "" };
    const samples = core.render(core.program(s).tones, fastest);
    const floats = toFloatSamples(samples);
    for (const decoded of [core.decode(core.waveFile(samples)), core.decodeSamples(floats, 22050)]) {
        assert.equal(decoded.message, undefined);
        assert.deepEqual(decoded.settings.addresses[0], { checked: true, text: "4321" });
        assert.equal(decoded.settings.evaluator, 2);
    }
    // The report is zuvela-cli's, word for word.
    const file = join(tempDir(), "rec.wav");
    writeFileSync(file, core.waveFile(samples));
    assert.equal(core.decode(core.waveFile(samples)).report, cli("decode", file).out.toString());
    assert.equal(core.decode(Uint8Array.of(1, 2, 3)).message, "Die Datei ist keine WAV-Datei (RIFF/WAVE fehlt).");
    assert.match(core.decode(core.waveFile(new Uint8Array(22050).fill(127))).message, /^Keine gültige Programmiersequenz\. /);
});

test("formula-like cells stay text in the export and the record and read back as typed, as zuvela-cli reads them", () => {
    const typed = ["=1+2", '=HYPERLINK("http://x";"klick")', "+49 171", "-5", "@SUM(1;2)", "'=1", "O'Neill"];
    const quote = (t) => (/[;"]/.test(t) ? `"${t.replaceAll('"', '""')}"` : t);
    // As a spreadsheet exports such cells: without any guard.
    const list = "Kennung;Träger;Ruf 1\r\n" + typed.map((t, n) => `${quote(t)};${quote(t)};1234${n}\r\n`).join("");
    const read = core.readFleetList(Buffer.from(list), "l.csv");
    const exported = Buffer.from(core.fleetListText(Buffer.from(list), "l.csv"));
    assert.ok(exported.toString().includes("\r\n'=1+2;'=1+2;"), exported.toString());
    const back = core.readFleetList(exported, "export.csv");
    const dir = tempDir();
    writeFileSync(join(dir, "export.csv"), exported);
    const listed = cli("list", join(dir, "export.csv")).out.toString();
    const record = [core.fleetRecordHeader()];
    back.pagers.forEach((p, n) => {
        assert.equal(p.label, read.pagers[n].label);
        assert.equal(p.holder, read.pagers[n].holder);
        assert.ok(listed.includes(`Zeile ${n + 2}: ${p.label} ${p.holder} – `), listed);
        record.push(core.fleetRecordLine({ time: "2026-12-10T07:45:12+01:00", label: p.label, holder: p.holder,
                                           settings: p.settings, device: "default", expert: initial, result: "sent" }));
    });
    assert.deepEqual(read.pagers.map((p) => p.label), ["=1+2", '=HYPERLINK("http://x";"klick")', "+49 171", "-5", "@SUM(1;2)", "=1", "O'Neill"]);
    assert.deepEqual(Object.keys(core.fleetLastResults(record.join(""))).sort(), read.pagers.map((p) => p.label).sort());
});

// The programming session as the page binds it: a table of events with what each returns and
// what the record then holds. The writer is the page's: it appends the bytes, or fails.
test("the bound session: record lines with the byte order mark, the question, a record that fails before and after a send", () => {
    const session = new core.ProgSession();
    const utf8 = new TextDecoder("utf-8", { ignoreBOM: true });
    let record = "";
    let failing = "";
    const list = session.openList(new TextEncoder().encode("Kennung;Ruf 1\r\nA;12345\r\nB;12345\r\nC;54321\r\n"), "L.csv", "",
                                  (bytes) => failing || ((record += utf8.decode(bytes)), ""));
    assert.equal(list.pagers.length, 3);
    assert.equal(session.choose(session.nextUnsentLine()), "");
    const plan = (confirmed = false) => session.planSend(fastest, "Standard", "T", confirmed);
    const rows = [
        { event: () => plan().step, is: "play", lines: 2, chosen: 0 },
        { event: () => session.endSend({ end: "sent" }, "T"), is: "", lines: 3, chosen: 1 },
        { event: () => plan().text, is: "Die Rufadresse 12345 wurde eben schon an A gesendet. Trotzdem senden?", lines: 3, chosen: 1 },
        { event: () => ((failing = "voll"), plan(true).text), is: core.fleetRecordUnwritable('"L-Protokoll.csv"', "voll"), lines: 3, chosen: 1 },
        { event: () => ((failing = ""), plan(true).line), is: 1, lines: 4, chosen: 1 },
        { event: () => ((failing = "voll"), session.endSend({ end: "sent" }, "T")).startsWith("Die Zeile ließ sich nicht ins Protokoll \"L-Protokoll.csv\" schreiben (voll)"),
          is: true, lines: 4, chosen: 1 },
        { event: () => ((failing = ""), session.skip("Standard", fastest, "T")), is: "", lines: 5, chosen: 2 },
    ];
    for (const [i, row] of rows.entries()) {
        assert.equal(row.event(), row.is, `row ${i}`);
        assert.equal(record.split("\r\n").filter(Boolean).length, row.lines, `row ${i}`);
        assert.equal(session.chosen(), row.chosen, `row ${i}`);
    }
    assert.ok(record.startsWith(`\uFEFF${core.fleetRecordHeader()}`));
    assert.deepEqual(Object.values(session.lastResults()).map((r) => r.text), ["Gesendet", "Übersprungen"]);
    session.delete();
});
