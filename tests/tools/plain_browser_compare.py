#!/usr/bin/env python3
"""The plain browser measured against a real browser, page by page.

Every page of a corpus is served by bookserve and read twice: by headless
Chromium (document.body.innerText and the pictures it draws, over its
DevTools pipe as in bookserve_browser_test.py) with scripts switched off, as
the plain browser runs none (what a page's scripts would add or collapse is
not the page's text for such a reader; <noscript> content, which the plain
browser leaves out, is taken out of Chromium's page too), and by the plain
browser's own
reading (plain_page_text: the same fetching, decoding, parsing, styles, boxes
and layout the viewer uses, without a window). Per page:

  recall     Chromium's words found in the plain browser's text, in order
             (the longest common subsequence of the two word lists)
  precision  the plain browser's words that are Chromium's too, in order
  bad        U+FFFD characters and mojibake sequences (UTF-8 read as
             Windows-1252) in the plain browser's text that Chromium's lacks
  pictures   pictures Chromium draws at 16 x 16 pixels or more that the
             plain browser does not draw (SVG pictures are counted apart:
             the platform's imaging component does not decode SVG, and the
             plain browser shows their alternative text)

A page passes with recall >= 0.99, precision >= 0.98, no bad sequences and
no missing picture.

  plain_browser_compare.py BOOKC BOOKSERVE PLAIN_PAGE_TEXT WORKDIR [--full] [--wine PLAIN_PAGE_EXE]

The corpus: the sample book (every page), a small book of pages in
different encodings made here (UTF-8 declared by <meta> or by a byte-order
mark, UTF-16, Windows-1251 by http-equiv, Shift_JIS, KOI8-R, undeclared
Windows-1252, character references), and the Python documentation of
Debian's python3-doc (installed by scripts/setup): a fixed sample of its pages
by default, all of them with --full (or EBOOK_COMPARE_FULL=1). With --wine,
the sample is also read by the real plain browser under Wine (the Windows
build of plain_page_text: GDI fonts, pictures decoded by WIC, painted into a
bitmap and checked there), and its text and pictures are compared the same
way. Writes WORKDIR/report.json and prints a summary with the worst pages.
Without Chromium or the documentation the test reports itself skipped
(status 77).
"""
import difflib
import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bookserve_browser_test as chromium  # noqa: E402

SKIPPED = 77
DOCS = "/usr/share/doc/python3.11/html"
SAMPLE_BOOK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples", "book")
WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "wine-run")
WIDTH = 800
RECALL, PRECISION = 0.99, 0.98
MIN_PICTURE = 16
# Pages of the documentation the quick run reads: every kind of page the
# set has (reference, tutorial, how-to, index, the largest ones).
QUICK_STEP = 40

# UTF-8 bytes read as Windows-1252: a lead byte's character followed by a
# continuation byte's.
MOJIBAKE = re.compile("[\u00c2-\u00f4][\u0080-\u00bf\u20ac\u201a\u0192\u201e\u2026\u2020\u2021\u02c6\u2030"
                      "\u0160\u2039\u0152\u017d\u2018\u2019\u201c\u201d\u2022\u2013\u2014\u02dc\u2122\u0161"
                      "\u203a\u0153\u017e\u0178\u00a0]")


def bad_sequences(text):
    return text.count("\ufffd") + len(MOJIBAKE.findall(text))


def words(text):
    return text.split()


def common_words(a, b):
    """Length of a common subsequence of two word lists (difflib's matching blocks: the longest
    matching run, then recursively on either side)."""
    matcher = difflib.SequenceMatcher(None, a, b, autojunk=False)
    return sum(block.size for block in matcher.get_matching_blocks())


def pack(bookc, folder, out):
    chromium.run([bookc, "pack", folder, out])


def docs_book(work, bookc):
    """The documentation as a book: a copy with its links to shared scripts resolved (bookc stores a
    link as the path it points to) and a config.ini."""
    folder = os.path.join(work, "python3-doc")
    book = os.path.join(work, "python3-doc.bin")
    if not os.path.exists(book):
        if os.path.exists(folder):
            shutil.rmtree(folder)
        shutil.copytree(DOCS, folder, symlinks=False)
        with open(os.path.join(folder, "config.ini"), "w") as f:
            f.write("[params]\ntitle=Python documentation\nstart=index.html\n")
        pack(bookc, folder, book + ".part")
        os.replace(book + ".part", book)
    return book, folder


