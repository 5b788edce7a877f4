# Helpers for the test stages: each stage writes "passed failed" into
# $QV_RESULTS/<name>.count so scripts/test can add them up (logs sit beside).
QV_RESULTS=${QV_RESULTS:-build/results}
mkdir -p "$QV_RESULTS"

record() { # name passed failed
  echo "$2 $3" > "$QV_RESULTS/$1.count"
  [ "$3" -eq 0 ]
}

run_gtest() { # name binary [args]
  local name=$1; shift
  local log="$QV_RESULTS/$name.log"
  "$@" 2>&1 | tee "$log" | grep -E '^\[  (FAILED|PASSED) |^\[==========\]' 
  local rc=${PIPESTATUS[0]}
  local p f
  p=$(grep -oE '^\[  PASSED  \] [0-9]+' "$log" | grep -oE '[0-9]+$' || true)
  f=$(grep -oE '^\[  FAILED  \] [0-9]+ test' "$log" | grep -oE '[0-9]+' | head -1 || true)
  p=${p:-0}; f=${f:-0}
  [ "$rc" -ne 0 ] && [ "$f" -eq 0 ] && { f=1; tail -30 "$log"; }
  record "$name" "$p" "$f"
}

# Runs one libFuzzer binary on its corpus for a bounded time (QV_FUZZ_SECONDS,
# 20 by default) with leak checks; shows the log's tail when it finds something.
run_fuzzer() { # binary corpus log
  mkdir -p "$2"
  if ASAN_OPTIONS=detect_leaks=1 "$1" -max_total_time="${QV_FUZZ_SECONDS:-20}" \
       -max_len=4096 -timeout=10 -rss_limit_mb=2048 "$2" > "$3" 2>&1; then
    return 0
  fi
  tail -30 "$3"
  return 1
}

# One check of a command-line stage: counts into the stage's passed and
# failed, and names the stage ($STAGE) and the check when it fails. The
# stage's scratch folder $D holds the failing command's stderr.
check() { # description command...
  local what=$1; shift
  if "$@" >/dev/null 2>"$D/err"; then passed=$((passed + 1))
  else failed=$((failed + 1)); echo "$STAGE: $what failed: $(head -3 "$D/err")"; fi
}
