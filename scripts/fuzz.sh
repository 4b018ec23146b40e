#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (address and undefined-behaviour sanitizers
# on) into build-fuzz/ and runs each for SECONDS (default 60), starting from its committed seeds
# in fuzz/corpus/<target>. New inputs go to a scratch corpus, findings to build-fuzz/findings/.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
missing=()
for package in clang-14 libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

if [ ! -f build-fuzz/build.ninja ]; then
    CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZELTIX_FUZZ=ON
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(history_stream ini phonebook tables ppp_files perf_data ansi_log)
fi
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p build-fuzz/findings
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
    scratch=$(mktemp -d)
    log=build-fuzz/findings/"$target".log
    echo "== fuzz_$target for $seconds s"
    status=0
    build-fuzz/fuzz/"fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$target"- \
        "$scratch" fuzz/corpus/"$target" >"$log" 2>&1 || status=$?
    rm -rf "$scratch"
    grep -E '^stat::number_of_executed_units' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log" >&2
        echo "fuzz_$target found a fault (exit $status); the input is in build-fuzz/findings/" >&2
        exit "$status"
    fi
done
