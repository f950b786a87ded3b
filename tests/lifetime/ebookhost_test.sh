#!/usr/bin/env bash
# The e-book end to end: bookc makes an e-book program of a small book (with
# the book's icon as the program's own), the program runs under Wine, its page is fetched over HTTP, its window is
# closed from outside, and the program must end with status 0 and free the
# port. Then, with the port held by a server that is not a book's, the
# program must report that the viewer could not start and end with 1.
#
#   ebookhost_test.sh --bin DIR --wine-run PATH --arch win32|win64 --icon ICON
#                     [--bookc PATH] [--emulated]
#
# --bin       the tree's programs: ebookhost.exe, ebookview.dll, bookc.exe,
#             close_window.exe, icon_probe.exe
# --bookc     a book compiler for this machine, used instead of bookc.exe
# --emulated  the programs run through user-mode emulation, where every
#             program start takes about a minute: the time limits are sized
#             for that, and only the first run (the whole life of one
#             e-book) is made.
set -euo pipefail

bin= wine_run= arch= icon= bookc= emulated=0
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin=$(cd "$2" && pwd); shift 2 ;;
    --wine-run) wine_run=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    --icon) icon="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift 2 ;;
    --bookc) bookc=$2; shift 2 ;;
    --emulated) emulated=1; shift ;;
    *) echo "ebookhost_test.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$bin" ] && [ -n "$wine_run" ] && [ -n "$arch" ] && [ -n "$icon" ] || { echo "ebookhost_test.sh: missing arguments" >&2; exit 2; }

fail() { echo "FAIL: $*" >&2; exit 1; }
wine() { "$wine_run" "--$arch" "$@"; }

# Seconds to wait for the first page and for the program to end.
start_limit=60 end_limit=60
if [ "$emulated" = 1 ]; then start_limit=600 end_limit=600; fi

