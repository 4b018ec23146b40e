#!/usr/bin/env bash
# The code's one formatting (.clang-format), applied by clang-format 14.
#   scripts/format.sh           formats every C++ file in place
#   scripts/format.sh --check   changes nothing; fails and names the files that differ
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
if ! command -v clang-format-14 >/dev/null; then
    echo "Installing: clang-format-14"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-format-14
fi

mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    clang-format-14 --dry-run -Werror "${files[@]}"
    echo "Formatting: ${#files[@]} files as .clang-format says."
else
    clang-format-14 -i "${files[@]}"
fi
