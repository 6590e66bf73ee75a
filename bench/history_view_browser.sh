#!/usr/bin/env bash
# How long the history's pages take to show in headless Chromium on the big
# history bench_history_view_bench makes (1,000,000 messages in 2,000
# conversations): from asking for a page to its first screen drawn.
#   bench/history_view_browser.sh path/to/vardel [HISTORY]
set -euo pipefail
vardel=$1
history=${2:-${TMPDIR:-/tmp}/vardel-history-view-bench.db}
here=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$history" ]; then
  echo "history_view_browser: no $history; bench_history_view_bench makes it"
  exit 0
fi
python3 "$here/host/history_view/tests/browser_test.py" --vardel "$vardel" --first-screen "$history"
