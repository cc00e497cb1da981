#!/usr/bin/env bash
# Start-up figures: time from process start to the main window mapped, and peak memory,
# for Quenlor and for a bare Qt main window with an MDI area holding a 74-row list,
# measured alternately in one run. Usage: bench/startup.sh [runs] [--jack]
# Needs a build in build/ and the packages xvfb and libx11-dev.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}
jack=${2:-}
work=$(mktemp -d)
pids=()
cleanup() {
    # Waited for, so that a run straight after finds the display free.
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

gcc -O2 ../shared/bench/xwaitmap.c -o "$work/xwaitmap" -lX11
g++ -std=c++17 -O2 -fPIC ../shared/bench/qtfloor.cpp -o "$work/qtfloor" $(pkg-config --cflags --libs Qt6Widgets)

display=:93
Xvfb $display -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" JACK_NO_START_SERVER=1
mkdir -p "$XDG_CONFIG_HOME"
if [ "$jack" = "--jack" ]; then
    export JACK_DEFAULT_SERVER=quenlor-startup
    jackd -n quenlor-startup -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
    pids+=($!)
    sleep 2
fi

for i in $(seq "$runs"); do
    DISPLAY=$display "$work/xwaitmap" -- ./build/bin/quenlor | sed 's/^/quenlor /'
    DISPLAY=$display "$work/xwaitmap" -- "$work/qtfloor" | sed 's/^/floor /'
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
