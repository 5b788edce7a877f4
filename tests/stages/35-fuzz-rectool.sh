# Bounded fuzzing of quorvane-rec: arbitrary .rec bytes through info, dump
# (with the exact round trip) and plot, and arbitrary text through build,
# under AddressSanitizer with leak checks. One pass or failure per fuzzer.
. "$(dirname "$0")/../lib.sh"
B=build-fuzz-rectool
cmake -S . -B $B -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null || exit 1
cmake --build $B -j "$(nproc)" --target fuzz_rectool_rec fuzz_rectool_text || exit 1
SEEDS=tests/fuzz/rectool_seeds
passed=0; failed=0
for f in rec text; do
  corpus=$B/corpus-$f
  mkdir -p "$corpus"
  if [ $f = rec ]; then cp $SEEDS/*.rec "$corpus"/; else cp $SEEDS/*.txt "$corpus"/; fi
  if ASAN_OPTIONS=detect_leaks=1 "$B/fuzz_rectool_$f" -max_total_time="${QV_FUZZ_SECONDS:-20}" \
       -max_len=4096 -timeout=10 -rss_limit_mb=2048 "$corpus" > "$B/fuzz-$f.log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); tail -30 "$B/fuzz-$f.log"
  fi
done
record fuzz-rectool "$passed" "$failed"
