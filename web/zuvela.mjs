// SPDX-License-Identifier: GPL-3.0-or-later
// The page: reads its controls, calls the engine (core/ as WebAssembly), writes the result
// back, and plays the engine's samples through Web Audio. This file wires the parts together.
import { OnAdresseEdit, OnAdresseExit, OnAdresseInput, OnAuswertClick, OnTonsystemChange, addressEdit,
         buildControls } from "./controls.mjs";
import { toggleMicrophone, decodeBytes } from "./decoding.mjs";
import { acceptLaunchedFiles, download, dropped, openFile, readBytes, saveFile } from "./files.mjs";
import { bindFleet, dropList, fleetGo, openFleet, withOneSender } from "./fleet.mjs";
import { remember, restoreSettings, shareLink, startFresh } from "./remember.mjs";
import { BTN_ProgClick, isSending, offerOutputs, saveWav, sendTestCall, stopSound } from "./sending.mjs";
import { $, setCore, setStatus, stats } from "./ui.mjs";

const dialogOpen = () => document.querySelector("dialog[open]") !== null;

// The desktop's keys: Enter in an address field or the list programs, Strg+O opens, Strg+S saves,
// Strg+L opens the list; in the programming dialog Enter is "OK und los !" and Esc stops a send
// before it closes the dialog.
function OnKey(e) {
    if (e.key === "Escape" && isSending()) return stopSound();
    const ctrl = (e.ctrlKey || e.metaKey) && !e.altKey && !e.shiftKey;
    if (ctrl && (e.key === "o" || e.key === "s" || e.key === "l") && !dialogOpen()) {
        e.preventDefault();
        return e.key === "o" ? openFile() : e.key === "s" ? saveFile() : openFleet();
    }
    if (e.key !== "Enter" || e.isComposing) return;
    if (e.target.matches?.('#FRA_Adressen input[type="text"], #fleetLines') && !dialogOpen()) {
        e.preventDefault();
        return BTN_ProgClick();
    }
    const inProg = $("FRM_Prog").open && !$("messageBox").open && $("FRM_Prog").contains(e.target);
    if (inProg && !e.target.matches("button, select") && !$("BTN_Go").disabled) {
        e.preventDefault();
        fleetGo();
    }
}

function bindEvents() {
    $("FRA_System").addEventListener("change", OnTonsystemChange);
    $("FRA_Auswerter").addEventListener("change", OnAuswertClick);
    for (let n = 1; n <= 4; ++n) {
        addressEdit(n).addEventListener("beforeinput", OnAdresseEdit);
        addressEdit(n).addEventListener("input", OnAdresseInput);
        addressEdit(n).addEventListener("blur", () => {
            OnAdresseExit();
            remember();
        });
        $(`BTN_Call_0${n}`).addEventListener("click", withOneSender(() => sendTestCall(n)));
    }
    $("settings").addEventListener("submit", (e) => e.preventDefault());
    // Whatever changes the settings or the sliders is kept for the next visit.
    for (const event of ["change", "input"]) {
        $("settings").addEventListener(event, remember);
        $("GroupBox1").addEventListener(event, remember);
    }
    document.addEventListener("zuvela-settings", remember);
    // Typing that the key filter puts in place fires no "input": kept when the page goes.
    window.addEventListener("pagehide", remember);
    $("BTN_Prog").addEventListener("click", BTN_ProgClick);
    $("BTN_Open").addEventListener("click", openFile);
    $("BTN_Save").addEventListener("click", saveFile);
    $("BTN_Fresh").addEventListener("click", startFresh);
    $("BTN_Link").addEventListener("click", shareLink);
    $("DLG_Open").addEventListener("change", async (e) => {
        const [file] = e.target.files;
        e.target.value = "";
        if (file) await dropped(file);
    });
    $("wavInput").addEventListener("change", async (e) => {
        const [file] = e.target.files;
        e.target.value = "";
        const bytes = file && (await readBytes(file));
        if (bytes) await decodeBytes(bytes);
    });
    $("BTN_Mic").addEventListener("click", toggleMicrophone);
    bindFleet();
    if (!navigator.mediaDevices?.getUserMedia) $("BTN_Mic").hidden = true;
    $("BTN_Go").addEventListener("click", fleetGo);
    $("BTN_Stop").addEventListener("click", stopSound);
    $("BTN_Wav").addEventListener("click", () => saveWav(download));
    $("BTN_Close").addEventListener("click", () => $("FRM_Prog").close());
    // Esc stops a send first; only without one does it close the dialog.
    $("FRM_Prog").addEventListener("cancel", (e) => {
        if (isSending()) {
            e.preventDefault();
            stopSound();
        }
    });
    // Closing stops a send; the dialog gives the focus back to where it was opened from.
    $("FRM_Prog").addEventListener("close", stopSound);
    document.addEventListener("keydown", OnKey);
    document.addEventListener("dragover", (e) => {
        e.preventDefault();
        $("dropHint").hidden = false;
    });
    document.addEventListener("dragleave", () => ($("dropHint").hidden = true));
    document.addEventListener("drop", async (e) => {
        e.preventDefault();
        $("dropHint").hidden = true;
        const [file] = e.dataTransfer.files;
        // A list goes to the list (not while the dialog is open: the dialog refuses files).
        if (file && /\.csv$/i.test(file.name) && !dialogOpen()) return dropList(file);
        if (file) await dropped(file);
    });
}

