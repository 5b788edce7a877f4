#!/usr/bin/env bash
# CPU share of the program while it sits idle, and while a recording runs
# with nobody touching the keyboard or mouse, on a private Xvfb.
# usage: bench/idle_recording_cpu.sh [QUORVANE_BINARY] [SECONDS]
set -eu
bin=$(realpath "${1:-build/quorvane}")
secs=${2:-10}
work=$(mktemp -d /tmp/qv-bench.XXXXXX)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
for n in 91 92 93 94 95; do
  [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] || { disp=$n; break; }
done
[ -n "${disp:-}" ] || { echo "no free display in :91-:95" >&2; exit 1; }
Xvfb :$disp -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:$disp
for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$disp ] && break; sleep 0.05; done
xdotool mousemove 5 5
cp "$bin" "$work/quorvane"
(cd "$work" && exec ./quorvane) &
qv=$!
pids+=($qv)
sleep 1

ticks() { awk '{print $14 + $15}' /proc/$qv/stat; }
hz=$(getconf CLK_TCK)
measure() { # label
  local t0 t1 w0 w1
  t0=$(ticks); w0=$(date +%s.%N)
  sleep "$secs"
  t1=$(ticks); w1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" -v w0="$w0" -v w1="$w1" -v hz="$hz" -v l="$1" \
    'BEGIN { printf "%-28s %.2f%% of one core (%d ticks of CPU in %.1f s)\n", l, 100 * (b - a) / hz / (w1 - w0), b - a, w1 - w0 }'
}
measure "idle, hotkey poll only:"
xdotool keydown ctrl+shift+alt+r sleep 0.2 keyup ctrl+shift+alt+r
sleep 0.5
xwininfo -root -children | grep -q '"REC ' || { echo "recording did not start" >&2; exit 1; }
measure "recording, no input:"
