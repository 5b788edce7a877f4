# The Linux program end to end under a private Xvfb: xdotool types, moves
# and clicks, a small target window logs what arrives.
. "$(dirname "$0")/../lib.sh"
[ -x build/quorvane ] || cmake --build build -j 2 --target quorvane || { record e2e-linux 0 1; exit 1; }
g++ -O1 -Wall -Wextra -Werror -o build/qv_target tests/e2e/linux/target.cpp -lX11 || { record e2e-linux 0 1; exit 1; }
log="$QV_RESULTS/e2e-linux.log"
timeout 600 python3 tests/e2e/linux/run_e2e.py build/quorvane build/qv_target 2>&1 | tee "$log"
line=$(grep -E '^RESULT [0-9]+ [0-9]+$' "$log" | tail -1)
if [ -z "$line" ]; then
  record e2e-linux 0 1
else
  set -- $line
  record e2e-linux "$2" "$3"
fi
