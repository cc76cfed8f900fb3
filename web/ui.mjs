// SPDX-License-Identifier: GPL-3.0-or-later
// What every part of the page shares: the engine, the message box, the status lines and the
// German words for the browser's errors.
export const $ = (id) => document.getElementById(id);
export const stats = { start: performance.now() }; // figures the tests read
window.zuvelaStats = stats;

export let core = null; // the engine (core/ as WebAssembly), once loaded
export function setCore(loaded) {
    core = loaded;
}

// A modal message with the application's title, as the windows' message boxes.
export async function showMessage(text) {
    await askQuestion(text);
}

// The same with two answers: resolves to whether the first was chosen. Focus and Enter are on
// the second, the careful one; Esc is the second too.
export function askQuestion(text, yes = "OK", no = null) {
    return new Promise((resolve) => {
        const box = $("messageBox");
        $("messageText").textContent = text.replace(/\r\n/g, "\n");
        $("messageOk").textContent = yes;
        $("messageNo").textContent = no ?? "";
        $("messageNo").hidden = no === null;
        box.returnValue = "";
        box.addEventListener("close", () => resolve(box.returnValue === "yes"), { once: true });
        box.showModal();
        (no === null ? $("messageOk") : $("messageNo")).focus();
    });
}

// The page's status line (and the dialog's, when given): screen readers hear each change.
export function setStatus(text, dialogText = null) {
    $("status").textContent = text;
    if (dialogText !== null) {
        $("progStatus").textContent = dialogText;
        $("progStatus").dataset.look = dialogText.startsWith("✔") ? "sent" : dialogText.startsWith("✘") ? "failed" : "";
    }
}

// The browser's own error texts are English; the user reads German, as on the desktop.
const errorWords = {
    NotFoundError: "das Gerät wurde nicht gefunden",
    NotAllowedError: "der Browser hat es nicht erlaubt",
    NotReadableError: "das Gerät ist belegt oder lässt sich nicht öffnen",
    NotSupportedError: "der Browser kann das nicht",
    AbortError: "abgebrochen",
    QuotaExceededError: "der Speicher des Browsers für diese Seite ist voll",
    SecurityError: "aus Sicherheitsgründen nicht erlaubt",
    InvalidStateError: "der Browser ist dafür nicht bereit",
    OverconstrainedError: "kein Gerät erfüllt die Anforderungen",
};
export function germanError(e) {
    return errorWords[e?.name] ?? "ein unbekannter Fehler des Browsers";
}
