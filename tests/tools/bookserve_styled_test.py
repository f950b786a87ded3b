#!/usr/bin/env python3
"""Real documentation through bookserve looks as it does from an ordinary
web server: the same pages served by bookserve and by a plain static server
(Python's http.server on a private port, started and stopped here by its
process id) are shot by headless Chromium (driven as in
bookserve_browser_test.py) and the screenshots compared pixel by pixel. The
page must also be styled (its style sheets applied, which a browser does
only for sheets declared text/css) and show its pictures (SVG included, which
a browser shows only when it is declared image/svg+xml).

  bookserve_styled_test.py BOOKC BOOKSERVE SHOTDIR

The pages: the sample book's start page and pages of the Python
documentation of Debian's python3-doc (installed by scripts/setup).
Without Chromium or the documentation the test reports itself skipped
(status 77).
"""
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bookserve_browser_test as chromium  # noqa: E402

SKIPPED = 77
DOCS = "/usr/share/doc/python3.11/html"
SAMPLE_BOOK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples", "book")
# Pages of the documentation: the start page (its logo is SVG), a
# reference page (styled code, tables), a page with a PNG picture.
DOC_PAGES = ["index.html", "library/functions.html", "library/tkinter.messagebox.html"]
# Screenshots of the same page may differ in this share of pixels at most
# (text is drawn identically; this only forgives a caret or an animation).
MAX_DIFFERENT = 0.001


def png_pixels(data):
    """Width, height and rows of RGB(A) bytes of a PNG (8-bit, no interlace), as Chromium writes them."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise chromium.Failure("a screenshot is no PNG")
    at, idat, width, height, channels = 8, b"", 0, 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour not in (2, 6):
                raise chromium.Failure(f"a screenshot of depth {depth} and colour type {colour}")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - channels] if x >= channels else 0
            up = previous[x]
            corner = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + left) & 255
            elif kind == 2:
                line[x] = (line[x] + up) & 255
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[x] = (line[x] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def different_share(first, second):
    if first == second:
        return 0.0
    w1, h1, c1, rows1 = png_pixels(first)
    w2, h2, c2, rows2 = png_pixels(second)
    if (w1, h1, c1) != (w2, h2, c2):
        return 1.0
    different = 0
    for a, b in zip(rows1, rows2):
        if a != b:
            different += sum(1 for x in range(0, len(a), c1) if a[x:x + c1] != b[x:x + c1])
    return different / (w1 * h1)


class StaticServer:
    """python3 -m http.server on a free port of its own, ended by its process id."""

    def __init__(self, folder):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.process = subprocess.Popen([sys.executable, "-m", "http.server", str(self.port), "--bind", "127.0.0.1",
                                         "--directory", folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        preexec_fn=chromium.end_with_this_test)
        self.base = f"http://127.0.0.1:{self.port}/"
        end = time.monotonic() + 10
        while time.monotonic() < end:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return
            except OSError:
                time.sleep(0.1)
        self.stop()
        raise chromium.Failure("the static server did not start")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


LOOK = """(async () => {
  await document.fonts.ready;
  await Promise.all([...document.images].map(i => i.complete ? null : new Promise(r => { i.onload = i.onerror = r; })));
  const sheets = [...document.styleSheets].map(s => { try { return s.cssRules.length; } catch (e) { return -1; } });
  return {sheets: sheets, rules: sheets.reduce((a, b) => a + Math.max(b, 0), 0),
          pictures: [...document.images].map(i => ({src: i.getAttribute('src'), width: i.naturalWidth})),
          font: getComputedStyle(document.body).fontFamily};
})()"""


def shoot(tab, url, path):
    tab.goto(url)
    look = tab.value(LOOK)
    tab.screenshot(path)
    with open(path, "rb") as f:
        return look, f.read()


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    bookc, bookserve, shots = sys.argv[1:]
    executable = os.environ.get("EBOOK_CHROMIUM") or shutil.which("chromium") or shutil.which("chromium-browser")
    if not executable or not os.access(executable, os.X_OK):
        print(f"SKIPPED: no Chromium to run ({executable or 'none on PATH'}; scripts/setup installs it)")
        return SKIPPED
    if not os.path.isdir(DOCS):
        print(f"SKIPPED: no documentation set at {DOCS} (scripts/setup installs python3-doc)")
        return SKIPPED
    chromium.DEADLINE = time.monotonic() + 300
    signal.signal(signal.SIGTERM, chromium.on_stop_signal)
    signal.signal(signal.SIGINT, chromium.on_stop_signal)
    os.makedirs(shots, exist_ok=True)
    work = tempfile.mkdtemp(prefix="bookserve-styled-")
    failures = []
    browser = None
    servers = []
    try:
        # Copies whose links to shared scripts are resolved (a book stores a
        # link as the path it names).
        docs = os.path.join(work, "docs")
        shutil.copytree(DOCS, docs, symlinks=False)
        sample = os.path.join(work, "sample")
        shutil.copytree(SAMPLE_BOOK, sample)
        books = []
        for name, folder, pages in (("sample", sample, ["index.htm"]), ("docs", docs, DOC_PAGES)):
            book = os.path.join(work, name + ".bin")
            chromium.run([bookc, "pack", folder, book])
            books.append((name, folder, book, pages))
        browser = chromium.Browser(executable, work)
        for name, folder, book, pages in books:
            served = chromium.BookServer(bookserve, book)
            servers.append(served)
            static = StaticServer(folder)
            servers.append(static)
            for page in pages:
                tab = chromium.Tab(browser)
                shot = page.replace("/", "-").rsplit(".", 1)[0]
                look, through_book = shoot(tab, served.base + page, os.path.join(shots, f"styled-{name}-{shot}-bookserve.png"))
                static_look, through_static = shoot(tab, static.base + page,
                                                    os.path.join(shots, f"styled-{name}-{shot}-static.png"))
                tab.close()
                if look["sheets"] != static_look["sheets"]:
                    failures.append(f"{name} {page}: style sheets (rules each) through bookserve {look['sheets']}, "
                                    f"from a static server {static_look['sheets']}")
                if folder == docs and look["rules"] == 0:
                    failures.append(f"{name} {page}: no style rule applied through bookserve")
                if look["pictures"] != static_look["pictures"] or any(p["width"] == 0 for p in look["pictures"]):
                    failures.append(f"{name} {page}: pictures through bookserve {look['pictures']}, "
                                    f"from a static server {static_look['pictures']}")
                share = different_share(through_book, through_static)
                status = "same" if share <= MAX_DIFFERENT else f"DIFFERENT ({share:.2%} of the pixels)"
                print(f"{name} {page}: {len(look['sheets'])} style sheets, {len(look['pictures'])} pictures; "
                      f"screenshots {status}")
                if share > MAX_DIFFERENT:
                    failures.append(f"{name} {page}: the screenshots differ in {share:.2%} of their pixels")
            static.stop()
            served.stop()
            servers.clear()
    except (chromium.Failure, chromium.Stopped) as problem:
        failures.append(str(problem))
    finally:
        for server in servers:
            if isinstance(server, chromium.BookServer):
                server.stop(expect_clean=False)
            else:
                server.stop()
        if browser:
            browser.close()
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    print(f"screenshots in {shots}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