ENCODED_TEXT = ("Developer\u2019s Guide: caf\u00e9, na\u00efve, \u201cquoted\u201d \u2014 \u20ac5; "
                "\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440; \u65e5\u672c\u8a9e\u306e\u6587\u7ae0")
ENCODED_PAGES = [
    # name, encoding, what declares it, text
    ("utf8-meta.htm", "utf-8", '<meta charset="utf-8">', ENCODED_TEXT),
    ("utf8-bom.htm", "utf-8-sig", "", ENCODED_TEXT),
    ("utf16.htm", "utf-16", "", ENCODED_TEXT),
    ("cp1251.htm", "cp1251", '<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">',
     "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440 \u2014 \u00ab\u0442\u0435\u043a\u0441\u0442\u00bb \u2116 5"),
    ("shift-jis.htm", "shift_jis", "<meta charset=Shift_JIS>",
     "\u65e5\u672c\u8a9e\u306e\u6587\u7ae0\u3001\u30ab\u30bf\u30ab\u30ca\u3082\u3002"),
    ("koi8-r.htm", "koi8_r", "<META CHARSET=koi8-r>", "\u0421\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451"),
    ("cp1252.htm", "cp1252", "", "Caf\u00e9 \u201cna\u00efve\u201d \u2013 \u20ac5 \u2122"),
    ("references.htm", "ascii", "", "Developer&rsquo;s &#8217;guide&#x2019; &eacute;t&eacute; &notin; &amp; &lt;b&gt; "
     "&copy2023 &NotEqualTilde; &#128;"),
]


def encodings_book(scratch, bookc):
    folder = os.path.join(scratch, "encodings")
    os.makedirs(folder)
    for name, encoding, declaration, text in ENCODED_PAGES:
        page = (f"<!DOCTYPE html><html><head>{declaration}<title>{name}</title></head><body>"
                f"<h1>{name}</h1><p>{text}</p><ul><li>{text}</li></ul></body></html>")
        with open(os.path.join(folder, name), "wb") as f:
            f.write(page.encode(encoding))
    with open(os.path.join(folder, "config.ini"), "w") as f:
        f.write("[params]\ntitle=Encodings\nstart=utf8-meta.htm\n")
    book = os.path.join(scratch, "encodings.bin")
    pack(bookc, folder, book)
    return book, [name for name, *_ in ENCODED_PAGES]


def private_display():
    """A private X server for Wine when there is no display: its process, or None."""
    if os.environ.get("DISPLAY"):
        return None
    for number in range(90, 141):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
            break
    server = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=chromium.end_with_this_test)
    os.environ["DISPLAY"] = f":{number}"
    for _ in range(50):
        if os.path.exists(f"/tmp/.X11-unix/X{number}"):
            break
        time.sleep(0.1)
    return server


def pages_of(folder, extensions):
    found = []
    for root, _dirs, files in os.walk(folder):
        for name in files:
            if name.lower().endswith(extensions):
                found.append(os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "/"))
    return sorted(found)


CHROMIUM_PICTURES = """[...document.images].filter(i => i.complete && i.naturalWidth > 0).map(i => {
  const r = i.getBoundingClientRect();
  const s = getComputedStyle(i);
  return {url: i.currentSrc || i.src, width: r.width, height: r.height,
          shown: i.getClientRects().length > 0 && s.visibility === 'visible' && s.opacity !== '0'};
}).filter(p => p.shown && p.width >= %d && p.height >= %d)""" % (MIN_PICTURE, MIN_PICTURE)


def read_with_chromium(tab, url):
    started = time.monotonic()
    tab.goto(url)
    tab.value("document.querySelectorAll('noscript').forEach(n => n.remove())")
    text = tab.value("document.body ? document.body.innerText : ''")
    pictures = tab.value(CHROMIUM_PICTURES)
    return {"text": text or "", "pictures": pictures or [], "seconds": time.monotonic() - started}


