#!/usr/bin/env bash
# The install command of the README's two commands, run exactly as the README gives it, in a
# root shell and as an ordinary user: both must work on a machine without sudo (a fresh Debian
# root shell has none). It only checks here, because every package is already present; a
# user who lacks packages and sudo gets a message saying what is missing and what to do.
# Usage: readme_commands_test.sh SOURCE_DIR
set -uo pipefail
src=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

mapfile -t commands < <(grep -E '^    .*scripts/install-deps\.sh' "$src/README.md" | sed 's/^ *//')
[ "${#commands[@]}" -eq 2 ] || fail "expected the README's two commands, found ${#commands[@]}"

if ! (cd "$src" && scripts/install-deps.sh >/dev/null 2>&1); then
  echo "packages are missing on this machine; the commands would install them" >&2
  exit 77
fi

run_as_user() {
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/tmp bash -c "$1"
  else
    bash -c "$1"
  fi
}

for command in "${commands[@]}"; do
  install=${command%%&&*}
  out=$(cd "$src" && bash -c "$install" 2>&1) || fail "'$install' as $(id -un): $out"
  out=$(run_as_user "cd '$src' && $install" 2>&1) || fail "'$install' as a user: $out"
done

# A user without sudo who lacks a package is told what is missing and how to install it.
if ! command -v sudo >/dev/null; then
  fake=$(mktemp -d)
  trap 'rm -rf "$fake"' EXIT
  printf '#!/bin/sh\nexit 1\n' >"$fake/dpkg-query"
  chmod 755 "$fake" "$fake/dpkg-query"
  out=$(run_as_user "cd '$src' && PATH='$fake':\$PATH scripts/install-deps.sh" 2>&1) &&
    fail "install-deps succeeded although every package looked missing"
  grep -q "these packages are missing: build-essential" <<<"$out" || fail "no list of missing packages: $out"
  grep -q "run this script as root" <<<"$out" || fail "no advice: $out"
fi
echo "README commands work as root and as a user"
