# The Linux program end to end under a private Xvfb: xdotool types, moves
# and clicks, a small target window logs what arrives, a probe reads the
# input services directly, and a helper presses keys on Xvfb's own keyboard.
. "$(dirname "$0")/../lib.sh"
fail() { record e2e-linux 0 1; exit 1; }
[ -x build/quorvane ] || cmake --build build -j 2 --target quorvane || fail
g++ -O1 -Wall -Wextra -Werror -o build/qv_target tests/e2e/linux/target.cpp -lX11 || fail
g++ -O1 -Wall -Wextra -Werror -o build/qv_real_keys tests/e2e/linux/real_keys.cpp -lXtst -lXi -lX11 || fail
cmake --build build -j 2 --target qv_input_probe || fail
log="$QV_RESULTS/e2e-linux.log"
timeout 900 python3 tests/e2e/linux/run_e2e.py build/quorvane build/qv_target build/qv_input_probe 2>&1 | tee "$log"
line=$(grep -E '^RESULT [0-9]+ [0-9]+$' "$log" | tail -1)
[ -n "$line" ] || fail
set -- $line
record e2e-linux "$2" "$3"
