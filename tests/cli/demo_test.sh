#!/usr/bin/env bash
# Runs the headless demo end to end in a temporary folder and checks its outputs.
#   demo_test.sh SOURCE_DIR BATCH
set -euo pipefail
src="$1" batch="$2"
python=""
for p in /usr/bin/python3 python3; do
  if "$p" -c 'import xlrd' 2>/dev/null; then python="$p"; break; fi
done
if [ -z "$python" ]; then echo "python3 with xlrd is missing"; exit 77; fi
work="$(mktemp -d -t quorvane-demo-test-XXXXXX)"
trap 'rm -rf "$work"' EXIT
QUORVANE_BATCH="$batch" QUORVANE_DEMO_DIR="$work" QT_QPA_PLATFORM=offscreen "$src/scripts/demo" > "$work/demo.log" 2>&1 \
  || { cat "$work/demo.log"; exit 1; }
"$python" "$src/tests/cli/check_demo.py" "$work" "$batch"