def read_plain(program, urls, work, wine=None):
    listing = os.path.join(work, "urls.txt")
    with open(listing, "w") as f:
        f.write("\n".join(urls) + "\n")
    command = [program, "--width", str(WIDTH), "--list", listing]
    if wine:
        command = [wine, "--win64"] + command
    # Into files, not pipes: Wine's background services inherit the
    # program's output and would hold a pipe open after it ended.
    out_path, err_path = os.path.join(work, "plain.out"), os.path.join(work, "plain.err")
    with open(out_path, "w") as out, open(err_path, "w") as err:
        done = subprocess.run(command, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                              timeout=max(600, 30 * len(urls)))
    with open(out_path, encoding="utf-8") as f:
        output = f.read()
    if done.returncode != 0:
        with open(err_path, errors="replace") as f:
            raise chromium.Failure(f"{' '.join(command)} ended with status {done.returncode}: {f.read()[-2000:]}")
    pages = {}
    for line in output.splitlines():
        line = line.strip()
        if line.startswith("{"):
            page = json.loads(line)
            pages[page["url"]] = page
    return pages


SVG_TYPES = {}


def is_svg(url):
    """Whether the server declares the picture at url as SVG (asked once per address)."""
    if url not in SVG_TYPES:
        try:
            with urllib.request.urlopen(urllib.request.Request(url, method="HEAD"), timeout=10) as answer:
                SVG_TYPES[url] = answer.headers.get("Content-Type", "").startswith("image/svg+xml")
        except (OSError, ValueError):
            SVG_TYPES[url] = False
    return SVG_TYPES[url]


def compare(url, real, plain):
    a, b = words(real["text"]), words(plain["text"])
    common = common_words(a, b)
    recall = common / len(a) if a else 1.0
    precision = common / len(b) if b else (1.0 if not a else 0.0)
    bad = max(0, bad_sequences(plain["text"]) - bad_sequences(real["text"]))
    drawn = {}
    for p in plain["pictures"]:
        drawn[p["url"]] = drawn.get(p["url"], 0) + 1
    missing, svg = [], 0
    for p in real["pictures"]:
        if drawn.get(p["url"], 0) > 0:
            drawn[p["url"]] -= 1
        elif is_svg(p["url"]):
            svg += 1
        else:
            missing.append(p["url"])
    return {"url": url, "words": len(a), "plainWords": len(b), "recall": round(recall, 4),
            "precision": round(precision, 4), "bad": bad, "pictures": len(real["pictures"]),
            "svgPictures": svg, "missingPictures": missing, "chromiumSeconds": round(real["seconds"], 3),
            "plainMs": round(plain.get("ms", 0), 1),
            "passed": recall >= RECALL and precision >= PRECISION and bad == 0 and not missing}


def summarize(name, results):
    if not results:
        return []
    lines = [f"{name}: {len(results)} pages, {sum(r['passed'] for r in results)} pass"]
    for key in ("recall", "precision"):
        values = [r[key] for r in results]
        lines.append(f"  {key}: median {statistics.median(values):.4f}, lowest {min(values):.4f}")
    lines.append(f"  bad sequences: {sum(r['bad'] for r in results)}; pictures Chromium draws: "
                 f"{sum(r['pictures'] for r in results)}, of them SVG (alternative text): "
                 f"{sum(r['svgPictures'] for r in results)}, others missing: "
                 f"{sum(len(r['missingPictures']) for r in results)}")
    worst = sorted(results, key=lambda r: (r["passed"], min(r["recall"] / RECALL, r["precision"] / PRECISION)))[:8]
    lines.append("  worst pages:")
    for r in worst:
        lines.append(f"    {'ok  ' if r['passed'] else 'FAIL'} recall {r['recall']:.4f} precision {r['precision']:.4f} "
                     f"bad {r['bad']} missing pictures {len(r['missingPictures'])} words {r['words']}  {r['url']}")
    return lines


