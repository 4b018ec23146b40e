#!/usr/bin/env bash
# What the running program costs per second, beside the least a connection watcher can do.
#
#   bench/cpu/cpu-per-second.sh [--rows N] [--session] [--peers] [--shown] [--hangup-wait] [--perf FILE] [--callgrind FILE] [--strace FILE] [SECONDS]
#
# Starts build/bin/zeltix in a folder of its own (in a notification area under Xvfb when there is
# no display), with a history of N rows (default 0), optionally with a connected session, with
# pppd peers configured but not running, with its main window shown (a second start shows it),
# or waiting for the line of a blocked entry it has hung up (the service keeps the line listed
# for the whole measurement), and beside it build/bench/minimal_poll (the bare poll as
# a process of its own) and build/bench/qt_poll (the same poll in the least a Qt desktop program
# is: a hidden window, a tray icon, one toolkit timer). After a warm-up it measures all three for
# SECONDS (default 30) from the kernel's own CPU time of every thread
# (/proc/PID/task/*/schedstat, nanoseconds) and prints the microseconds per second of each and
# the ratios. With --perf, perf records the program's call graphs meanwhile into FILE; with
# --callgrind the program runs under callgrind, which counts its instructions over the
# measurement only (its CPU figures then are callgrind's, not the program's); with --strace,
# FILE gets the count of the program's system calls over the measurement. The machine's load weighs on all alike, so only the ratios hold from run to run.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
rows=0 session=0 peers=0 shown=0 hangup=0 perf= callgrind= strace= seconds=30
while [ $# -gt 0 ]; do
    case "$1" in
        --rows) rows=$2; shift 2 ;;
        --session) session=1; shift ;;
        --peers) peers=1; shift ;;
        --shown) shown=1; shift ;;
        --hangup-wait) hangup=1; shift ;;
        --perf) perf=$(realpath -m "$2"); shift 2 ;;
        --callgrind) callgrind=$(realpath -m "$2"); shift 2 ;;
        --strace) strace=$(realpath -m "$2"); shift 2 ;;
        *) seconds=$1; shift ;;
    esac
done
# The measuring tools the options need, installed when missing.
wanted=()
[ -z "$perf" ] || wanted+=(linux-perf)
[ -z "$callgrind" ] || wanted+=(valgrind)
[ -z "$strace" ] || wanted+=(strace)
missing=()
for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
for f in build/bin/zeltix build/bin/librasapi32.so build/bin/rasdial build/bench/minimal_poll build/bench/qt_poll \
    build/bench/make_history; do
    [ -x "$f" ] || { echo "$f is missing: build with ./test first" >&2; exit 1; }
done

if [ -z "${DISPLAY:-}" ] && [ -z "${INSIDE_XVFB:-}" ]; then
    exec env INSIDE_XVFB=1 xvfb-run -a -s "-screen 0 1280x800x24" "$0" --rows "$rows" \
        $([ "$session" = 1 ] && echo --session) $([ "$peers" = 1 ] && echo --peers) \
        $([ "$shown" = 1 ] && echo --shown) $([ "$hangup" = 1 ] && echo --hangup-wait) ${perf:+--perf "$perf"} \
        ${callgrind:+--callgrind "$callgrind"} ${strace:+--strace "$strace"} "$seconds"
fi

dir=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT
cp build/bin/zeltix build/bin/librasapi32.so build/bin/rasdial "$dir/"
export ZELTIX_RAS_DIR="$dir/ras" LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8
export ZELTIX_SYSTEM_ROOT="$dir/system"
mkdir -p "$dir/system/etc/ppp/peers" "$dir/system/run" "$dir/system/proc"
if [ "$peers" = 1 ]; then
    for name in dsl mobil isdn; do
        printf 'ttyUSB0\n115200\nnoauth\ndefaultroute\n' >"$dir/system/etc/ppp/peers/$name"
    done
    # The machine's own processes are where a dialling pppd would be found.
    rmdir "$dir/system/proc" && ln -s /proc "$dir/system/proc"
