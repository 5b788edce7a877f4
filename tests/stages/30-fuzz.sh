# Bounded fuzzing of the engine: arbitrary files through the loader (then
# saved and played), arbitrary text through the number and name routines and
# through the command-line split, under AddressSanitizer and UBSan with leak
# checks. One pass or failure per fuzzer.
. "$(dirname "$0")/../lib.sh"
B=build-fuzz
cmake -S . -B $B -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null || exit 1
FUZZERS="load_recording parse_decimal argument_text"
targets=""
for f in $FUZZERS; do targets="$targets fuzz_$f"; done
cmake --build $B -j 2 --target $targets || exit 1

# A few well-formed recordings give the loader's fuzzer a head start.
seed() { mkdir -p "$B/corpus-load_recording"; printf "$2" > "$B/corpus-load_recording/$1"; }
seed zero.rec '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
seed key.rec '\0\1\0\0\101\36\0\0\36\0\0\0\350\3\0\0\42\42\0\0\1\1\0\0\101\36\0\0\36\0\0\0\364\3\0\0\42\42\0\0'
seed move.rec '\0\2\0\0\12\0\0\0\24\0\0\0\0\0\0\0\0\0\0\0\0\2\0\0\13\0\0\0\24\0\0\0\1\0\0\0\0\0\0\0'

passed=0; failed=0
for f in $FUZZERS; do
  if run_fuzzer "$B/fuzz_$f" "$B/corpus-$f" "$B/fuzz-$f.log"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done
record fuzz "$passed" "$failed"
