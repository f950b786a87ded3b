#!/usr/bin/env bash
# The plain browser's first paint of the largest page of the documentation
# set (python3-doc, as the comparison with Chromium reads it) against
# Chromium's first paint of the same page served by the same bookserve, in
# the same run. The plain browser runs in the 64-bit Windows tree under Wine
# (bench/plain_page); Chromium headless (bench/plain_page_chromium.py).
#   bench/plain_page.sh [ROUNDS]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
rounds="${1:-5}"
# shellcheck source=../scripts/lib/display.sh
source scripts/lib/display.sh

EBOOK_TARGETS="bookc bookserve" scripts/build native >/dev/null
EBOOK_TARGETS="bench_plain_page" scripts/build win64 >/dev/null

# The documentation as a book, made as the comparison makes it (and kept
# with its other results).
book=build/compare/python3-doc.bin
if [ ! -f "$book" ]; then
  python3 - <<'PY'
import os, sys, time
sys.path.insert(0, "tests/tools")
import bookserve_browser_test as chromium, plain_browser_compare as compare
chromium.DEADLINE = time.monotonic() + 600
os.makedirs("build/compare", exist_ok=True)
compare.docs_book("build/compare", "build/native/bin/bookc")
PY
fi
page=$(cd build/compare/python3-doc && find . -name '*.html' -printf '%s %P\n' | sort -n | tail -1 | cut -d' ' -f2)

out=$(mktemp -d)
serve_pid=
xvfb_pid=
cleanup() {
  [ -n "$serve_pid" ] && kill "$serve_pid" 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    WINEPREFIX="$root/build/wineprefix64" wineserver -w 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$out"
}
trap cleanup EXIT
build/native/bin/bookserve "$book" > "$out/serve" &
serve_pid=$!
for _ in $(seq 100); do grep -q Serving "$out/serve" 2>/dev/null && break; sleep 0.1; done
base=$(sed -n 's/.* at \(http:[^ ]*\/\)[^/]*$/\1/p' "$out/serve")
[ -n "$base" ] || { echo "bookserve did not start" >&2; exit 1; }
url="$base$page"
echo "== $url ($(stat -c %s "build/compare/python3-doc/$page") bytes)"

python3 bench/plain_page_chromium.py "$url" "$rounds" | tee "$out/chromium"
ebook_private_display
scripts/wine-run --win64 build/win64/bin/bench_plain_page.exe "$url" "$rounds" | tee "$out/plain"

chromium_ms=$(sed -n 's/^CHROMIUM_FIRST_PAINT_MS=//p' "$out/chromium")
plain_ms=$(sed -n 's/^PLAIN_FIRST_PAINT_MS=//p' "$out/plain" | tr -d '\r')
awk -v p="$plain_ms" -v c="$chromium_ms" \
  'BEGIN { printf "first paint: plain browser %.1f ms, Chromium %.1f ms: the plain browser takes %.2f times as long\n", p, c, p / c }'
