#!/usr/bin/env bash
# dita-decode from the command line: the bundled sample decodes, bad files give a one-line
# error naming the file and a non-zero exit while the good files are still decoded.
set -u
decode=$1
data=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

out=$("$decode" --stats "$data/samples/cq-20wpm.ogg" 2>"$tmp/err") || fail "sample exit code $?"
grep -q "de w1aw gm om tnx fer call" <<<"$out" || fail "sample text: $out"
grep -q "speed factor" "$tmp/err" || fail "--stats output: $(cat "$tmp/err")"

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
echo "dita-decode command line: all checks passed"
