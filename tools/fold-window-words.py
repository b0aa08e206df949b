#!/usr/bin/env python3
"""Measures the window-word score on train windows its fit never saw.

    tools/fold-window-words.py AIMSET_CHECKD PUBLIC_CASES [--folds N] [--sets GLOB[,GLOB...]]

Splits the train sets, in their numbered order, into N folds (4 unless
--folds says otherwise); for each fold fits the score and its likely
weights as fit-window-words.py does, on the other folds and the public
cases, and has AIMSET_CHECKD judge the fold's sets with the shipped
knowledge and that score (--knowledge). Prints, for each fold and in all,
how many windows were judged right, how many asked about, and how many
aligned ones closed. This is how the score's likelihoods and
regularisation, and the likelihoods under which a window is kept, were
chosen; the held-out sets are never read, and nothing in the repository
is written. Python 3.11 and its standard library only.
"""

import importlib.util
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
KNOWLEDGE = ROOT / "checkd/data/knowledge"

_spec = importlib.util.spec_from_file_location("fitter", ROOT / "tools/fit-window-words.py")
fitter = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(fitter)


def number(path):
    return int(re.fullmatch(r"train(\d*)", path.stem).group(1) or 1)


def judge(checkd, knowledge, path):
    """(windows, right, asked, aligned closed) from the evaluation's confusion lines."""
    out = subprocess.run([checkd, "--knowledge", str(knowledge), "--evaluate", str(path)],
                         capture_output=True, check=True, text=True).stdout
    totals = [0, 0, 0, 0]
    pattern = (r"^category=.+? n=(\d+) aligned: kept=(\d+) asked=(\d+) closed=(\d+) \| "
               r"distracting: kept=(\d+) asked=(\d+) closed=(\d+)$")
    for n, a_kept, a_asked, a_closed, _, d_asked, d_closed in (
            map(int, m.groups()) for m in re.finditer(pattern, out, re.M)):
        totals[0] += n
        totals[1] += a_kept + d_asked + d_closed
        totals[2] += a_asked + d_asked
        totals[3] += a_closed
    # The summary's count, so that a confusion line not read is not a window lost.
    if f" n={totals[0]}\n" not in out:
        sys.exit(f"{path}: cannot read the confusion of {checkd} --evaluate")
    return totals


def line(name, totals):
    n, right, asked, closed = totals
    return (f"{name}: {right} of {n} right ({right / n:.4f}), asked {asked} ({asked / n:.4f}), "
            f"aligned closed {closed}")


def main():
    if len(sys.argv) < 3 or sys.argv[1].startswith("--") or sys.argv[2].startswith("--"):
        sys.exit(__doc__)
    checkd, public = sys.argv[1], Path(sys.argv[2])
    folds = int(sys.argv[sys.argv.index("--folds") + 1]) if "--folds" in sys.argv else 4
    sets = sorted(fitter.training_sets(sys.argv), key=number)
    if not 2 <= folds <= len(sets):
        sys.exit(f"--folds takes 2 to {len(sets)}")
    samples = {path: fitter.read(checkd, path) for path in sets}
    public_samples = fitter.read(checkd, public)
    checks = {path: fitter.read_checks(checkd, path) for path in sets}
    everything = [0, 0, 0, 0]
    with tempfile.TemporaryDirectory() as scratch:
        knowledge = Path(scratch)
        for name in KNOWLEDGE.glob("*.txt"):
            shutil.copy(name, knowledge)
        for k in range(folds):
            held = sets[len(sets) * k // folds:len(sets) * (k + 1) // folds]
            # In the order fit-window-words.py reads them, so a fold's fit is the one it makes.
            fitted = [s for path in sorted(sets) if path not in held
                      for s in samples[path]] + public_samples
            weights, bias = fitter.fit(fitted)
            rest = [path for path in sorted(sets) if path not in held]
            likely = fitter.fit_likely(rest, samples, checks, public_samples)
            fitter.write(weights, bias, fitted, knowledge / "window-words.txt", likely,
                         fitter.evidence_names(checkd, public))
            totals = [0, 0, 0, 0]
            for path in held:
                totals = [a + b for a, b in zip(totals, judge(checkd, knowledge, path))]
            everything = [a + b for a, b in zip(everything, totals)]
            print(line(f"{held[0].stem} to {held[-1].stem}", totals), flush=True)
    print(line("all", everything))


if __name__ == "__main__":
    main()
