#!/usr/bin/env bash
# The e-book end to end: bookc makes an e-book program of a small book, the
# program runs under Wine, its page is fetched over HTTP, its window is
# closed from outside, and the program must end with status 0 and free the
# port. Also checks the export table of the viewer library.
#
#   ebookhost_test.sh BINDIR WINE_RUN OBJDUMP ICON
set -euo pipefail
bin=$(cd "$1" && pwd)
wine_run=$2
objdump=$3
icon="$(cd "$(dirname "$4")" && pwd)/$(basename "$4")"

fail() { echo "FAIL: $*" >&2; exit 1; }

# One export, by name and ordinal 1, and no MinGW runtime DLL among the imports.
exports=$("$objdump" -p "$bin/ebookview.dll")
table=$(echo "$exports" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' || true)
[ "$(echo "$table" | wc -l)" -eq 1 ] || fail "expected exactly one export, got: $table"
echo "$table" | grep -Eq '\[\s*0\] ShowEbook$' || fail "the export is not ShowEbook: $table"
echo "$exports" | grep -Eq '^\s+1\s+[0-9a-f]+\s+ShowEbook$|ordinal base 1|Ordinal Base\s+1' ||
  echo "$exports" | grep -E 'Ordinal Base' | grep -q '1' || fail "ShowEbook is not ordinal 1"
if echo "$exports" | grep -E 'DLL Name:' | grep -Eiq 'libstdc|libgcc|libwinpthread|zlib1'; then
  fail "the library needs a MinGW DLL: $(echo "$exports" | grep 'DLL Name:')"
fi

work=$(mktemp -d)
host_pid=
cleanup() {
  # The Wine process outlives its wrapper script; it is found by its path.
  [ -n "$host_pid" ] && pkill -f "$work/" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
mkdir book
printf '[params]\r\ntitle=Host Test Book\r\nstart=index.htm\r\nResolution=640x480\r\n[Toolbar]\r\ntbRegister=00\r\n' > book/config.ini
printf '[Icon]\r\nBitmap=%s\r\n' "$(od -An -v -tx1 "$icon" | tr -d ' \n')" >> book/config.ini
printf '<html><head><title>Host start</title></head><body><p>Served from the e-book</p></body></html>' > book/index.htm

"$wine_run" "$bin/bookc.exe" exe book book.exe --host "$bin/ebookhost.exe" --dll "$bin/ebookview.dll" > bookc.out ||
  fail "bookc exe: $(cat bookc.out)"
[ -f book.exe ] && [ -f ebookview.dll ] || fail "bookc exe did not write the e-book and the library beside it"

EBOOKHOST_QUIET=1 "$wine_run" "$work/book.exe" 2> host.err &
host_pid=$!

page=
for _ in $(seq 600); do
  if page=$(curl -sf --max-time 5 http://127.0.0.1:5055/index.htm); then break; fi
  kill -0 "$host_pid" 2>/dev/null || fail "the e-book ended before serving: $(cat host.err)"
  sleep 0.1
done
[[ "$page" == *"Served from the e-book"* ]] || fail "the start page was not served (got: $page)"

"$wine_run" "$bin/close_window.exe" "Host Test Book" || fail "no viewer window titled 'Host Test Book'"

status=0
wait "$host_pid" || status=$?
host_pid=
[ "$status" -eq 0 ] || fail "the e-book ended with status $status: $(cat host.err)"
if curl -sf --max-time 2 http://127.0.0.1:5055/index.htm >/dev/null; then fail "the server still answers"; fi

# The viewer cannot start when port 5055 is held by a server that is not a
# book's (it answers 404): the host reports the failure and ends with 1.
python3 -m http.server 5055 --bind 127.0.0.1 > /dev/null 2>&1 &
blocker=$!
for _ in $(seq 100); do curl -s --max-time 1 -o /dev/null http://127.0.0.1:5055/ && break; sleep 0.1; done
status=0
EBOOKHOST_QUIET=1 "$wine_run" "$work/book.exe" 2> broken.err || status=$?
kill "$blocker" 2>/dev/null || true
[ "$status" -eq 1 ] || fail "a viewer that cannot start ended with status $status"
grep -q "could not be started" broken.err || fail "no start-up message: $(cat broken.err)"
echo "ebookhost end to end: ok"
