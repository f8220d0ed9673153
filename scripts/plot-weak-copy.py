#!/usr/bin/python3
"""Plots character error rate against SNR for decoder runs on the weak-signal ladder.

Each input is the verbose output of the shared scorer (score.py -v) on the ladder
(make_weak_ladder.sh: files named ..._w<wpm>_f<tone>_snr<dB>.wav), or the output of
scripts/weak-copy-bound.py on it; the mean CER at each SNR is drawn, with the trained human
operator's copy for comparison.

    scripts/plot-weak-copy.py OUT.png LABEL=SCORES.txt [LABEL=SCORES.txt ...]

With --pairs the runs are taken two by two (before, after): each pair in one colour, the first
dashed; a run labelled with "reference" after them is drawn dotted in grey.

Needs matplotlib (apt-get install python3-matplotlib).
"""
import collections
import re
import sys

import matplotlib

matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402

# Trained operators copying random groups: nearly perfect at -7 dB in 2 kHz, about 95 % of the
# characters at -13 dB in 2 kHz at 25 wpm and about 88 % at 35 wpm. Noise in 2.5 kHz is 1 dB
# more than in 2 kHz.
HUMAN = [(-8.0, 0.0, 'nearly perfect'), (-14.0, 0.05, '25 wpm'), (-14.0, 0.12, '35 wpm')]


def mean_by_snr(path):
    cer = collections.defaultdict(list)
    for line in open(path, encoding='utf-8'):
        m = (re.match(r'(\S+)\.wav\s+CER=([0-9.]+)', line) or
             re.match(r'(\S+)\.wav\t([0-9.]+)\t', line))
        s = re.search(r'_snr([-+]?\d+)', m.group(1)) if m else None
        if s:
            cer[int(s.group(1))].append(float(m.group(2)))
    return sorted((snr, sum(v) / len(v)) for snr, v in cer.items())


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    fig, ax = plt.subplots(figsize=(7, 4.5), dpi=110)
    args = sys.argv[2:]
    pairs = '--pairs' in args
    runs = [a for a in args if a != '--pairs']
    for i, arg in enumerate(runs):
        label, path = arg.split('=', 1)
        points = mean_by_snr(path)
        style = {}
        if 'reference' in label:
            style = {'color': 'grey', 'linestyle': ':'}
        elif pairs:
            style = {'color': 'C%d' % (i // 2), 'linestyle': '--' if i % 2 == 0 else '-'}
        ax.plot([p[0] for p in points], [p[1] for p in points], marker='o', label=label, **style)
    ax.scatter([h[0] for h in HUMAN], [h[1] for h in HUMAN], marker='*', s=160, color='black',
               zorder=3, label='trained operator (random groups)')
    for x, y, text in HUMAN:
        ax.annotate(text, (x, y), textcoords='offset points', xytext=(6, 6), fontsize=8)
    ax.set_xlabel('SNR (dB, noise in 2,500 Hz)')
    ax.set_ylabel('character error rate (mean per file)')
    ax.set_title('Copy near the noise floor: weak-signal ladder, 12-40 wpm')
    ax.set_ylim(-0.02, 1.02)
    ax.invert_xaxis()
    ax.grid(True, alpha=0.3)
    ax.legend(loc='upper left', fontsize=8)
    fig.tight_layout()
    fig.savefig(sys.argv[1])


if __name__ == '__main__':
    main()