work=$(mktemp -d)
cleanup() {
  # Wine starts the program in processes of its own besides the one this
  # script started; all of them, and only they, run from this script's
  # private folder.
  pkill -f "$work/" 2>/dev/null || true
  [ -n "${blocker:-}" ] && kill "$blocker" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
mkdir book
# The Home button with the sample's glyph (beside the icon), so that the
# first page is the start page.
glyph="$(dirname "$icon")/glyphs/home.bmp"
printf '[params]\r\ntitle=Host Test Book\r\nstart=index.htm\r\nResolution=640x480\r\n[Toolbar]\r\ntbRegister=%s\r\n' \
  "$(od -An -v -tx1 "$glyph" | tr -d ' \n')" > book/config.ini
printf '[Icon]\r\nBitmap=%s\r\n' "$(od -An -v -tx1 "$icon" | tr -d ' \n')" >> book/config.ini
printf '<html><head><title>Host start</title></head><body><p>Served from the e-book</p></body></html>' > book/index.htm

if [ -n "$bookc" ]; then
  "$bookc" exe book book.exe --host "$bin/ebookhost.exe" --dll "$bin/ebookview.dll" > bookc.out 2>&1 ||
    fail "bookc exe: $(cat bookc.out)"
else
  wine "$bin/bookc.exe" exe book book.exe --host "$bin/ebookhost.exe" --dll "$bin/ebookview.dll" > bookc.out 2>&1 ||
    fail "bookc.exe exe: $(cat bookc.out)"
fi
[ -f book.exe ] && [ -f ebookview.dll ] || fail "bookc exe did not write the e-book and the library beside it"
if [ "$emulated" = 0 ]; then
  # The book's icon is the program's own, as Windows reads it.
  wine "$bin/icon_probe.exe" "$work/book.exe" > icon.out || fail "the e-book has no icon of its own: $(cat icon.out)"
fi

# Waits up to $2 seconds for process $1 to end and sets $status to its exit
# status; fails when it does not end in time.
wait_for_end() {
  local pid=$1 limit=$2 waited=0
  while kill -0 "$pid" 2>/dev/null; do
    [ "$waited" -lt $((limit * 10)) ] || fail "the e-book did not end within $limit s"
    sleep 0.1
    waited=$((waited + 1))
  done
  status=0
  wait "$pid" || status=$?
}

started=$SECONDS
EBOOKHOST_QUIET=1 wine "$work/book.exe" 2> host.err &
host_pid=$!

page=
while :; do
  if page=$(curl -sf --max-time 5 http://127.0.0.1:5055/index.htm); then break; fi
  kill -0 "$host_pid" 2>/dev/null || fail "the e-book ended before serving: $(cat host.err)"
  [ $((SECONDS - started)) -lt "$start_limit" ] || fail "no page served within $start_limit s"
  sleep 0.2
done
[[ "$page" == *"Served from the e-book"* ]] || fail "the start page was not served (got: $page)"
echo "first page served after $((SECONDS - started)) s"

# A reader finds the open book in the taskbar and the task switcher: under
# X11 its window is a normal top-level window (not one that skips the
# taskbar, not the transient of the host's hidden window) with the book's
# title and icon.
if [ -n "${DISPLAY:-}" ] && command -v xwininfo >/dev/null && command -v xprop >/dev/null; then
  xid=
  for _ in $(seq 100); do
    xid=$(xwininfo -root -tree 2>/dev/null | awk '/"Host Test Book"/ {print $1; exit}')
    [ -n "$xid" ] && break
    sleep 0.1
  done
  [ -n "$xid" ] || fail "no X window titled 'Host Test Book'"
  props=$(xprop -id "$xid")
  grep -q "_NET_WM_STATE_SKIP_TASKBAR" <<<"$props" && fail "the viewer window skips the taskbar"
  grep -q "^WM_TRANSIENT_FOR" <<<"$props" && fail "the viewer window is a transient: $(grep ^WM_TRANSIENT_FOR <<<"$props")"
  grep -q "_NET_WM_WINDOW_TYPE_NORMAL" <<<"$props" || fail "the viewer window is not a normal window"
  grep -q "^_NET_WM_ICON" <<<"$props" || fail "the viewer window shows no icon"
  echo "the viewer window has a taskbar entry with its title and icon"
else
  echo "NOTE: no X display or no xprop: the taskbar entry was not checked"
fi

wine "$bin/close_window.exe" "Host Test Book" || fail "no viewer window titled 'Host Test Book'"

wait_for_end "$host_pid" "$end_limit"
[ "$status" -eq 0 ] || fail "the e-book ended with status $status: $(cat host.err)"
if curl -sf --max-time 2 http://127.0.0.1:5055/index.htm >/dev/null; then fail "the server still answers"; fi
echo "the e-book ended normally after $((SECONDS - started)) s"

if [ "$emulated" = 1 ]; then
  echo "ebookhost end to end ($arch, emulated): ok"
  exit 0
fi

# The viewer cannot start when port 5055 is held by a server that is not a
# book's (it answers 404): the host reports the failure and ends with 1.
python3 -m http.server 5055 --bind 127.0.0.1 > /dev/null 2>&1 &
blocker=$!
for _ in $(seq 100); do curl -s --max-time 1 -o /dev/null http://127.0.0.1:5055/ && break; sleep 0.1; done
EBOOKHOST_QUIET=1 wine "$work/book.exe" 2> broken.err &
wait_for_end $! "$end_limit"
[ "$status" -eq 1 ] || fail "a viewer that cannot start ended with status $status"
grep -q "could not be started" broken.err || fail "no start-up message: $(cat broken.err)"
kill "$blocker" 2>/dev/null || true
blocker=

# An archive named on the command line that is a folder, or whose directory
# announces a negative number of entries, is reported as such and the viewer
# is never started. Wine reaches this machine's files through drive Z:.
printf '%016d\xfb\xff\xff\xff' 0 > negative.bin
expect_refusal() {
  EBOOKHOST_QUIET=1 wine "$work/book.exe" "Z:$1" 2> refusal.err &
  wait_for_end $! "$end_limit"
  [ "$status" -eq 1 ] || fail "the e-book given $1 ended with status $status"
  grep -qF "This e-book cannot be opened: $2" refusal.err || fail "the e-book given $1 said: $(cat refusal.err)"
}
expect_refusal "$work/book" "\"Z:$work/book\" is a folder, not a book file"
expect_refusal "$work/negative.bin" "The archive is damaged: its directory announces -5 entries"
echo "ebookhost end to end ($arch): ok"
