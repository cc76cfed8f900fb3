#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Serves the built web page (a folder of static files) as a production server would.

A file's precompressed copy beside it (name.br, name.gz, written by scripts/web.sh) is sent
when the browser takes that encoding and the copy is not older than the file. A request that
names its file's version (?v=...) is cached for good: the files of a version never change.
Everything else (the page itself, the service worker) is revalidated at every load, and a
revalidation of an unchanged file costs a "304 Not Modified".

Usage: web-serve.py [--bind ADDRESS] [--port PORT] FOLDER   (port 0: any free one)
"""
import argparse
import email.utils
import http.server
import os
import sys
import urllib.parse

TYPES = {
    ".html": "text/html; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".json": "application/json",
    ".webmanifest": "application/manifest+json",
    ".wasm": "application/wasm",
    ".png": "image/png",
    ".wav": "audio/wav",
}
ENCODINGS = [("br", ".br"), ("gzip", ".gz")]  # the better one first
FOREVER = "public, max-age=31536000, immutable"


def accepted(header):
    """The content codings an Accept-Encoding header allows (those without q=0)."""
    taken = set()
    for part in header.split(","):
        name, *params = [p.strip() for p in part.split(";")]
        refused = any(p.replace(" ", "").lower() in ("q=0", "q=0.0", "q=0.00", "q=0.000") for p in params)
        if name and not refused:
            taken.add(name.lower())
    return taken


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keep-alive: a page's files come over few connections
    root = "."

    def log_message(self, *args):
        pass  # quiet, as a page in use should be

    def do_HEAD(self):
        self.answer(send_body=False)

    def do_GET(self):
        self.answer(send_body=True)

    def answer(self, send_body):
        url = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(url.path)
        parts = [p for p in path.split("/") if p]
        if any(p in (".", "..") or "\0" in p or os.sep in p for p in parts):
            return self.fail(404)
        file = os.path.join(self.root, *parts)
        if os.path.isdir(file):
            if not path.endswith("/"):
                return self.redirect(path + "/" + (f"?{url.query}" if url.query else ""))
            file = os.path.join(file, "index.html")
        if not os.path.isfile(file):
            return self.fail(404)
        ext = os.path.splitext(file)[1].lower()
        sent, coding = file, None
        if ext in (".br", ".gz"):
            ext = ".bin"  # a precompressed copy asked for by name is just bytes
        else:
            taken = accepted(self.headers.get("Accept-Encoding", ""))
            for name, suffix in ENCODINGS:
                copy = file + suffix
                if name in taken and os.path.isfile(copy) and os.stat(copy).st_mtime >= os.stat(file).st_mtime:
                    sent, coding = copy, name
                    break
        stat = os.stat(file)
        size = os.stat(sent).st_size
        tag = f'"{stat.st_mtime_ns:x}-{stat.st_size:x}{"-" + coding if coding else ""}"'
        versioned = any(k == "v" for k, _ in urllib.parse.parse_qsl(url.query))
        headers = {
            "Content-Type": TYPES.get(ext, "application/octet-stream"),
            "Cache-Control": FOREVER if versioned else "no-cache",
            "ETag": tag,
            "Last-Modified": email.utils.formatdate(stat.st_mtime, usegmt=True),
        }
        if any(os.path.isfile(file + suffix) for _, suffix in ENCODINGS):
            headers["Vary"] = "Accept-Encoding"
        if coding:
            headers["Content-Encoding"] = coding
        if self.unchanged(tag, stat.st_mtime):
            self.send_response(304)
            for name in ("Cache-Control", "ETag", "Last-Modified", "Vary"):
                if name in headers:
                    self.send_header(name, headers[name])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        self.send_response(200)
        for name, value in headers.items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        if send_body:
            with open(sent, "rb") as f:
                self.wfile.write(f.read())

    def unchanged(self, tag, mtime):
        match = self.headers.get("If-None-Match")
        if match is not None:
            return tag in [t.strip() for t in match.split(",")] or match.strip() == "*"
        since = self.headers.get("If-Modified-Since")
        if since:
            try:
                return int(mtime) <= email.utils.parsedate_to_datetime(since).timestamp()
            except (TypeError, ValueError):
                return False
        return False

    def redirect(self, location):
        self.send_response(301)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def fail(self, status):
        body = f"{status} {self.responses[status][0]}\n".encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], ConnectionError):  # a browser that went away
            super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description="Serves the built web page.")
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8740)
    parser.add_argument("folder")
    args = parser.parse_args()
    Handler.root = os.path.abspath(args.folder)
    server = Server((args.bind, args.port), Handler)
    print(f"Serving on {args.bind} port {server.server_address[1]}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
