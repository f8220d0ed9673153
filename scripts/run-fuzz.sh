#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (default 30 s).
# Usage: scripts/run-fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-30}
# Leaks inside system libraries (libsndfile's Ogg Vorbis reader among them) are listed there.
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
GEN=()
command -v ninja >/dev/null && GEN=(-G Ninja)
cmake -S . -B build-fuzz "${GEN[@]}" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDITA_BUILD_FUZZ=ON -DDITA_BUILD_GUI=OFF \
  -DDITA_BUILD_TESTS=OFF -DDITA_BUILD_BENCH=OFF >/dev/null
targets=(config_fuzz)
targets+=(soundfile_fuzz)
cmake --build build-fuzz -j "${JOBS:-$(nproc)}" --target "${targets[@]}"
for t in "${targets[@]}"; do
  bin=$(find build-fuzz -name "$t" -type f -perm -u+x | head -n 1)
  corpus="build-fuzz/corpus-$t"
  mkdir -p "$corpus"
  # Seeds: the shipped default configuration (a whole, valid file) for the loader.
  # Seeds: the shipped default configuration for the loader; short sound files of each kind
  # for the sound-file path.
  if [ "$t" = config_fuzz ] && [ -f data/DefaultDITA.cfc ]; then cp data/DefaultDITA.cfc "$corpus/"; fi
  if [ "$t" = soundfile_fuzz ] && command -v sox >/dev/null; then
    for ext in wav flac ogg; do
      sox -n -r 8000 -c 2 -b 16 "$corpus/seed.$ext" synth 0.3 sine 700 2>/dev/null || true
    done
  fi
  echo "== fuzzing $t for ${SECONDS_EACH} s =="
  "$bin" -max_total_time="$SECONDS_EACH" -max_len=90000 -len_control=0 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
done
