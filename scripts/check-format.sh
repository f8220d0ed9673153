#!/usr/bin/env bash
# Checks that the C++ sources are formatted as .clang-format says; lists the files that are
# not and exits 1. Usage: scripts/check-format.sh [files...] (default: every tracked source).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
fi
bad=0
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f"
    bad=1
  fi
done
exit $bad