def main():
    arguments = sys.argv[1:]
    full = "--full" in arguments or os.environ.get("EBOOK_COMPARE_FULL") == "1"
    arguments = [a for a in arguments if a != "--full"]
    wine_program = None
    if "--wine" in arguments:
        at = arguments.index("--wine")
        wine_program = arguments[at + 1]
        del arguments[at:at + 2]
    if len(arguments) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    bookc, bookserve, plain_program, work = arguments
    for tool in (bookc, bookserve, plain_program) + ((wine_program,) if wine_program else ()):
        if not os.path.isfile(tool):
            print(f"SKIPPED: {tool} is not built")
            return SKIPPED
    executable = os.environ.get("EBOOK_CHROMIUM") or shutil.which("chromium") or shutil.which("chromium-browser")
    if not executable or not os.access(executable, os.X_OK):
        print(f"SKIPPED: no Chromium to run ({executable or 'none on PATH'}; scripts/setup installs it)")
        return SKIPPED
    if not os.path.isdir(DOCS):
        print(f"SKIPPED: no documentation set at {DOCS} (scripts/setup installs python3-doc)")
        return SKIPPED
    # The browser test's deadline is for its own few pages.
    chromium.DEADLINE = time.monotonic() + (6 * 3600 if full else 1200)
    signal.signal(signal.SIGTERM, chromium.on_stop_signal)
    signal.signal(signal.SIGINT, chromium.on_stop_signal)
    os.makedirs(work, exist_ok=True)
    started = time.monotonic()
    scratch = tempfile.mkdtemp(prefix="plain-compare-")
    browser = None
    display = None
    servers = []
    report = {"width": WIDTH, "full": full, "books": {}}
    failures = []
    try:
        sample_bin = os.path.join(scratch, "sample.bin")
        pack(bookc, SAMPLE_BOOK, sample_bin)
        docs_bin, docs_folder = docs_book(work, bookc)
        doc_pages = pages_of(docs_folder, (".html",))
        if not full:
            by_size = sorted(doc_pages, key=lambda p: os.path.getsize(os.path.join(docs_folder, p)))
            doc_pages = sorted(set(doc_pages[::QUICK_STEP] + by_size[-2:] + by_size[:1]))
        encodings_bin, encoded_pages = encodings_book(scratch, bookc)
        corpus = [("sample book", sample_bin, pages_of(SAMPLE_BOOK, (".htm", ".html"))),
                  ("encodings", encodings_bin, encoded_pages),
                  ("python3-doc", docs_bin, doc_pages)]
        if wine_program:
            display = private_display()
        browser = chromium.Browser(executable, scratch)
        tab = chromium.Tab(browser)
        tab.send("Emulation.setScriptExecutionDisabled", {"value": True})
        for name, book, pages in corpus:
            server = chromium.BookServer(bookserve, book)
            servers.append(server)
            urls = [server.base + p for p in pages]
            plain = read_plain(plain_program, urls, scratch)
            wine = read_plain(wine_program, urls, scratch, wine=WINE_RUN) if wine_program else {}
            results, wine_results = [], []
            for url in urls:
                real = read_with_chromium(tab, url)
                if url not in plain:
                    failures.append(f"{url}: the plain browser gave no page")
                    continue
                results.append(compare(url, real, plain[url]))
                if wine_program:
                    if url in wine:
                        wine_results.append(compare(url, real, wine[url]))
                        if not wine[url].get("paintedMatches", False):
                            failures.append(f"{url}: under Wine, what was painted does not match the layout: "
                                            f"{wine[url].get('paintProblems')}")
                    else:
                        failures.append(f"{url}: the plain browser under Wine gave no page")
            servers.remove(server)
            server.stop()
            report["books"][name] = {"pages": results, "wine": wine_results}
            for line in summarize(name, results):
                print(line)
            for line in summarize(name + " (under Wine)", wine_results):
                print(line)
            failures += [f"{r['url']}: recall {r['recall']} precision {r['precision']} bad {r['bad']} "
                         f"missing pictures {r['missingPictures']}" for r in results + wine_results if not r["passed"]]
        tab.close()
    except (chromium.Failure, chromium.Stopped, subprocess.TimeoutExpired) as problem:
        failures.append(str(problem))
    finally:
        for server in servers:
            server.stop(expect_clean=False)
        if browser:
            browser.close()
        if display:
            # Wine's background services hold the display until they end.
            prefix = os.path.abspath(os.path.join(os.path.dirname(WINE_RUN), "..", "build", "wineprefix64"))
            try:
                subprocess.run(["wineserver", "-w"], env=dict(os.environ, WINEPREFIX=prefix), timeout=60,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except (OSError, subprocess.TimeoutExpired):
                pass
            display.terminate()
            display.wait()
        shutil.rmtree(scratch, ignore_errors=True)
    report["failures"] = failures
    with open(os.path.join(work, "report.json"), "w") as f:
        json.dump(report, f, indent=1)
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    print(f"report in {os.path.join(work, 'report.json')}; {time.monotonic() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
