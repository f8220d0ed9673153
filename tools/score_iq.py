#!/usr/bin/python3
"""Scores the skimmer on wideband I/Q recordings made by make_iq.py (truth.json beside them).

    tools/score_iq.py --corpus DIR [--decoder build/tools/dita-decode] [-v]

Runs `dita-decode --iq --spots FILE` and `dita-decode --iq --band --format jsonl FILE` on each
recording and prints, per file and overall:
  spots:  recall of calling (CQ/TEST) senders at or above 8 dB (500 Hz) spotted with the right
          call within 0.15 kHz; false spots (calls no sender sent) as a share of all spots;
          spots of a sent call more than 0.15 kHz off
  text:   senders at or above 10 dB found (a signal record within 30 Hz), and the median
          character error rate of their text against the sender's message repeated
  quiet:  spots and decoded characters in a file without senders (must be 0)
"""
import argparse, json, os, statistics, subprocess, sys


def levenshtein_prefix(decoded, reference):
    """Edit distance from decoded to the best-matching prefix of reference, and that prefix's
    length (the decoded text of a repeated message may stop anywhere in a repetition)."""
    prev = list(range(len(reference) + 1))
    for i, a in enumerate(decoded, 1):
        cur = [i] + [0] * len(reference)
        for j, b in enumerate(reference, 1):
            cur[j] = min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a != b))
        prev = cur
    best = min(range(len(reference) + 1), key=lambda j: (prev[j], -j))
    return prev[best], max(best, 1)


def fold(text):
    return ' '.join(text.upper().split())


def cer(decoded, message):
    decoded = fold(decoded)
    unit = fold(message) + ' '
    reference = unit * (len(decoded) // len(unit) + 2)
    dist, length = levenshtein_prefix(decoded, reference)
    return dist / length


def run(cmd):
    out = subprocess.run(cmd, capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit('failed: %s\n%s' % (' '.join(cmd), out.stderr))
    return out.stdout


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--corpus', required=True)
    ap.add_argument('--decoder', default='build/tools/dita-decode')
    ap.add_argument('-v', action='store_true', help='list every miss')
    a = ap.parse_args()
    truth = json.load(open(os.path.join(a.corpus, 'truth.json')))
    tot = dict(cq=0, spotted=0, spots=0, false=0, offfreq=0, strong=0, found=0)
    cers = []
    quiet_bad = 0
    for name, t in truth.items():
        path = os.path.join(a.corpus, name)
        spots = []
        for line in run([a.decoder, '--iq', '--spots', path]).splitlines():
            f = line.split()
            if len(f) >= 5 and f[0] == 'DX' and f[1] == 'de':
                spots.append((float(f[3]) * 1000.0, f[4]))
        records = [json.loads(l) for l in run([a.decoder, '--iq', '--band', '--format', 'jsonl', path]).splitlines() if l.strip()]
        senders = t['senders']
        if not senders:
            chars = sum(len(r['text'].replace(' ', '')) for r in records)
            print('%s: quiet file: %d spots, %d characters' % (name, len(spots), chars))
            quiet_bad += len(spots) + chars
            continue
        calls = {s['call'] for s in senders if s['call']}
        sent_calls = calls | {w for s in senders for w in s['text'].split()}
        cq = [s for s in senders if s['cq'] and s['snr_db'] >= 8]
        spotted = [s for s in cq if any(c == s['call'] and abs(f - s['freq_hz']) <= 150 for f, c in spots)]
        false = [(f, c) for f, c in spots if c not in sent_calls]
        offfreq = [(f, c) for f, c in spots if c in sent_calls and
                   not any(s['call'] == c and abs(f - s['freq_hz']) <= 150 for s in senders)]
        strong = [s for s in senders if s['snr_db'] >= 10]
        found = []
        for s in strong:
            near = sorted([r for r in records if abs(r['freq_hz'] - s['freq_hz']) <= 30], key=lambda r: r['start_s'])
            if not near:
                if a.v: print('  not found: %d %s %.1f dB' % (s['freq_hz'], s['text'], s['snr_db']))
                continue
            found.append(s)
            text = ' '.join(r['text'] for r in near)
            c = cer(text, s['text'])
            cers.append(c)
            if a.v and c > 0.02:
                print('  CER %.3f %d %.1f dB %d wpm: %s | %s' % (c, s['freq_hz'], s['snr_db'], s['wpm'], s['text'], fold(text)[:90]))
        if a.v:
            for s in cq:
                if s not in spotted: print('  not spotted: %d %s %.1f dB %d wpm' % (s['freq_hz'], s['call'], s['snr_db'], s['wpm']))
            for f, c in false: print('  false spot: %.1f %s' % (f / 1000, c))
            for f, c in offfreq: print('  off-frequency spot: %.1f %s' % (f / 1000, c))
        print('%s: spots recall %d/%d, %d spots, %d false, %d off frequency; text: found %d/%d' % (
            name, len(spotted), len(cq), len(spots), len(false), len(offfreq), len(found), len(strong)))
        tot['cq'] += len(cq); tot['spotted'] += len(spotted); tot['spots'] += len(spots)
        tot['false'] += len(false); tot['offfreq'] += len(offfreq); tot['strong'] += len(strong); tot['found'] += len(found)
    print('recall=%.3f false_share=%.3f offfreq=%d found=%.3f median_cer=%.4f mean_cer=%.4f quiet=%d' % (
        tot['spotted'] / max(tot['cq'], 1), tot['false'] / max(tot['spots'], 1), tot['offfreq'],
        tot['found'] / max(tot['strong'], 1), statistics.median(cers) if cers else 1.0,
        statistics.mean(cers) if cers else 1.0, quiet_bad))


if __name__ == '__main__':
    main()
