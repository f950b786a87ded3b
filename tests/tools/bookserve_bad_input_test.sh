#!/usr/bin/env bash
# bookserve given what is not a book: a damaged archive (a negative entry
# count), a missing file. Each must end at once with status 1 and a
# message naming the problem, and serve nothing. A port that is no port
# number ends it with status 2 before any book is read.
#
#   bookserve_bad_input_test.sh BOOKSERVE
set -euo pipefail
bookserve=$1

fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# 16 reserved bytes, then the entry count -5 (little-endian).
printf '%016d\xfb\xff\xff\xff' 0 > "$work/negative.bin"

expect_refusal() {
  local book=$1 message=$2 status=0
  timeout 20 "$bookserve" "$book" > "$work/out" 2> "$work/err" || status=$?
  [ "$status" -eq 1 ] || fail "bookserve $book ended with status $status (stderr: $(cat "$work/err"))"
  grep -qF "$message" "$work/err" || fail "bookserve $book said: $(cat "$work/err")"
  ! grep -q Serving "$work/out" || fail "bookserve $book served: $(cat "$work/out")"
}

expect_refusal "$work/negative.bin" "The archive is damaged: its directory announces -5 entries"
expect_refusal "$work/missing.bin" "Cannot open file \"$work/missing.bin\""
for port in 0 65536 80x -1 ""; do
  status=0
  timeout 20 "$bookserve" "$work/negative.bin" --port "$port" > "$work/out" 2> "$work/err" || status=$?
  [ "$status" -eq 2 ] || fail "bookserve --port '$port' ended with status $status (stderr: $(cat "$work/err"))"
  grep -qF -e "--port wants a port number from 1 to 65535, not \"$port\"" "$work/err" ||
    fail "bookserve --port '$port' said: $(cat "$work/err")"
done
echo "bookserve bad input: ok"
