#!/usr/bin/env bash
# The live preview as an author uses it: bookc new makes a book folder,
# bookserve serves the folder, the start page is fetched, the page is edited
# and fetched again until the edit shows (bookserve looks at the folder a few
# times a second; the test allows 30 s), then bookserve is stopped.
#
#   bookserve_live_cycle_test.sh BOOKC BOOKSERVE [--wine-run PATH]
#
# --wine-run: BOOKSERVE is bookserve.exe, run under 64-bit Wine; the folder
# is named by its Wine path (drive Z:).
set -euo pipefail
bookc=$1 bookserve=$2 wine_run=
[ "${3:-}" = --wine-run ] && wine_run=$4

fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$bookc" new "$work/book" --title "Live Cycle" > /dev/null || fail "bookc new"
folder="$work/book"
if [ -n "$wine_run" ]; then
  folder="Z:$work/book"
  "$wine_run" --win64 "$bookserve" "$folder" > "$work/out" 2> "$work/err" &
else
  "$bookserve" "$folder" > "$work/out" 2> "$work/err" &
fi
pid=$!

address=
for _ in $(seq 600); do
  address=$(sed -n 's/^Serving "Live Cycle" at \(http:[^ ]*\)\r\{0,1\}$/\1/p' "$work/out" | tr -d '\r')
  [ -n "$address" ] && break
  kill -0 "$pid" 2>/dev/null || fail "bookserve ended: $(cat "$work/err" "$work/out")"
  sleep 0.1
done
[ -n "$address" ] || fail "bookserve did not start serving: $(cat "$work/out" "$work/err")"
grep -q "0 errors, 0 warnings, 0 info" "$work/out" || fail "the new book has findings: $(cat "$work/out")"
page=$(curl -sf --max-time 10 "$address") || fail "no start page at $address"
[[ "$page" == *"<h1>Live Cycle</h1>"* ]] || fail "the start page is not the new book's: $page"

# Saved as most editors save: the new text under a temporary name, renamed.
printf '<html><head><title>Edited</title></head><body><p>Edited while served</p></body></html>' \
  > "$work/book/index.htm.new"
mv "$work/book/index.htm.new" "$work/book/index.htm"
edited=$SECONDS
while :; do
  page=$(curl -sf --max-time 10 "$address") || fail "the start page went away during the repacking"
  [[ "$page" == *"Edited while served"* ]] && break
  [ $((SECONDS - edited)) -lt 30 ] || fail "the edit was not served within 30 s: $(cat "$work/out")"
  sleep 0.1
done
echo "the edit was served after $((SECONDS - edited)) s or less"
grep -q "index.htm changed: packed again" "$work/out" || fail "bookserve did not say what changed: $(cat "$work/out")"

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
if [ -z "$wine_run" ]; then
  [ "$status" -eq 0 ] || fail "bookserve ended with status $status after SIGTERM"
fi
echo "bookserve live cycle: ok"
