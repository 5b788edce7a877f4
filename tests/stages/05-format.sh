# Every C++ source keeps the project's clang-format style, so diffs show
# changes, not layout.
. "$(dirname "$0")/../lib.sh"
bad=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror 2>&1 | grep -oE '^[^:]+\.(cpp|h)' | sort -u)
if [ -n "$bad" ]; then
  echo "not formatted (run clang-format -i on them):"
  echo "$bad"
  record format 0 1
else
  record format 1 0
fi
