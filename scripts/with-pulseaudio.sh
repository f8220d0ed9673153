#!/usr/bin/env bash
# with-pulseaudio.sh: a private PulseAudio server with a null sink, for sound tests on machines
# without a sound card (CI runs as root in a container with no audio hardware).
#
#   scripts/with-pulseaudio.sh CMD [ARGS...]   start a server, run CMD inside it, stop the server;
#                                              exits with CMD's status
#   scripts/with-pulseaudio.sh --start DIR     start a server whose files live in DIR and print
#                                              its environment as NAME=VALUE lines
#   scripts/with-pulseaudio.sh --stop DIR      stop the server started with --start DIR
#
# The server is separate from any desktop server (own socket, own runtime directory, no
# hardware modules loaded), so it cannot disturb the user's sound. Inside it:
#   PULSE_SERVER        unix socket of the private server (PortAudio reaches it through ALSA's
#                       pulse plugin, which honours this variable; so do parec/pactl/paplay)
#   DITA_PULSE_SINK     "dita_null": the default sink, 44,100 Hz mono; PortAudio's default
#                       output plays into it
#   DITA_PULSE_MONITOR  "dita_null.monitor": the default source; it returns what the sink
#                       plays, so a test can record its own output (parec -d "$DITA_PULSE_MONITOR")
#                       or capture a played file through PortAudio's default input
# A silent stream plays into the sink all the time, so the monitor runs continuously and a
# recording started before a test plays anything misses nothing.
# As root, pulseaudio warns that it is "not intended to be run as root" and runs anyway; the
# system mode is not needed because clients use the socket given in PULSE_SERVER.
# Exit status 77 (the usual "skipped" code) when pulseaudio is missing or does not start.
set -euo pipefail

SINK=dita_null
RATE=44100

start_server() {
  local dir=$1
  command -v pulseaudio >/dev/null || { echo "with-pulseaudio: pulseaudio is not installed" >&2; return 77; }
  mkdir -p "$dir"
  chmod 700 "$dir"
  local socket="$dir/native"
  rm -f "$socket"
  XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir" PULSE_STATE_PATH="$dir" HOME="$dir" \
    pulseaudio -n --daemonize=yes --use-pid-file=yes --exit-idle-time=-1 --disallow-exit=no \
      --log-target="file:$dir/pulseaudio.log" \
      --load="module-native-protocol-unix socket=$socket auth-anonymous=1" \
      --load="module-null-sink sink_name=$SINK rate=$RATE channels=1" >/dev/null 2>&1 || true
  local i
  for i in $(seq 1 50); do
    if PULSE_SERVER="unix:$socket" pactl info >/dev/null 2>&1; then
      PULSE_SERVER="unix:$socket" pactl set-default-sink "$SINK"
      PULSE_SERVER="unix:$socket" pactl set-default-source "$SINK.monitor"
      # The monitor only delivers while something plays into the sink, and a stream's first
      # moments would be lost while the sink wakes up: keep a silent stream playing.
      PULSE_SERVER="unix:$socket" nohup pacat --playback --raw --rate=$RATE --channels=1 \
        --format=s16le --device="$SINK" /dev/zero >/dev/null 2>&1 &
      echo $! >"$dir/silence.pid"
      echo "PULSE_SERVER=unix:$socket"
      echo "DITA_PULSE_SINK=$SINK"
      echo "DITA_PULSE_MONITOR=$SINK.monitor"
      return 0
    fi
    sleep 0.1
  done
  echo "with-pulseaudio: pulseaudio did not start; see $dir/pulseaudio.log" >&2
  return 77
}

stop_server() {
  local dir=$1
  if [ -f "$dir/silence.pid" ]; then
    kill "$(cat "$dir/silence.pid")" 2>/dev/null || true
    rm -f "$dir/silence.pid"
  fi
  PULSE_SERVER="unix:$dir/native" pactl exit >/dev/null 2>&1 || true
  local i
  for i in $(seq 1 30); do
    [ -S "$dir/native" ] || break
    sleep 0.1
  done
}

case "${1:-}" in
  --start)
    [ $# -eq 2 ] || { echo "usage: $0 --start DIR" >&2; exit 2; }
    start_server "$2"
    ;;
  --stop)
    [ $# -eq 2 ] || { echo "usage: $0 --stop DIR" >&2; exit 2; }
    stop_server "$2"
    ;;
  ""|-h|--help)
    sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'
    [ -n "${1:-}" ]
    ;;
  *)
    dir=$(mktemp -d "${TMPDIR:-/tmp}/dita-pulse.XXXXXX")
    trap 'stop_server "$dir"; rm -rf "$dir"' EXIT
    env_lines=$(start_server "$dir") || exit $?
    while IFS= read -r line; do export "$line"; done <<<"$env_lines"
    status=0
    "$@" || status=$?
    exit $status
    ;;
esac
