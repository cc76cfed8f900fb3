// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls: read into settings, written back from them, and the address
// fields' key filter. Every rule comes from the engine.
import { $, core } from "./ui.mjs";

const checkedValue = (name) => Number(document.querySelector(`input[name="${name}"]:checked`).value);
export const addressBox = (n) => $(`CHK_Adresse_0${n}`);
export const addressEdit = (n) => $(`TXT_Adresse_0${n}`);

// Where the page shows each option group of the engine's table, in the table's order: the
// group box, the name of its radio buttons (the settings' field, where the group is one the
// file stores) and their ids' stem.
const optionPlaces = [
    { box: "FRA_System", name: "tonsys", id: "OPT_Tonsys" },
    { box: "FRA_Len1", name: "tonlen", id: "OPT_Tonlen" },
    { box: "FRA_Len2", name: "toneLen", id: "OPT_Len" },
    { box: "FRA_Auswerter", name: "evaluator", id: "OPT_Auswerter" },
    { box: "FRA_Modi", name: "switchMode", id: "OPT_Schalter" },
];

let groups = null; // the engine's option-group table, read once
const optionGroups = () => (groups ??= core.optionGroups());

// The groups a programming-data file stores: its key ("TS") and the settings' field ("tonsys").
export function storedGroups() {
    return optionGroups().flatMap((g, row) => (g.fileKey ? [{ key: g.fileKey, field: optionPlaces[row].name }] : []));
}

export function settings() {
    const chosen = Object.fromEntries(storedGroups().map(({ field }) => [field, checkedValue(field)]));
    return { ...chosen, addresses: [1, 2, 3, 4].map((n) => ({ checked: addressBox(n).checked, text: addressEdit(n).value })) };
}

// The option groups as the window lays them out: the caption, one radio button per option and
// its hint, shown under the option and as its tool tip (each line of the stored hint one line).
function buildOptionGroups() {
    optionGroups().forEach((group, row) => {
        const place = optionPlaces[row];
        const legend = document.createElement("legend");
        legend.textContent = group.caption.trim();
        $(place.box).replaceChildren(legend, ...group.options.map((caption, i) => {
            const id = `${place.id}_${String(i + 1).padStart(2, "0")}`;
            const option = Object.assign(document.createElement("input"), { type: "radio", name: place.name, value: i + 1, id });
            const label = document.createElement("label");
            label.append(option, ` ${caption}`);
            const hint = group.hints[i]?.split(/[\r\n]+/);
            if (hint) {
                const shown = Object.assign(document.createElement("small"), { id: `${id}_hint`, textContent: hint.join(", ") });
                option.setAttribute("aria-describedby", shown.id);
                label.title = hint.join("\n");
                label.append(" ", shown);
            }
            return label;
        }));
        $(place.box).querySelector("input").checked = true;
    });
}

// The tone-length option follows the tone system: only its one option is enabled and checked.
export function OnTonsystemChange() {
    const system = core.toneSystems()[checkedValue("tonsys") - 1];
    for (const option of document.querySelectorAll('input[name="tonlen"]')) {
        option.disabled = Number(option.value) !== system.toneLengthButton;
        option.checked = Number(option.value) === system.toneLengthButton;
    }
}

// The evaluator sets the address length: typing is limited to it and longer texts are cut.
export function OnAuswertClick() {
    const evaluator = checkedValue("evaluator");
    for (let n = 1; n <= 4; ++n) {
        addressEdit(n).maxLength = core.addressLength(evaluator);
        addressEdit(n).value = core.cutAddress(addressEdit(n).value, evaluator);
    }
}

// Leaving any address field completes all four: a repeated character becomes 'R'.
export function OnAdresseExit() {
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

export function OnAdresseEdit(event) {
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
export function OnAdresseInput(event) {
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

export function applySettings(s) {
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
    document.dispatchEvent(new Event("zuvela-settings"));
}

export function buildControls() {
    buildOptionGroups();
    const addresses = $("FRA_Adressen");
    for (let n = 1; n <= 4; ++n) {
        const row = document.createElement("div");
        row.className = "address";
        row.innerHTML =
            `<input type="checkbox" id="CHK_Adresse_0${n}"><label for="CHK_Adresse_0${n}">Ruf ${n}</label>` +
            `<input type="text" id="TXT_Adresse_0${n}" aria-label="Rufadresse ${n}" inputmode="numeric" ` +
            `autocomplete="off" spellcheck="false" autocapitalize="characters" enterkeyhint="go">` +
            `<button type="button" class="call" id="BTN_Call_0${n}" aria-label="Testruf an Ruf ${n} senden">Testruf</button>`;
        addresses.append(row);
    }
    applySettings(core.startSettings());
}