fi
"$dir/rasdial" --add Provider >/dev/null
[ "$rows" -gt 0 ] && build/bench/make_history "$dir" "$rows"
[ "$session" = 1 ] && "$dir/rasdial" Provider --connect-after 0 >/dev/null
[ "$hangup" = 1 ] && printf '[Provider]\r\nKosten=1,00\r\nChecked=0\r\n' >"$dir/conns.ini"

if command -v trayer >/dev/null; then
    trayer --edge top --align left --widthtype pixel --width 100 --height 24 --SetDockType true \
        --transparent false >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
fi
if [ -n "$callgrind" ]; then
    (cd "$dir" && exec valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$callgrind" ./zeltix) \
        >/dev/null 2>&1 &
else
    (cd "$dir" && exec ./zeltix) >/dev/null 2>&1 &
fi
zeltix=$!
pids+=("$zeltix")
if [ "$shown" = 1 ]; then
    sleep 2
    (cd "$dir" && ./zeltix) >/dev/null 2>&1 || true
fi
if [ "$hangup" = 1 ]; then
    "$dir/rasdial" Provider --connect-after 0 --linger $((seconds + 60)) >/dev/null
    for _ in $(seq 100); do
        "$dir/rasdial" | grep -q RASCS_Disconnected && break
        sleep 0.1
    done
    "$dir/rasdial" | grep -q RASCS_Disconnected || { echo "the program did not hang up" >&2; exit 1; }
fi
build/bench/minimal_poll "$ZELTIX_RAS_DIR" &
poll=$!
pids+=("$poll")
build/bench/qt_poll "$ZELTIX_RAS_DIR" >/dev/null 2>&1 &
qtpoll=$!
pids+=("$qtpoll")
sleep 5

cpu_ns() {
    local total=0 t
    for t in /proc/"$1"/task/*/schedstat; do
        read -r ns _ <"$t" || continue
        total=$((total + ns))
    done
    echo "$total"
}
z0=$(cpu_ns "$zeltix") p0=$(cpu_ns "$poll") q0=$(cpu_ns "$qtpoll")
if [ -n "$callgrind" ]; then
    sleep 10 # the start-up under callgrind
    callgrind_control -i on "$zeltix" >/dev/null
    sleep "$seconds"
    callgrind_control -i off "$zeltix" >/dev/null
    callgrind_control -d "$zeltix" >/dev/null
elif [ -n "$strace" ]; then
    timeout -s INT "$seconds" strace -c -f -o "$strace" -p "$zeltix" >/dev/null 2>&1 || true
elif [ -n "$perf" ]; then
    perf record -q -e task-clock -c 50000 --call-graph dwarf,16384 -o "$perf" -p "$zeltix" -- sleep "$seconds" >/dev/null 2>&1
else
    sleep "$seconds"
fi
z1=$(cpu_ns "$zeltix") p1=$(cpu_ns "$poll") q1=$(cpu_ns "$qtpoll")
zus=$(((z1 - z0) / 1000 / seconds)) pus=$(((p1 - p0) / 1000 / seconds)) qus=$(((q1 - q0) / 1000 / seconds))
echo "rows=$rows session=$session peers=$peers shown=$shown hangup-wait=$hangup seconds=$seconds"
echo "zeltix:       $zus µs CPU per second ($(awk -v z="$zus" 'BEGIN { printf "%.2f", z / 10000 }') % of a core)"
echo "minimal poll: $pus µs CPU per second"
echo "Qt poll:      $qus µs CPU per second"
awk -v z="$zus" -v p="$pus" -v q="$qus" 'BEGIN {
    if (p > 0) printf "ratio:        %.2f to the minimal poll, %.2f for the Qt poll\n", z / p, q / p
    if (q > 0) printf "              %.2f to the Qt poll\n", z / q
}'
# RSS counts the pages of the shared libraries, which every Qt program on the desktop shares;
# RssAnon is the process's own memory.
rss() { awk '/VmRSS|RssAnon/ { printf "%s %s %s  ", $1, $2, $3 }' /proc/"$1"/status; }
echo "zeltix:       $(rss "$zeltix")"
echo "Qt poll:      $(rss "$qtpoll")"
