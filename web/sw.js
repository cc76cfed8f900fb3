// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the page's files so that it works with no network after the first visit. The build
// writes the list and a version from the files' contents, so a new build replaces the cache.
const VERSION = "@VERSION@";
const FILES = @FILES@;

self.addEventListener("install", (event) => {
    event.waitUntil(caches.open(VERSION).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
    event.waitUntil(caches.keys()
        .then((keys) => Promise.all(keys.filter((k) => k !== VERSION).map((k) => caches.delete(k))))
        .then(() => self.clients.claim()));
});

// Cache first: the files of one version never change.
self.addEventListener("fetch", (event) => {
    if (event.request.method !== "GET") return;
    event.respondWith(caches.match(event.request, { ignoreSearch: true })
        .then((hit) => hit || fetch(event.request)));
});