// The service worker keeps the page for offline use. A new version is fetched in the
// background; every open tab says so and reloads into it when the user wants.
async function watchForUpdates() {
    if (!("serviceWorker" in navigator)) return;
    const registration = await navigator.serviceWorker.register("sw.js").catch(() => null);
    if (!registration) return;
    // Nothing to offer at the first install: no version served this page before.
    const offer = () => {
        if (navigator.serviceWorker.controller) $("updateRow").hidden = false;
    };
    $("BTN_Reload").addEventListener("click", () => {
        // Another tab may have let the new version take over already: then only this page is old.
        const waiting = registration.waiting;
        if (!waiting) return location.reload();
        navigator.serviceWorker.addEventListener("controllerchange", () => location.reload(), { once: true });
        waiting.postMessage("activate");
    });
    const follow = (worker) => worker?.addEventListener("statechange", () => {
        if (worker.state === "installed") offer();
    });
    if (registration.waiting) offer();
    follow(registration.installing);
    registration.addEventListener("updatefound", () => follow(registration.installing));
    // "Neu laden" in another tab: the new version serves, this page is still the old one (unless
    // this is the first install taking the page over).
    let served = navigator.serviceWorker.controller !== null;
    navigator.serviceWorker.addEventListener("controllerchange", () => {
        if (served) offer();
        served = true;
    });
    // Looked for at every start as well, not only when the browser checks by itself: a check
    // that failed or came too early (a busy machine, a flaky network) is made again.
    registration.update().catch(() => {});
}

async function start() {
    try {
        // The engine's WebAssembly from where the page preloaded it, under the same address.
        const preloaded = (file) => document.querySelector(`link[rel="preload"][href^="${file}"]`)?.href ?? file;
        setCore(await window.ZuvelaCore({ locateFile: preloaded }));
    } catch (e) {
        $("status").textContent = "Die Seite kann nicht starten: der Browser lädt oder startet ihr Programm nicht.";
        return;
    }
    // The controls come from the engine's tables: built before the page shows, so that it
    // never shows empty group boxes.
    buildControls();
    $("FRM_Main").hidden = false;
    bindEvents();
    setStatus("Bereit.");
    // The work begins where the window's does: in Ruf 1 (before a link's notes take the focus).
    $("TXT_Adresse_01").focus();
    restoreSettings();
    offerOutputs(); // the dialog's output list: the browser's device query takes its time
    acceptLaunchedFiles();
    stats.interactiveMs = performance.now();
    document.body.dataset.ready = "true";
    watchForUpdates();
}

if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", start);
else start();
