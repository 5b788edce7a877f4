# The unit tests against the fake desktop, in the plain build.
. "$(dirname "$0")/../lib.sh"
run_gtest unit build/quorvane_tests
