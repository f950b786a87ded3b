# Sourced by the Windows benchmarks under bench/: ebook_windows_bench TARGET
# builds the 64-bit Windows tree's benchmark program TARGET and runs it
# under Wine, on a private display when none is set; then ends the
# project's wineserver and the display it started. Returns the program's
# status.
# shellcheck source=display.sh
source "$(dirname "${BASH_SOURCE[0]}")/display.sh"

ebook_windows_bench() {
  local target="$1" root status=0
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
  (cd "$root" && EBOOK_TARGETS="$target" scripts/build win64 >/dev/null)
  ebook_private_display
  "$root/scripts/wine-run" --win64 "$root/build/win64/bin/$target.exe" || status=$?
  WINEPREFIX="$root/build/wineprefix64" wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  return "$status"
}
