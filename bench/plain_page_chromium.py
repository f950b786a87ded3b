#!/usr/bin/env python3
"""Chromium's first paint of a page: headless, over its DevTools pipe (as the
browser tests drive it), a fresh browser context per round so nothing is
cached; the paint timing the page itself reports (first-paint, from the
start of the navigation). Prints the best and the median.

  plain_page_chromium.py URL [ROUNDS]
"""
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tools"))
import bookserve_browser_test as chromium  # noqa: E402

PAINT = """(() => { const p = performance.getEntriesByType('paint');
  const f = p.find(e => e.name === 'first-paint') || p.find(e => e.name === 'first-contentful-paint');
  return f ? f.startTime : null; })()"""


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    url = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    executable = os.environ.get("EBOOK_CHROMIUM") or shutil.which("chromium") or shutil.which("chromium-browser")
    if not executable:
        print("no Chromium to run (scripts/setup installs it)", file=sys.stderr)
        return 1
    chromium.DEADLINE = time.monotonic() + 600
    work = tempfile.mkdtemp(prefix="plain-page-bench-")
    browser = chromium.Browser(executable, work)
    times = []
    try:
        for _ in range(rounds + 1):
            tab = chromium.Tab(browser)
            tab.goto(url)
            value = None
            end = time.monotonic() + 10
            while value is None and time.monotonic() < end:
                value = tab.value(PAINT)
                if value is None:
                    time.sleep(0.05)
            tab.close()
            if value is not None:
                times.append(value)
    finally:
        browser.close()
        shutil.rmtree(work, ignore_errors=True)
    if len(times) < 2:
        print("Chromium reported no first paint", file=sys.stderr)
        return 1
    times = times[1:]  # the first round starts the browser's own machinery
    print(f"Chromium first paint: best {min(times):.1f} ms, median {statistics.median(times):.1f} ms "
          f"({len(times)} rounds)")
    print(f"CHROMIUM_FIRST_PAINT_MS={min(times):.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
