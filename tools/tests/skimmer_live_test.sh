#!/bin/bash
# skimmer_live_test.sh SKIMMER SEND [DITA]: live I/Q from a sound card, for real.
#
# Run inside scripts/with-pulseaudio.sh. A stereo 48 kHz null sink stands in for a sound-card
# SDR: an I/Q recording of a station calling CQ 1 kHz above 7030 kHz is played into it, and the
# skimmer reads the sink's monitor through PortAudio (--sound) and, where SoapySDR's audio module
# is installed, through SoapySDR (--soapy "driver=audio,chan=stereo_iq"). Each must spot the
# call at 7031.0 kHz, and not its image at 7029.0 kHz. Given DITA, the window takes the same
# live input (--iq-sound) on the offscreen platform and must quit by itself on time, its
# player thread waiting on the sound card notwithstanding. Exit status 77 (skipped) without the tools to make and play the recording.
set -euo pipefail
skimmer=$1
send=$2
dita=${3:-}
for tool in sox soxi paplay pactl; do
  command -v "$tool" >/dev/null || { echo "skimmer_live_test: $tool is missing" >&2; exit 77; }
done
dir=$(mktemp -d "${TMPDIR:-/tmp}/dita-skim-live.XXXXXX")
player=
trap '[ -n "$player" ] && kill "$player" 2>/dev/null; rm -rf "$dir"' EXIT

sink=dita_iq
pactl load-module module-null-sink sink_name=$sink rate=48000 channels=2 >/dev/null
pactl set-default-source $sink.monitor

# The recording: the keyed tone with noise, made analytic by sox's Hilbert filter (which
# makes up for its own delay): I = cos, Q = sin puts the tone 1 kHz above the centre.
"$send" --wpm 25 --tone 1000 --out "$dir/tone.wav" "CQ CQ DE DL2XYZ DL2XYZ K" >/dev/null
sox "$dir/tone.wav" -r 48000 "$dir/tone48.wav" pad 1 3
sox -n -r 48000 -c 1 "$dir/noise.wav" synth "$(soxi -D "$dir/tone48.wav")" whitenoise vol 0.05
sox -m "$dir/tone48.wav" "$dir/noise.wav" "$dir/mix.wav"
sox "$dir/mix.wav" "$dir/q.wav" hilbert -n 257
sox -M "$dir/mix.wav" "$dir/q.wav" -b 16 "$dir/iq.wav"

# Live input needs a build that keeps pace with it. The recording decoded as fast as the build
# can must give the spot, and a build that takes more than a third of the recording's length
# for it (a sanitizer build on a busy machine) cannot follow the sound card: skipped.
duration=$(soxi -D "$dir/iq.wav")
start=$(date +%s.%N)
"$skimmer" --iq "$dir/iq.wav" --center-hz 7030000 --fast --telnet 127.0.0.1:0 >"$dir/file.out" 2>/dev/null || true
took=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
if ! grep -Eq '^DX de DITA-#: +7031\.0  DL2XYZ +CW' "$dir/file.out"; then
  echo "FAIL: the recording itself gives no spot of DL2XYZ at 7031.0 kHz" >&2
  cat "$dir/file.out" >&2
  exit 1
fi
if awk -v t="$took" -v d="$duration" 'BEGIN { exit !(3 * t > d) }'; then
  echo "skimmer_live_test: this build took $took s for $duration s of I/Q: too slow for live input"
  exit 77
fi

# PortAudio and SoapySDR's audio module unload ALSA's plugins at exit, so what those keep for the
# process shows up in a sanitizer build as leaks of an unknown module that no suppression can
# name: the live runs do not check leaks (the recording's run above does).
live_asan="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# skim NAME ARGS...: play the recording while the skimmer listens; the spot must come.
skim() {
  local name=$1
  shift
  local out="$dir/$name.out"
  ASAN_OPTIONS=$live_asan "$skimmer" "$@" --center-hz 7030000 --rate 48000 --telnet 127.0.0.1:0 >"$out" 2>"$dir/$name.err" &
  local pid=$!
  local i
  # The recording plays once the skimmer listens (opening the device may take a while).
  for i in $(seq 1 60); do
    grep -q "centred on" "$dir/$name.err" && break
    sleep 1
  done
  paplay -d $sink "$dir/iq.wav" &
  player=$!
  for i in $(seq 1 40); do
    grep -q "DL2XYZ" "$out" && break
    sleep 1
  done
  sleep 2 # an image of the station would be spotted with it
  kill "$pid" "$player" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  player=
  if ! grep -Eq '^DX de DITA-#: +7031\.0  DL2XYZ +CW' "$out"; then
    echo "FAIL: $name did not spot DL2XYZ at 7031.0 kHz" >&2
    cat "$out" >&2
    grep -v '^ALSA' "$dir/$name.err" | tail -5 >&2
    return 1
  fi
  if grep -q '7029\.0' "$out"; then
    echo "FAIL: $name spotted the image of DL2XYZ at 7029.0 kHz (I and Q not both read?)" >&2
    cat "$out" >&2
    return 1
  fi
  echo "$name: $(grep DL2XYZ "$out")"
}

status=0
skim portaudio --sound pulse || status=1
if SoapySDRUtil --find="driver=audio" 2>/dev/null | grep -q "driver = audio"; then
  skim soapysdr --soapy "driver=audio,chan=stereo_iq" || status=1
else
  echo "SoapySDR's audio module is not installed: the SoapySDR path is not tried"
fi
if [ -n "$dita" ]; then
  paplay -d $sink "$dir/iq.wav" &
  player=$!
  if ! ASAN_OPTIONS=$live_asan HOME="$dir" XDG_RUNTIME_DIR="$dir" QT_QPA_PLATFORM=offscreen timeout 30 "$dita" \
      --iq-sound pulse --center-hz 7030000 --iq-tune 7031000 --quit-after 8 \
      --screenshot "$dir/window.png" >"$dir/window.out" 2>&1 || [ ! -s "$dir/window.png" ]; then
    echo "FAIL: the window on live I/Q did not run and quit by itself" >&2
    grep -v '^ALSA' "$dir/window.out" | tail -5 >&2
    status=1
  else
    echo "window: ran on live I/Q and quit by itself"
  fi
fi
exit $status
