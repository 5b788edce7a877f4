# The installed quorvane-rec on the demo recording: info, the exact round
# trip through dump and build, a picture, and the usage exit status.
. "$(dirname "$0")/../lib.sh"
T=build/quorvane-rec
D=$(mktemp -d)
trap 'rm -rf "$D"' EXIT
passed=0; failed=0
STAGE=rectool-cli
check "info" sh -c "$T info resources/demo.rec | grep -q '^valid:      yes$'"
check "dump" $T dump resources/demo.rec -o "$D/demo.txt"
check "build" $T build "$D/demo.txt" -o "$D/demo.rec"
check "round trip" cmp resources/demo.rec "$D/demo.rec"
check "plot" sh -c "$T plot resources/demo.rec -o '$D/demo.png' && head -c 8 '$D/demo.png' | od -c | grep -q 'P   N   G'"
check "usage status" sh -c "$T frobnicate; [ \$? -eq 2 ]"
check "bad input status" sh -c "printf 'move x=1\n' > '$D/bad.txt'; $T build '$D/bad.txt' -o '$D/bad.rec'; [ \$? -eq 1 ] && [ ! -e '$D/bad.rec' ]"
record rectool-cli "$passed" "$failed"
