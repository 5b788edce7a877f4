# Playback into native Wayland windows: headless compositors run as the
# test user (made here when missing; compositors refuse root), a full-screen
# GTK window logs what reaches it. QV_E2E_WAYLAND_USER names another user.
. "$(dirname "$0")/../lib.sh"
fail() { record e2e-wayland 0 1; exit 1; }
user=${QV_E2E_WAYLAND_USER:-qvtest}
id "$user" >/dev/null 2>&1 || useradd -m "$user" || fail
# The KDE cases install the program to a prefix of their own; the route
# probe gives the GNOME and KDE routes' timings.
cmake --build build -j 2 --target quorvane quorvane-rec qv_docs qv_route_probe qv_seat_keyboard || fail
# A recording made on sway plays on a private Xvfb (QV_E2E_DISPLAYS, as the
# X11 stage) into the X11 stage's logging window.
g++ -O1 -Wall -Wextra -Werror -o build/qv_target tests/e2e/linux/target.cpp -lX11 || fail
log="$QV_RESULTS/e2e-wayland.log"
QV_ROUTE_PROBE=build/qv_route_probe timeout 1200 python3 tests/e2e/wayland/run_wayland_e2e.py build/quorvane 2>&1 | tee "$log"
line=$(grep -E '^RESULT [0-9]+ [0-9]+$' "$log" | tail -1)
[ -n "$line" ] || fail
set -- $line
record e2e-wayland "$2" "$3"
