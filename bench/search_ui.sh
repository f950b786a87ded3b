#!/usr/bin/env bash
# The viewer's search against a plain loop (bench/search_ui), built in the
# 64-bit Windows tree and run under Wine.
set -euo pipefail
# shellcheck source=../scripts/lib/windows_bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/windows_bench.sh"
ebook_windows_bench bench_search_ui
