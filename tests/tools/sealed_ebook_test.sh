#!/usr/bin/env bash
# A sealed e-book across the two platforms' cryptography. The build
# machine's bookc (OpenSSL) seals a new book with one reader into an e-book
# program of this tree's host; under Wine (CNG) the program answers 401
# without a login and for a wrong password, serves its start page for the
# reader's password, and ends with status 0 when its window is closed. Then
# the other way round: this tree's bookc.exe seals the book under Wine, and
# the build machine's bookc opens it with the password and refuses a wrong
# one.
#
#   sealed_ebook_test.sh --bookc PATH --bin DIR --wine-run PATH --arch win32|win64
set -euo pipefail

bookc= bin= wine_run= arch=
while [ $# -gt 0 ]; do
  case "$1" in
    --bookc) bookc=$2; shift 2 ;;
    --bin) bin=$(cd "$2" && pwd); shift 2 ;;
    --wine-run) wine_run=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    *) echo "sealed_ebook_test.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$bookc" ] && [ -n "$bin" ] && [ -n "$wine_run" ] && [ -n "$arch" ] || { echo "sealed_ebook_test.sh: missing arguments" >&2; exit 2; }
fail() { echo "FAIL: $*" >&2; exit 1; }
wine() { "$wine_run" "--$arch" "$@"; }

work=$(mktemp -d)
host_pid=
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

"$bookc" new book --title "Sealed Book" > /dev/null || fail "bookc new"
printf '[users]\r\nann=open sesame\r\n' >> book/config.ini
"$bookc" exe book book.exe --host "$bin/ebookhost.exe" --dll "$bin/ebookview.dll" --seal > bookc.out 2>&1 ||
  fail "bookc exe --seal: $(cat bookc.out)"
"$bookc" list book.exe > list.out || fail "bookc list: $(cat list.out)"
grep -qi "sealed" list.out || fail "bookc list does not say the book is sealed: $(cat list.out)"
if grep -q "open sesame" book.exe; then fail "the reader's password is in the e-book program"; fi

# The status of a page asked with curl's extra arguments.
status_of() { curl -s -o /dev/null -w '%{http_code}' --max-time 30 "$@" http://127.0.0.1:5055/index.htm || true; }

started=$SECONDS
EBOOKHOST_QUIET=1 wine "$work/book.exe" 2> host.err &
host_pid=$!
while :; do
  code=$(status_of)
  [ "$code" = 401 ] && break
  [ "$code" = 000 ] || fail "the sealed book answered $code before any login"
  kill -0 "$host_pid" 2>/dev/null || fail "the sealed e-book ended before serving: $(cat host.err)"
  [ $((SECONDS - started)) -lt 60 ] || fail "no answer within 60 s"
  sleep 0.2
done
[ "$(status_of -u 'ann:wrong')" = 401 ] || fail "a wrong password was let in"
page=$(curl -sf --max-time 30 -u 'ann:open sesame' http://127.0.0.1:5055/index.htm) ||
  fail "the reader's password did not open the start page"
[[ "$page" == *"<h1>Sealed Book</h1>"* ]] || fail "the start page was not served decrypted (got: $page)"
wine "$bin/close_window.exe" "Sealed Book" || fail "no viewer window titled 'Sealed Book'"
for _ in $(seq 600); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.1; done
status=0
wait "$host_pid" || status=$?
host_pid=
[ "$status" -eq 0 ] || fail "the sealed e-book ended with status $status: $(cat host.err)"
echo "sealed natively, opened under Wine: ok"

# The other way round.
wine "$bin/bookc.exe" pack book sealed.bin --seal > pack.out 2>&1 || fail "bookc.exe pack --seal: $(cat pack.out)"
if "$bookc" extract sealed.bin locked > locked.out 2>&1; then fail "a sealed book was extracted without a password"; fi
if "$bookc" extract sealed.bin wrong --password "open says me" > wrong.out 2>&1; then
  fail "a sealed book was extracted with a wrong password"
fi
[ ! -e wrong/index.htm ] || fail "a wrong password wrote pages"
"$bookc" extract sealed.bin opened --password "open sesame" > extract.out 2>&1 || fail "bookc extract: $(cat extract.out)"
cmp -s book/index.htm opened/index.htm || fail "the page sealed under Wine did not open to its own bytes"
echo "sealed under Wine, opened natively: ok"
