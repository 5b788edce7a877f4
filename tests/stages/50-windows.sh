#!/usr/bin/env bash
# The Windows program: cross-built with MinGW-w64 into build-win/, then
# exercised end to end under Wine on a private X display, with a Wine prefix
# that lives in the build tree.
. "$(dirname "$0")/../lib.sh"
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
B=${QV_WIN_BUILD:-$ROOT/build-win}
NAME=windows

cmake -S "$ROOT" -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null &&
  cmake --build "$B" -j 2 --target quorvane || { record $NAME 0 1; exit 1; }

# The test's own Win32 programs: a window that logs what it receives, and a
# driver that finds windows, reads controls and posts messages.
TOOLS=$B/e2e-tools
mkdir -p "$TOOLS"
for t in qvdriver qvtarget; do
  x86_64-w64-mingw32-g++-posix -Os -s -static -Wall -Wextra -Werror \
    -o "$TOOLS/$t.exe" "$ROOT/tests/e2e/wine/$t.cpp" || { record $NAME 0 1; exit 1; }
done

# A display of our own range that nobody holds (QV_WIN_DISPLAYS="FIRST-LAST"
# moves the range, so several checkouts can test side by side).
XVFB_PID=
span=${QV_WIN_DISPLAYS:-81-85}
for n in $(seq "${span%-*}" "${span#*-}"); do
  [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] && continue
  Xvfb :$n -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  XVFB_PID=$!
  sleep 1
  if kill -0 $XVFB_PID 2>/dev/null; then DISPLAY=:$n; break; fi
  XVFB_PID=
done
[ -n "$XVFB_PID" ] || { echo "no free display in :$span"; record $NAME 0 1; exit 1; }

export DISPLAY WINEPREFIX=$B/wineprefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
cleanup() {
  wineserver -k 2>/dev/null
  kill $XVFB_PID 2>/dev/null
  wait $XVFB_PID 2>/dev/null
}
trap cleanup EXIT

[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
# One server for the whole run, not one per program started.
wineserver -p
# A prefix kept from an earlier run can take its first start well past a
# test's time-out; pay for that start here, outside the tests.
timeout 120 wine "$TOOLS/qvdriver.exe" cursor 1000 5 >/dev/null 2>&1 || true

LOG=$QV_RESULTS/$NAME.log
python3 "$ROOT/tests/e2e/wine/run_wine_e2e.py" "$B/quorvane.exe" "$TOOLS" "$B/e2e-work" \
  "$ROOT/tests/fixtures" 2>&1 | tee "$LOG"
read -r p f < <(sed -n 's/^RESULT \([0-9]*\) \([0-9]*\)$/\1 \2/p' "$LOG" | tail -1)
[ -n "${p:-}" ] || { p=0; f=1; }
record $NAME "$p" "$f"
