#!/usr/bin/env bash
# The skinned frame and menus against the platform's own (bench/frame_menu):
# builds the 64-bit Windows tree's benchmark and runs it under Wine on a
# private display when none is set.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
EBOOK_TARGETS=bench_frame_menu scripts/build win64 >/dev/null
# shellcheck source=../scripts/lib/display.sh
source scripts/lib/display.sh
ebook_private_display
status=0
scripts/wine-run --win64 build/win64/bin/bench_frame_menu.exe || status=$?
WINEPREFIX="$root/build/wineprefix64" wineserver -k 2>/dev/null || true
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
exit "$status"
