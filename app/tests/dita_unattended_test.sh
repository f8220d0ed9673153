#!/usr/bin/env bash
# dita run unattended, as a script would run it: --quit-after values that the timer cannot hold
# are refused with the usage; every run ends, also on a machine without a sound card (whose
# error window stays open) and when the settings cannot be saved, which is said on standard
# error while the previous settings file is kept.
set -u
dita=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# A run that does not end within this is a hang: the test fails instead of waiting with it.
limit=60
# Long enough for the start-up to finish: the settings are loaded, and the window that says
# there is no sound card is open, when the quit comes.
after=2
export QT_QPA_PLATFORM=offscreen
export DITA_HOME=$tmp/home

for value in nan inf -inf 3000000 0 -2 5x; do
  timeout $limit "$dita" --quit-after "$value" >/dev/null 2>"$tmp/err"
  rc=$?
  [ "$rc" -eq 2 ] || fail "--quit-after $value: exit $rc"
  grep -q -- "--quit-after needs a number of seconds" "$tmp/err" || fail "--quit-after $value: $(cat "$tmp/err")"
  grep -q "usage: dita" "$tmp/err" || fail "--quit-after $value: no usage"
done

for run in 1 2 3 4 5; do
  timeout $limit "$dita" --quit-after "$after" 2>"$tmp/err" || fail "run $run exit $?: $(cat "$tmp/err")"
done
[ -s "$DITA_HOME/DITA.cfc" ] || fail "the first run made no settings file"
cp "$DITA_HOME/DITA.cfc" "$tmp/saved.cfc"

# The save cannot make its temporary file (a folder has that name; root writes into a
# read-only folder, so that is not how this is done here).
mkdir "$DITA_HOME/DITA.cfc.tmp"
timeout $limit "$dita" --select BlackBackground --quit-after "$after" 2>"$tmp/err"
rc=$?
[ "$rc" -eq 0 ] || fail "a run that cannot save: exit $rc: $(cat "$tmp/err")"
grep -q "^dita: The settings could not be saved (cannot create .*DITA.cfc.tmp" "$tmp/err" ||
  fail "no word of the failed save: $(cat "$tmp/err")"
cmp -s "$DITA_HOME/DITA.cfc" "$tmp/saved.cfc" || fail "the settings file changed"
rmdir "$DITA_HOME/DITA.cfc.tmp"

# A full disk: the file size limit stops the write part-way (with the signal ignored, the
# write fails as on a full disk instead of ending the program).
(trap '' XFSZ; ulimit -f 40; exec timeout $limit "$dita" --select WhiteBackground --quit-after "$after") 2>"$tmp/err"
rc=$?
[ "$rc" -eq 0 ] || fail "a run on a full disk: exit $rc: $(cat "$tmp/err")"
grep -q "^dita: The settings could not be saved (cannot write .*DITA.cfc.tmp" "$tmp/err" ||
  fail "no word of the failed save: $(cat "$tmp/err")"
cmp -s "$DITA_HOME/DITA.cfc" "$tmp/saved.cfc" || fail "the settings file changed"
[ ! -e "$DITA_HOME/DITA.cfc.tmp" ] || fail "the cut temporary file was left"
echo "dita unattended runs: all checks passed"
