// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the page's files so that it works with no network after the first visit. The build
// writes the list and a version from the files' contents, so a new build gets a cache of its
// own, and a version's cache is kept for good: nothing in it is fetched again. A new version
// (only a new sw.js brings one) takes no stale copy from the browser's HTTP cache, is complete
// before it takes over, and waits until the page asks for it (the user chose "Neu laden");
// until then the old version serves from its own cache.
const VERSION = "@VERSION@";
const FILES = @FILES@;

self.addEventListener("install", (event) => {
    event.waitUntil((async () => {
        const cache = await caches.open(VERSION);
        try {
            // addAll stores all or nothing; "no-cache" asks the server about every copy in the
            // HTTP cache, so that a stale one is never kept and a current one not fetched twice.
            await cache.addAll(FILES.map((file) => new Request(file, { cache: "no-cache" })));
        } catch (e) {
            await caches.delete(VERSION);
            throw e;
        }
        // The first version has no page to disturb.
        if (!self.registration.active) await self.skipWaiting();
    })());
});

self.addEventListener("message", (event) => {
    if (event.data === "activate") self.skipWaiting();
});

// Only a complete new version replaces the old one: the old cache goes once the new one runs.
self.addEventListener("activate", (event) => {
    event.waitUntil(caches.keys()
        .then((keys) => Promise.all(keys.filter((k) => k !== VERSION).map((k) => caches.delete(k))))
        .then(() => self.clients.claim()));
});

// Cache first, from this version's own cache: the files of one version never change.
self.addEventListener("fetch", (event) => {
    if (event.request.method !== "GET") return;
    event.respondWith(caches.open(VERSION)
        .then((cache) => cache.match(event.request, { ignoreSearch: true }))
        .then((hit) => hit || fetch(event.request)));
});
