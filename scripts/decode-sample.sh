#!/usr/bin/env bash
# Builds DITA (if needed) and decodes the bundled sample recording, printing the text.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/tools/dita-decode ]; then
  GEN=()
  command -v ninja >/dev/null && GEN=(-G Ninja)
  cmake -S . -B build "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j "$(nproc)" --target dita-decode >/dev/null
exec build/tools/dita-decode "$@" data/samples/cq-20wpm.ogg
