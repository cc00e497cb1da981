#!/usr/bin/env bash
# Start-up figures: time from process start to the main window mapped, and peak memory,
# for Quenlor and for a bare Qt main window with an MDI area holding a 74-row list
# (bench/startup_floor.cpp), measured alternately in one run by bench/startup_timer.cpp.
# Usage: bench/startup.sh [runs] [--jack]
# Builds what it runs in build/ (configuring it when it is not yet), on an X server of its
# own, display $QUENLOR_BENCH_DISPLAY (:93 unless set). Needs the packages xvfb and
# libx11-dev besides those of the build (scripts/common.sh), and jackd2 for --jack.
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh" # the build function; works in the repository
runs=${1:-9}
jack=${2:-}
QUENLOR_TARGETS="quenlor startup_floor startup_timer" build build >&2
timer=./build/bench/startup_timer
floor=./build/bench/startup_floor
work=$(mktemp -d)
pids=()
cleanup() {
    # Waited for, so that a run straight after finds the display free.
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

display=${QUENLOR_BENCH_DISPLAY:-:93}
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
[ -S "/tmp/.X11-unix/X${display#:}" ] || { echo "startup.sh: no X server on $display" >&2; exit 1; }

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" JACK_NO_START_SERVER=1
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
if [ "$jack" = "--jack" ]; then
    export JACK_DEFAULT_SERVER=quenlor-startup
    jackd -n quenlor-startup -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
    pids+=($!)
    sleep 2
fi

for i in $(seq "$runs"); do
    DISPLAY=$display "$timer" -- ./build/bin/quenlor | sed 's/^/quenlor /'
    DISPLAY=$display "$timer" -- "$floor" | sed 's/^/floor /'
done | tee "$work/results"

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
declare -A ms kb
for what in quenlor floor; do
    ms[$what]=$(grep "^$what " "$work/results" | sed -n 's/.*map_ms=\([0-9.]*\).*/\1/p' | median)
    kb[$what]=$(grep "^$what " "$work/results" | sed -n 's/.*vmhwm_at_map_kb=\([0-9]*\).*/\1/p' | median)
    echo "$what: median map ${ms[$what]} ms, median peak memory at map ${kb[$what]} kB"
done
awk -v t="${ms[quenlor]}" -v tf="${ms[floor]}" -v m="${kb[quenlor]}" -v mf="${kb[floor]}" \
    'BEGIN {printf "quenlor against the floor: map %.2fx, memory %.2fx\n", t / tf, m / mf}'
