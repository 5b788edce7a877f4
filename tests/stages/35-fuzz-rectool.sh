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
  if run_fuzzer "$B/fuzz_rectool_$f" "$corpus" "$B/fuzz-$f.log"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done
record fuzz-rectool "$passed" "$failed"
