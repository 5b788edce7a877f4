# The same unit tests under AddressSanitizer and UBSan.
. "$(dirname "$0")/../lib.sh"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_TESTS_ONLY=ON -DQV_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null || exit 1
cmake --build build-asan -j "$(nproc)" --target quorvane_tests || exit 1
ASAN_OPTIONS=detect_leaks=1 run_gtest unit-asan build-asan/quorvane_tests
