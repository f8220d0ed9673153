#!/usr/bin/env bash
# Builds DITA (if needed) and decodes the bundled sample recording. With a display
# ($DISPLAY or $WAYLAND_DISPLAY) the main window opens and plays the recording at real-time
# pace, tuned to its 650 Hz tone; without one, dita-decode prints the text. Extra arguments go
# to the program that runs.
set -euo pipefail
cd "$(dirname "$0")/.."
SAMPLE=data/samples/cq-20wpm.ogg
SAMPLE_TONE_HZ=650
if [ ! -f build/build.ninja ] && [ ! -f build/Makefile ]; then
  GEN=()
  command -v ninja >/dev/null && GEN=(-G Ninja)
  cmake -S . -B build "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cmake --build build -j "$(nproc)" --target dita >/dev/null
  exec build/app/dita --input-file "$SAMPLE" --tone "$SAMPLE_TONE_HZ" "$@"
fi
cmake --build build -j "$(nproc)" --target dita-decode >/dev/null
exec build/tools/dita-decode "$@" "$SAMPLE"
