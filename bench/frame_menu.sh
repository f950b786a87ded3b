#!/usr/bin/env bash
# The skinned frame and menus against the platform's own (bench/frame_menu),
# built in the 64-bit Windows tree and run under Wine.
set -euo pipefail
# shellcheck source=../scripts/lib/windows_bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/windows_bench.sh"
ebook_windows_bench bench_frame_menu
