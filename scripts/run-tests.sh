#!/usr/bin/env bash
# Runs the built test suite (build/ or the folder given) and then says how many tests were
# skipped and why, which CTest's own summary leaves out.
set -uo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
report=$(mktemp)
trap 'rm -f "$report"' EXIT
status=0
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --output-junit "$report" || status=$?
if [ -s "$report" ]; then
    python3 scripts/lib/skipped-tests.py "$report"
fi
exit "$status"
