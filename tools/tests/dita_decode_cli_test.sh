#!/usr/bin/env bash
# dita-decode from the command line: the bundled sample decodes, bad files give a one-line
# error naming the file and a non-zero exit while the good files are still decoded, several
# files decode at once in the order given, and output that cannot be written is an error.
set -u
decode=$1
data=$2
here=$(dirname "$0")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

out=$("$decode" --stats "$data/samples/cq-20wpm.ogg" 2>"$tmp/err") || fail "sample exit code $?"
grep -q "de w1aw gm om tnx fer call" <<<"$out" || fail "sample text: $out"
grep -q "speed factor" "$tmp/err" || fail "--stats output: $(cat "$tmp/err")"
# cq-20wpm.decoded.txt is what dita-decode printed for the sample (the standard decoder) with
# its own radix-2 transforms and per-chunk file reader, before both were replaced: the whole
# chain must still give exactly that text.
"$decode" --decoder standard "$data/samples/cq-20wpm.ogg" >"$tmp/standard.txt"
cmp -s "$tmp/standard.txt" "$here/cq-20wpm.decoded.txt" ||
  fail "the sample no longer decodes to the recorded text: $(cat "$tmp/standard.txt")"

echo "not a sound file" >"$tmp/bad.wav"
: >"$tmp/empty.wav"
out=$("$decode" "$tmp/bad.wav" "$data/samples/cq-20wpm.ogg" "$tmp/empty.wav" "$tmp/missing.flac" 2>"$tmp/err")
rc=$?
[ "$rc" -ne 0 ] || fail "bad files must give a non-zero exit"
grep -q "de w1aw" <<<"$out" || fail "the good file was not decoded: $out"
[ "$(grep -c "bad.wav" "$tmp/err")" -eq 1 ] || fail "no one-line error for bad.wav: $(cat "$tmp/err")"
grep -q "empty.wav" "$tmp/err" || fail "no error for empty.wav"
grep -q "missing.flac" "$tmp/err" || fail "no error for missing.flac"

"$decode" --tone 99999 x.wav 2>"$tmp/err" && fail "a bad --tone was accepted"
grep -q -- "--tone" "$tmp/err" || fail "bad --tone message: $(cat "$tmp/err")"
"$decode" --speed 33 x.wav 2>/dev/null && fail "a bad --speed was accepted"

# Upper case, locked speed, a given tone and a trace file.
out=$("$decode" --case upper --speed 20 --tone 650 --trace "$tmp/trace.json" "$data/samples/cq-20wpm.ogg") || fail "options run"
grep -q "DE W1AW" <<<"$out" || fail "upper case text: $out"
lines=$(wc -l <"$tmp/trace.json")
[ "$lines" -gt 400 ] || fail "trace has $lines lines"
python3 -c "import json,sys; [json.loads(l) for l in open(sys.argv[1])]" "$tmp/trace.json" || fail "trace is not JSON lines"
# Sample rates that cannot be resampled to 44,100 Hz are refused without reading the file.
for rate in 1 100 2147483647; do
  python3 -c "import struct,sys; r=int(sys.argv[2]); d=bytes(2000)
open(sys.argv[1],'wb').write(b'RIFF'+struct.pack('<I',36+len(d))+b'WAVEfmt '+struct.pack('<IHHIIHH',16,1,1,r,(2*r)%2**32,2,16)+b'data'+struct.pack('<I',len(d))+d)" \
    "$tmp/rate$rate.wav" "$rate"
  "$decode" "$tmp/rate$rate.wav" >/dev/null 2>"$tmp/err" && fail "a $rate Hz file was accepted"
  grep -q "rate$rate.wav: cannot resample .*ratio outside \[1/256, 256\]" "$tmp/err" || fail "$rate Hz message: $(cat "$tmp/err")"
done

