// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls: read into settings, written back from them, and the address
// fields' key filter. Every rule comes from the engine.
import { $, core } from "./ui.mjs";

const checkedValue = (name) => Number(document.querySelector(`input[name="${name}"]:checked`).value);
export const addressBox = (n) => $(`CHK_Adresse_0${n}`);
export const addressEdit = (n) => $(`TXT_Adresse_0${n}`);

export function settings() {
    return {
        tonsys: checkedValue("tonsys"),
        toneLen: checkedValue("toneLen"),
        evaluator: checkedValue("evaluator"),
        switchMode: checkedValue("switchMode"),
        addresses: [1, 2, 3, 4].map((n) => ({ checked: addressBox(n).checked, text: addressEdit(n).value })),
    };
}

// The tone-length option follows the tone system: only its one option is enabled and checked.
export function OnTonsystemChange() {
    const system = core.toneSystems()[checkedValue("tonsys") - 1];
    for (let n = 1; n <= 3; ++n) {
        const option = $(`OPT_Tonlen_0${n}`);
        option.disabled = n !== system.toneLengthButton;
        option.checked = n === system.toneLengthButton;
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
    const systems = $("FRA_System");
    core.toneSystems().forEach((system, i) => {
        const label = document.createElement("label");
        label.innerHTML = `<input type="radio" name="tonsys" value="${i + 1}" id="OPT_Tonsys_0${i + 1}"> `;
        label.append(system.caption);
        systems.append(label);
    });
    $("OPT_Tonsys_01").checked = true;
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
