#!/usr/bin/env bash
# A signed e-book end to end: the build machine's bookc makes a new book into
# an e-book program of this tree's host and signs it with a certificate made
# here; the signature verifies, the e-book runs under Wine, serves its start
# page and ends with status 0 when its window is closed; a changed byte
# breaks the signature. No time-stamp server is contacted.
#
#   signed_ebook_test.sh --bookc PATH --bin DIR --wine-run PATH
#
# Exits 77 (skipped) where osslsigncode or openssl is missing.
set -euo pipefail

bookc= bin= wine_run=
while [ $# -gt 0 ]; do
  case "$1" in
    --bookc) bookc=$2; shift 2 ;;
    --bin) bin=$(cd "$2" && pwd); shift 2 ;;
    --wine-run) wine_run=$2; shift 2 ;;
    *) echo "signed_ebook_test.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed (scripts/setup installs it)"; exit 77; }
done

work=$(mktemp -d)
host_pid=
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=Book Author" \
  -addext extendedKeyUsage=codeSigning 2>/dev/null || fail "openssl could not make a certificate"
printf 'book signing\n' > password
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.pfx -passout file:password || fail "openssl pkcs12"

"$bookc" new book --title "Signed Book" > /dev/null || fail "bookc new"
"$bookc" exe book book.exe --host "$bin/ebookhost.exe" --dll "$bin/ebookview.dll" \
  --sign cert.pfx --sign-password-file password > bookc.out 2>&1 || fail "bookc exe --sign: $(cat bookc.out)"
grep -q "signed by osslsigncode" bookc.out || fail "bookc did not say it signed: $(cat bookc.out)"
osslsigncode verify -CAfile cert.pem -in book.exe > verify.out 2>&1 || fail "the signature does not verify: $(cat verify.out)"
"$bookc" list book.exe > list.out || fail "bookc list finds no book in the signed program"
grep -q "index.htm" list.out || fail "the signed program's book lacks its start page: $(cat list.out)"

started=$SECONDS
EBOOKHOST_QUIET=1 "$wine_run" --win64 "$work/book.exe" 2> host.err &
host_pid=$!
page=
while :; do
  if page=$(curl -sf --max-time 5 http://127.0.0.1:5055/index.htm); then break; fi
  kill -0 "$host_pid" 2>/dev/null || fail "the signed e-book ended before serving: $(cat host.err)"
  [ $((SECONDS - started)) -lt 60 ] || fail "no page served within 60 s"
  sleep 0.2
done
[[ "$page" == *"<h1>Signed Book</h1>"* ]] || fail "the start page was not served (got: $page)"
"$wine_run" --win64 "$bin/close_window.exe" "Signed Book" || fail "no viewer window titled 'Signed Book'"
for _ in $(seq 600); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.1; done
status=0
wait "$host_pid" || status=$?
host_pid=
[ "$status" -eq 0 ] || fail "the signed e-book ended with status $status: $(cat host.err)"

# One byte of the book changed, in the middle of the appended archive.
size=$(stat -c %s book.exe)
cp book.exe changed.exe
printf '\x5a' | dd of=changed.exe bs=1 seek=$((size - 4096)) conv=notrunc status=none
if osslsigncode verify -CAfile cert.pem -in changed.exe > changed.out 2>&1; then
  fail "a changed e-book still verifies"
fi
echo "signed e-book: verifies, runs, and a changed byte breaks it: ok"
