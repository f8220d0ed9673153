#!/usr/bin/python3
"""What a decoder told everything but the text could copy from a weak-signal ladder.

    scripts/weak-copy-bound.py LADDERDIR [--tree] [--min-snr -12]

For each file of a ladder made by make_weak_ladder.sh (ebook2cw keying, its manifest beside the
files) the clean keying is made again with the same ebook2cw call. From it the decoder is given
the sender's unit, where the first element starts, the tone, the tone's amplitude in the noisy file
and the noise power. It then reads the unit-long sums of the noisy baseband with a segmental
Viterbi search: dots and dashes scored by their noncoherent likelihood (a tone of known amplitude
and unknown phase; ebook2cw starts every element at phase zero, so elements do not add up
coherently), element, letter and word gaps by fixed shares (0.6, 0.3, 0.1). With --tree the
marks must also spell the codes of letters, figures and / = ?. No dictionary, no speed or level to
learn: what it misses, no noncoherent decoder of these files can be expected to read.

Prints each file's CER and reading, then the mean CER by SNR and by SNR and speed.
Needs ebook2cw, sox, libsox-fmt-mp3, python3-numpy and python3-scipy.
"""
import argparse, csv, math, os, subprocess, sys, tempfile, wave
from collections import defaultdict

import numpy as np
from scipy.special import i0e

MORSE = {
    'A': '.-', 'B': '-...', 'C': '-.-.', 'D': '-..', 'E': '.', 'F': '..-.', 'G': '--.', 'H': '....',
    'I': '..', 'J': '.---', 'K': '-.-', 'L': '.-..', 'M': '--', 'N': '-.', 'O': '---', 'P': '.--.',
    'Q': '--.-', 'R': '.-.', 'S': '...', 'T': '-', 'U': '..-', 'V': '...-', 'W': '.--', 'X': '-..-',
    'Y': '-.--', 'Z': '--..', '0': '-----', '1': '.----', '2': '..---', '3': '...--', '4': '....-',
    '5': '.....', '6': '-....', '7': '--...', '8': '---..', '9': '----.', '/': '-..-.', '=': '-...-',
    '?': '..--..'}
CHAR = {code: ch for ch, code in MORSE.items()}
GAPS = {1: math.log(0.6), 3: math.log(0.3), 7: math.log(0.1)}
NONE = -1e18


def read_wav(path):
    with wave.open(path) as w:
        return np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16).astype(float)


def keyed(text, wpm, tone, out):
    """The ladder's clean keying of text, as make_weak_ladder.sh makes it."""
    with tempfile.TemporaryDirectory() as d:
        open(os.path.join(d, 'in.txt'), 'w').write(text + '\n')
        open(os.path.join(d, 'c.conf'), 'w').write('[settings]\nw=25\nf=600\n')
        subprocess.run(f'cd {d} && HOME={d} ebook2cw -E c.conf -w {wpm} -f {tone} -R 220 -F 220 '
                       f'-T 0 -s 44100 -b 128 -q 2 -p -c - -o e2 in.txt > /dev/null 2>&1 && '
                       f'sox -R -D e2.mp3 -r 44100 -c 1 -b 16 -e signed-integer c.wav && '
                       f'sox -R -D c.wav {out} pad 0.7 0.5', shell=True, check=True)


def levenshtein(a, b):
    row = list(range(len(b) + 1))
    for i in range(1, len(a) + 1):
        prev, row[0] = row[0], i
        for j in range(1, len(b) + 1):
            prev, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, prev + (a[i - 1] != b[j - 1]))
    return row[-1]


class Units:
    """Unit-long sums of the noisy baseband and the likelihood of a mark over units s..s+n."""

    def __init__(self, noisy, clean, wpm, tone, rate=44100):
        n = min(len(noisy), len(clean))
        noisy, clean = noisy[:n], clean[:n]
        gain = np.dot(noisy, clean) / np.dot(clean, clean)
        self.noise = np.var(noisy - gain * clean)  # per sample, as the baseband's |w|^2
        envelope = np.convolve(np.abs(clean), np.ones(64) / 64, 'same')
        first = int(np.argmax(envelope > 0.3 * np.abs(clean).max()))
        self.length = int(round(1.2 / wpm * rate))
        self.count = (n - first) // self.length
        units = slice(first, first + self.count * self.length)
        mixer = np.exp(-2j * np.pi * tone * np.arange(n) / rate)[units]

        def unit_sums(x):
            return (x[units] * mixer).reshape(self.count, self.length).sum(1)

        self.prefix = np.concatenate([[0], np.cumsum(unit_sums(noisy))])
        # The baseband tone's amplitude: the typical unit of the clean keying's marks, scaled.
        magnitudes = np.abs(unit_sums(gain * clean)) / self.length
        self.amplitude = np.median(magnitudes[magnitudes > 0.5 * magnitudes.max()])

    def mark(self, s, n):
        mean = n * self.length * self.amplitude
        var = n * self.length * self.noise
        z = 2 * abs(self.prefix[s + n] - self.prefix[s]) * mean / var
        return math.log(i0e(z)) + z - mean * mean / var