# Several files at once: the same text as one after the other, each under its heading, in the
# order given, a bad file among them reported and counted.
sample=$data/samples/cq-20wpm.ogg
"$decode" -j 1 "$sample" "$tmp/bad.wav" "$sample" >"$tmp/one.txt" 2>/dev/null && fail "-j 1 with a bad file exited 0"
"$decode" -j 3 "$sample" "$tmp/bad.wav" "$sample" >"$tmp/three.txt" 2>"$tmp/err" && fail "-j 3 with a bad file exited 0"
cmp -s "$tmp/one.txt" "$tmp/three.txt" || fail "-j 3 printed other text than -j 1: $(diff "$tmp/one.txt" "$tmp/three.txt")"
grep -q "bad.wav" "$tmp/err" || fail "-j 3 lost the message for bad.wav"
[ "$(grep -c "^==> .*cq-20wpm.ogg <==\$" "$tmp/three.txt")" -eq 2 ] || fail "headings: $(cat "$tmp/three.txt")"
[ "$(grep -c "de w1aw gm om" "$tmp/three.txt")" -eq 2 ] || fail "texts: $(cat "$tmp/three.txt")"
"$decode" -j 0 "$sample" 2>/dev/null && fail "-j 0 was accepted"

# Band decoding of several files as JSON Lines: every line parses and names its file, both
# files have records; text output keeps its headings.
cp "$sample" "$tmp/copy of sample.ogg"
"$decode" -j 2 --band --format jsonl "$sample" "$tmp/copy of sample.ogg" >"$tmp/band.jsonl" 2>"$tmp/err" ||
  fail "band jsonl run: $(cat "$tmp/err")"
python3 - "$tmp/band.jsonl" "$sample" "$tmp/copy of sample.ogg" <<'PY' || fail "band jsonl: $(cat "$tmp/band.jsonl")"
import json, sys
files = {}
for line in open(sys.argv[1], encoding="utf-8"):
    record = json.loads(line)
    assert {"file", "hz", "text"} <= record.keys(), record
    files[record["file"]] = files.get(record["file"], 0) + 1
assert sorted(files) == sorted(sys.argv[2:]), files
PY
"$decode" --band "$sample" "$tmp/copy of sample.ogg" >"$tmp/band.txt" || fail "band text run"
[ "$(grep -c "^==> .* <==\$" "$tmp/band.txt")" -eq 2 ] || fail "band text headings: $(cat "$tmp/band.txt")"

# A WAV whose header promises 2 GB of audio but holds 1 s, and a FLAC cut mid-stream: what is
# there is decoded (exit 0), and the shortfall is told.
python3 -c "import struct,sys; r=44100; d=bytes(2*r); n=0x7fff0000
open(sys.argv[1],'wb').write(b'RIFF'+struct.pack('<I',n)+b'WAVEfmt '+struct.pack('<IHHIIHH',16,1,1,r,2*r,2,16)+b'data'+struct.pack('<I',n-36)+d)" \
  "$tmp/short.wav"
"$decode" "$tmp/short.wav" >/dev/null 2>"$tmp/err" || fail "short WAV exit $?: $(cat "$tmp/err")"
grep -q "short.wav: the file ends after 1.00 s, before the length its header gives" "$tmp/err" ||
  fail "short WAV message: $(cat "$tmp/err")"
if command -v sox >/dev/null; then
  sox "$sample" "$tmp/whole.flac" && head -c 40000 "$tmp/whole.flac" >"$tmp/cut.flac"
  out=$("$decode" "$tmp/cut.flac" 2>"$tmp/err") || fail "cut FLAC exit $?: $(cat "$tmp/err")"
  grep -q "cut.flac: the file ends after .* s, before the length its header gives" "$tmp/err" ||
    fail "cut FLAC message: $(cat "$tmp/err")"
fi

# Output that cannot be written is an error, not a silent success.
if [ -w /dev/full ]; then
  "$decode" "$sample" >/dev/full 2>"$tmp/err" && fail "writing the text to a full device exited 0"
  grep -q "cannot write standard output" "$tmp/err" || fail "full stdout message: $(cat "$tmp/err")"
  "$decode" --trace /dev/full "$sample" >/dev/null 2>"$tmp/err" && fail "a trace to a full device exited 0"
  grep -q "cannot write the trace file /dev/full" "$tmp/err" || fail "full trace message: $(cat "$tmp/err")"
fi
echo "dita-decode command line: all checks passed"
