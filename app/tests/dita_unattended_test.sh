#!/usr/bin/env bash
# dita run unattended, as a script would run it: --quit-after values that the timer cannot hold
# are refused with the usage; every run ends, also on a machine without a sound card (whose
# error window stays open) and when DITA.cfc or DITA.conf cannot be saved, which is said on
# standard error while the previous file is kept.
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
# DITA.conf (the Band window's placement) that cannot be replaced: write-protected, a folder,
# a named pipe, a link to /dev/zero, or its temporary file's name taken by a folder. The quit
# with the Band window open says so on standard error, never in a box waiting for OK, and the
# path is left as it was.
conf=$DITA_HOME/DITA.conf
printf 'band.open=0\nband.x=10\n' >"$tmp/known.conf"
for how in protected folder pipe zero tmpfolder; do
  rm -rf "$conf" "$conf.tmp"
  case $how in
    protected) cp "$tmp/known.conf" "$conf"; chmod 444 "$conf" ;;
    folder) mkdir "$conf" ;;
    pipe) mkfifo "$conf" ;;
    zero) ln -s /dev/zero "$conf" ;;
    tmpfolder) cp "$tmp/known.conf" "$conf"; mkdir "$conf.tmp" ;;
  esac
  timeout $limit "$dita" --select BandDecoder1 --quit-after "$after" 2>"$tmp/err"
  rc=$?
  [ "$rc" -eq 0 ] || fail "DITA.conf $how: exit $rc (124: still running after $limit s): $(cat "$tmp/err")"
  grep -q "^dita: The settings could not be saved (.*DITA.conf" "$tmp/err" ||
    fail "DITA.conf $how: no word of the failed save: $(cat "$tmp/err")"
  case $how in
    protected|tmpfolder) cmp -s "$conf" "$tmp/known.conf" || fail "DITA.conf $how: the file changed" ;;
    folder) [ -d "$conf" ] || fail "the folder was replaced" ;;
    pipe) [ -p "$conf" ] || fail "the pipe was replaced" ;;
    zero) [ "$(readlink "$conf")" = /dev/zero ] || fail "the link was replaced" ;;
  esac
done
rm -rf "$conf" "$conf.tmp"
# A Band window never opened in a run has no placement to write: the file stays as it was.
cp "$tmp/known.conf" "$conf"
timeout $limit "$dita" --quit-after "$after" 2>"$tmp/err" || fail "run without the Band window: exit $?"
cmp -s "$conf" "$tmp/known.conf" || fail "the quit wrote a placement for a window never opened: $(cat "$conf")"

# Text that cannot be written is an error.
if [ -w /dev/full ]; then
  "$dita" --help >/dev/full 2>/dev/null && fail "--help into a full device exited 0"
fi
echo "dita unattended runs: all checks passed"