def read_free(u):
    """Marks and gaps in any order a keyer sends them."""
    U = u.count
    mark, gap = np.full(U + 1, NONE), np.full(U + 1, NONE)
    back_mark, back_gap = [None] * (U + 1), [None] * (U + 1)
    gap[0], back_gap[0] = 0.0, (0, 'W')
    for T in range(1, U + 1):
        for n, sym in ((1, '.'), (3, '-')):
            if T >= n and gap[T - n] > NONE:
                v = gap[T - n] + math.log(0.5) + u.mark(T - n, n)
                if v > mark[T]:
                    mark[T], back_mark[T] = v, (T - n, sym)
        for n, p in GAPS.items():
            if T >= n and mark[T - n] > NONE and mark[T - n] + p > gap[T]:
                gap[T], back_gap[T] = mark[T - n] + p, (T - n, 'eLW'[(n > 1) + (n > 3)])
        if T > 1 and back_gap[T - 1] and back_gap[T - 1][1] == 'W' and gap[T - 1] > gap[T]:
            gap[T], back_gap[T] = gap[T - 1], back_gap[T - 1]  # a word gap runs on
    T, in_mark, symbols = U, mark[U] > gap[U], []
    while T > 0:
        T, sym = (back_mark if in_mark else back_gap)[T]
        symbols.append(sym)
        in_mark = not in_mark
    text, code = '', ''
    for sym in reversed(symbols + ['L']):
        if sym in '.-':
            code += sym
        elif sym in 'LW':
            text += CHAR.get(code, '*') if code else ''
            code = ''
            text += ' ' if sym == 'W' else ''
    return text


def read_tree(u):
    """Marks that spell the codes of letters, figures and / = ? only."""
    U = u.count
    nodes = sorted({c[:i] for c in MORSE.values() for i in range(1, len(c) + 1)})
    index = {c: i for i, c in enumerate(nodes)}
    N = len(nodes)
    mark, inner = np.full((U + 1, N), NONE), np.full((U + 1, N), NONE)
    ended = np.full(U + 1, NONE)  # after a letter or word gap
    back_mark, back_inner, back_end = {}, {}, [None] * (U + 1)
    ended[0], back_end[0] = 0.0, (0, 'W', None)
    for T in range(1, U + 1):
        for i, c in enumerate(nodes):
            n = 1 if c[-1] == '.' else 3
            if T < n:
                continue
            before = ended[T - n] if len(c) == 1 else inner[T - n, index[c[:-1]]]
            if before > NONE and before + u.mark(T - n, n) > mark[T, i]:
                mark[T, i], back_mark[(T, i)] = before + u.mark(T - n, n), T - n
            if T >= 2 and mark[T - 1, i] > NONE and (c + '.' in index or c + '-' in index):
                if mark[T - 1, i] + GAPS[1] > inner[T, i]:
                    inner[T, i], back_inner[(T, i)] = mark[T - 1, i] + GAPS[1], T - 1
        for n, kind in ((3, 'L'), (7, 'W')):
            if T <= n:
                continue
            for i, c in enumerate(nodes):
                if c in CHAR and mark[T - n, i] + GAPS[n] > ended[T]:
                    ended[T], back_end[T] = mark[T - n, i] + GAPS[n], (T - n, kind, i)
        if T > 1 and back_end[T - 1] and back_end[T - 1][1] == 'W' and ended[T - 1] > ended[T]:
            ended[T], back_end[T] = ended[T - 1], back_end[T - 1]
    options = [(ended[U], 'end', None)] + [(mark[U, i], 'mark', i) for i in range(N)
                                          if nodes[i] in CHAR]
    _, state, i = max(options, key=lambda o: o[0])
    T, chars = U, [CHAR[nodes[i]]] if state == 'mark' else []
    while T > 0:
        if state == 'end':
            T, kind, i = back_end[T]
            chars += [' '] if kind == 'W' else []
            chars.append(CHAR[nodes[i]])
            state = 'mark'
        elif state == 'mark':
            c, T = nodes[i], back_mark[(T, i)]
            state = 'end' if len(c) == 1 else 'inner'
            i = i if len(c) == 1 else index[c[:-1]]
        else:
            T, state = back_inner[(T, i)], 'mark'
    return ''.join(reversed(chars))


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('ladder')
    ap.add_argument('--tree', action='store_true', help='marks must spell known codes')
    ap.add_argument('--min-snr', type=float, default=-12)
    args = ap.parse_args()
    rows = list(csv.DictReader(open(os.path.join(args.ladder, 'manifest.tsv')), delimiter='\t'))
    by_snr, by_cell = defaultdict(list), defaultdict(list)
    with tempfile.TemporaryDirectory() as d:
        clean_path = os.path.join(d, 'clean.wav')
        for r in rows:
            snr, wpm, tone = float(r['snr_db']), int(r['wpm']), int(r['tone_hz'])
            if snr < args.min_snr:
                continue
            keyed(r['ref'], wpm, tone, clean_path)
            u = Units(read_wav(os.path.join(args.ladder, r['file'])), read_wav(clean_path), wpm,
                      tone)
            text = ' '.join((read_tree(u) if args.tree else read_free(u)).split())
            ref = ' '.join(r['ref'].split())
            cer = min(1.0, levenshtein(ref, text) / len(ref))
            by_snr[snr].append(cer)
            by_cell[(snr, wpm)].append(cer)
            print(f"{r['file']}\t{cer:.3f}\t{text}", flush=True)
    for snr in sorted(by_snr, reverse=True):
        cells = '  '.join(f'{w}: {np.mean(v):.3f}' for (s, w), v in sorted(by_cell.items())
                          if s == snr)
        print(f'{snr:+.0f} dB  mean {np.mean(by_snr[snr]):.3f}   {cells}')


if __name__ == '__main__':
    sys.exit(main())
