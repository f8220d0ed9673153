#!/usr/bin/env bash
# Checks that the C++ sources are formatted as .clang-format says; lists the files that are
# not and exits 1. Usage: scripts/check-format.sh [files...] (default: every tracked source).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  files=("$@")
else
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
  else
    # A copy of the tree without its history: every source outside the build folders.
    mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -type f -print | sort)
  fi
fi
if [ "${#files[@]}" -eq 0 ]; then
  echo "check-format: no sources found to check" >&2
  exit 1
fi
bad=0
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f"
    bad=1
  fi
done
exit $bad
