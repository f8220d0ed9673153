#!/usr/bin/env bash
# A larger weak-signal ladder for decisions about the weak-signal decoder: 12 texts (six QSO
# phrases, six lines of random five-character groups) x 12, 18, 24, 30, 40 wpm x -8, -10, -12 dB
# (noise in 2,500 Hz) x two noise seeds = 360 files, with the shared evaluation's mixer. A
# difference of 0.01 in mean CER on the 50-file shared ladder is a character or two; here it is
# several dozen.
#   scripts/make-weak-ladder-360.sh OUTDIR [EVALDIR]   (EVALDIR: ../shared/eval by default)
# Needs ebook2cw, sox and libsox-fmt-mp3. Score with EVALDIR/score.py --corpus OUTDIR.
set -euo pipefail
OUT=${1:?usage: make-weak-ladder-360.sh OUTDIR [EVALDIR]}
EVAL=${2:-$(cd "$(dirname "$0")/.." && pwd)/../shared/eval}
MIX="$EVAL/tools/mix.py"
[ -f "$MIX" ] || { echo "no mixer at $MIX" >&2; exit 1; }
mkdir -p "$OUT"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
printf '[settings]\nw=25\nf=600\n' > "$WORK/ebook2cw.conf"
TEXTS=("HW CPY OM BK" "QSL VIA BURO TNX" "UR SIG FB HR" "PSE QRS QRM HR" "DE DL3MBE DL3MBE AR"
       "GA OM UR 599 5NN" "VT8KD RQ2ZN MLE6A" "CU3PW HJ9OX BYT4F" "NQ7RS EZD1K WAL5G"
       "FK0JM TXB8P QVC3H" "GSW6Y ORU2N DPI9L" "XMZ4B JTQ7E HAK1V")
keyed() { # text wpm tone out.wav
  printf '%s\n' "$1" > "$WORK/in.txt"
  rm -f "$WORK/e2.mp3"
  (cd "$WORK" && HOME="$WORK" ebook2cw -E "$WORK/ebook2cw.conf" -w "$2" -f "$3" -R 220 -F 220 \
      -T 0 -s 44100 -b 128 -q 2 -p -c - -o e2 in.txt > "$WORK/e2.log" 2>&1)
  sox -R -D "$WORK/e2.mp3" -r 44100 -c 1 -b 16 -e signed-integer "$WORK/c.wav"
  sox -R -D "$WORK/c.wav" "$4" pad 0.7 0.5
}
printf 'file\tref\twpm\ttone_hz\tsnr_db\timpairment\tgenerator\n' > "$OUT/manifest.tsv"
i=0
for wpm in 12 18 24 30 40; do
  for t in "${!TEXTS[@]}"; do
    i=$((i + 1))
    tone=$((500 + (i * 37) % 400))
    text=${TEXTS[$t]}
    kind=$([ "$t" -lt 6 ] && echo qso || echo grp)
    keyed "$text" $wpm $tone "$WORK/p.wav"
    for snr in -8 -10 -12; do
      for s in 1 2; do
        name=$(printf 'big_%s%02d_w%d_f%d_s%d_snr%d' $kind "$t" $wpm $tone $s $snr)
        python3 "$MIX" "$WORK/p.wav" "$OUT/$name.wav" --snr "$snr" \
            --seed $((777 + i * 131 + s * 17 + snr)) --power-ref "$WORK/p.wav" > /dev/null
        printf '%s\n' "$text" > "$OUT/$name.txt"
        printf '%s.wav\t%s\t%d\t%d\t%+d\t%s\tebook2cw\n' "$name" "$text" $wpm $tone $snr $kind \
            >> "$OUT/manifest.tsv"
      done
    done
  done
done
