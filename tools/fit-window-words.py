#!/usr/bin/env python3
"""Fits how telling each word of a window's first line is of a distraction.

    tools/fit-window-words.py AIMSET_CHECKD PUBLIC_CASES [--sets GLOB[,GLOB...]] [--write]

Reads every labelled window of the train sets (--sets as in
fit-judge-weights.py; only train sets are accepted) and of the public cases
(PUBLIC_CASES), takes the first words of what the text check is sent
(the title, then the page), and fits a regularised logistic score of "this
window is a distraction" on its words and pairs of neighbouring words, and
on the kinds of places it shows, alone and beside each of the aimset's
fields (as AIMSET_CHECKD --evidence names them): a shop is a distraction
more often to a tax return than to a home repair. Where the score calls a window a
distraction with at least ASKING_LIKELIHOOD, the offline judge asks about
it rather than keep it for words it shares with the aimset; with at least
CLOSING_LIKELIHOOD it closes one that nothing links to the aimset rather
than ask. Then it fits the likely weights: how likely each check is of a
distraction from the judge's evidence and the score, each set's checks
scored by a fit that left the set out; a window that nothing links to the
aimset, at a place that shows no sign of play, is kept when less likely
than TITLE_KEPT_BELOW (a title) or TEXT_KEPT_BELOW (a page), and a page
asked about for the little it shares at a place of play when less likely
than SHARED_KEPT_BELOW; a window kept for what it shares is asked about
from ASKED_FROM_LIKELY up, a page that nothing links to is closed from
CLOSED_FROM_LIKELY up (MIXED_CLOSED_FROM_LIKELY at a place of work and
play), and any page still asked about from
QUESTION_CLOSED_FROM_LIKELY up. With --write it stores both in
checkd/data/knowledge/window-words.txt.
The held-out sets are never read here. Python 3.11 and its standard
library only.
"""

import importlib.util
import json
import math
import random
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
OUTPUT = ROOT / "checkd/data/knowledge/window-words.txt"

_spec = importlib.util.spec_from_file_location("weights", ROOT / "tools/fit-judge-weights.py")
_weights = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_weights)
training_sets = _weights.training_sets

# Only the start of a page is read: the title, or the page's own heading.
WORDS = 12
# The browser's own name says nothing of the page it shows.
IGNORED = ["mozilla firefox", "google chrome", "microsoft edge", "firefox", "chromium", "safari",
           "brave", "opera", "vivaldi"]
# Regularisation (the inverse of its strength) and how sure the score must
# be: chosen by fits on train–train50 and public checked on train51–train73,
# and four fits each leaving out a quarter of the train sets (README); the
# regularisation again once the places and fields were added.
STRENGTH = 128.0
ASKING_LIKELIHOOD = 0.9
CLOSING_LIKELIHOOD = 0.97
EPOCHS = 25
# The likely weights: their regularisation, how many parts of the train
# sets give each set's checks a score fitted without it, and the likelihoods
# of a distraction under which a title, or a page, that nothing links to the
# aimset is kept, and from which a window is asked about or closed (chosen on
# the four folds of fold-window-words.py).
LIKELY_STRENGTH = 1.0
LIKELY_FOLDS = 4
TITLE_KEPT_BELOW = 0.4
TEXT_KEPT_BELOW = 0.3
SHARED_KEPT_BELOW = 0.2
ASKED_FROM_LIKELY = 0.6
CLOSED_FROM_LIKELY = 0.92
MIXED_CLOSED_FROM_LIKELY = 0.95
QUESTION_CLOSED_FROM_LIKELY = 0.98
# Weights smaller than this change few scores and would only fill the file.
SMALLEST = 0.5


def tokens(text):
    """Lower-case runs of letters and digits, as the judge reads them."""
    out, run = [], []
    for ch in text:
        if ch.isalnum():
            run.append(ch)
        elif run:
            out.append("".join(run).lower())
            run = []
    if run:
        out.append("".join(run).lower())
    return out


def terms(text, ignored=None, words=WORDS):
    """The window's words and pairs of neighbouring words, each once."""
    ignored = [p.split() for p in (IGNORED if ignored is None else ignored)]
    # As the judge, which reads no further than the kept words can need.
    seen = tokens(text)[:4 * words + 16]
    kept = []
    i = 0
    while i < len(seen) and len(kept) < words:
        skip = next((len(p) for p in ignored if seen[i:i + len(p)] == p), 0)
        if skip:
            i += skip
            continue
        word = seen[i]
        i += 1
        if len(word) >= 2 and not word.isdecimal():
            kept.append(word)
    found = {}
    for i, word in enumerate(kept):
        found[word] = None
        if i:
            found[f"{kept[i - 1]} {word}"] = None
    return list(found)


def context(case):
    """What the text check is sent for a case, as the evaluation sends it."""
    window = f"{case['app']} - {case['title']}"
    text = case.get("text")
    if not isinstance(text, str) or not text.strip():
        return window
    return f"{case['title']} {text}"


_EVIDENCE = {}


def evidence_rows(checkd, path):
    """AIMSET_CHECKD --evidence of a set, run once for the score and the likely weights."""
    if (checkd, path) not in _EVIDENCE:
        _EVIDENCE[(checkd, path)] = _weights.evidence_rows(checkd, path)
    return _EVIDENCE[(checkd, path)]


def contexts(checkd, path):
    """Each case's place and field terms, of the last check the app makes of it."""
    found = []
    for fields in evidence_rows(checkd, path)[1:]:
        if fields[2] == "title":
            found.append([])
        found[-1] = [t for t in fields[3].split("|") if t]
    return found


def read(checkd, path):
    found = contexts(checkd, path)
    cases = labelled(path)
    if len(cases) != len(found):
        sys.exit(f"{path}: {len(cases)} cases but evidence for {len(found)}")
    return [(terms(context(case)) + more, case["label"] == "distracting")
            for case, more in zip(cases, found) if case["label"] in ("aligned", "distracting")]


def labelled(path):
    """The cases the evidence lists: those with an aimset and a label, in order."""
    cases = [json.loads(line) for line in path.read_text(encoding="utf-8").splitlines()
             if line.strip()]
    return [case for case in cases if case.get("aimset") and case.get("label")]


def read_checks(checkd, path):
    """Each labelled window's checks that the judge weighs (not those its rules settle first):
    (evidence, the terms the score reads of the window checked), and whether it distracts."""
    cases = labelled(path)
    found = []
    for fields in evidence_rows(checkd, path)[1:]:
        if fields[2] == "title":
            found.append([])
        if len(fields) <= 4 or len(found) > len(cases):
            continue
        case = cases[len(found) - 1]
        window = f"{case['app']} - {case['title']}" if fields[2] == "title" else context(case)
        found[-1].append(([float(v) for v in fields[4:]],
                          terms(window) + [t for t in fields[3].split("|") if t]))
    if len(cases) != len(found):
        sys.exit(f"{path}: {len(cases)} cases but evidence for {len(found)}")
    return [(checks, case["label"] == "distracting") for case, checks in zip(cases, found)
            if case["label"] in ("aligned", "distracting")]


def fit_likely(sets, samples, checks, public):
    """Weights of how likely a check is of a distraction, on the judge's evidence and the
    score; each set's checks are scored by a fit that did not see the set, as new windows
    are. None with too few sets to leave one out."""
    folds = min(LIKELY_FOLDS, len(sets))
    if folds < 2:
        return None
    rows = []
    for k in range(folds):
        held = sets[len(sets) * k // folds:len(sets) * (k + 1) // folds]
        weights, bias = fit([s for path in sets if path not in held for s in samples[path]]
                            + public)
        for path in held:
            for found, distracting in checks[path]:
                for evidence, words in found:
                    rows.append((evidence + [score(weights, bias, words)],
                                 1.0 if distracting else 0.0))
    return _weights.fit(rows, LIKELY_STRENGTH)


def evidence_names(checkd, path):
    return evidence_rows(checkd, path)[0][4:]


def logit(likelihood):
    return math.log(likelihood / (1.0 - likelihood))


def score(weights, bias, found):
    """The judge's arithmetic: every term counts 1/sqrt(number of terms)."""
    if not found:
        return bias
    return bias + sum(weights.get(t, 0.0) for t in found) / math.sqrt(len(found))


def fit(samples, strength=STRENGTH, epochs=EPOCHS, seed=1):
    """Logistic regression by AdaGrad. Each term's share of the L2 penalty is
    paid in the cases that have it, so rare terms are held back as much as
    common ones over an epoch."""
    weights, squares, counts = {}, {}, {}
    for found, _ in samples:
        for t in found:
            counts[t] = counts.get(t, 0) + 1
    bias, bias_squares = 0.0, 1e-8
    order = list(range(len(samples)))
    rng = random.Random(seed)
    for _ in range(epochs):
        rng.shuffle(order)
        for k in order:
            found, distracting = samples[k]
            if not found:
                continue
            x = 1.0 / math.sqrt(len(found))
            z = max(-30.0, min(30.0, score(weights, bias, found)))
            error = 1.0 / (1.0 + math.exp(-z)) - distracting
            for t in found:
                w = weights.get(t, 0.0)
                g = error * x + w / (strength * counts[t])
                squares[t] = squares.get(t, 1e-8) + g * g
                weights[t] = w - 0.5 * g / math.sqrt(squares[t])
            bias_squares += error * error
            bias -= 0.5 * error / math.sqrt(bias_squares)
    return weights, bias


def write(weights, bias, samples, output=OUTPUT, likely=None, names=()):
    kept = {t: w for t, w in weights.items() if abs(w) >= SMALLEST}
    lines = [
        "# How telling each word of a window's first line is of a distraction: a",
        "# window's score is the bias plus the weights of its words and pairs of",
        "# neighbouring words, of the kinds of places it shows (\"@shopping\") and of",
        "# each of those beside each field of the aimset (\"topic:baking @shopping\",",
        "# \"for:travel @shopping\") (\"term = weight\" under [terms]), divided by the",
        "# square root of how many terms it has. Only the first \"words\"",
        "# words count, leaving out the \"ignored\" phrases, single letters and",
        "# numbers. From a score of \"asked from\" up the judge asks about a window",
        "# it would keep for the words it shares with the aimset; from \"closed from\"",
        "# up it closes one that nothing links to the aimset. Written by",
        f"# tools/fit-window-words.py from {len(samples)} labelled windows of the",
        "# train sets and the public cases; fit again after they change, never on",
        "# held-out cases.",
        f"bias = {bias:.3f}",
        f"asked from = {logit(ASKING_LIKELIHOOD):.3f}",
        f"closed from = {logit(CLOSING_LIKELIHOOD):.3f}",
        f"words = {WORDS}",
        "ignored = " + ", ".join(IGNORED),
    ]
    if likely:
        lines += [
            "# How likely a check is of a distraction (as a logit): \"likely bias\" plus",
            "# each piece of the judge's evidence times its weight, plus the score times",
            "# \"likely score\". A title, or a page, that nothing links to the aimset at a",
            "# place that shows no sign of play is kept when less likely than its",
            "# \"kept below\"; a page asked about for the little it shares at a place",
            "# of play, when less likely than \"shared kept below\". A window kept for",
            "# what it shares is asked about from \"asked from likely\" up, one that",
            "# nothing links to the aimset closed from \"closed from likely\" up (from",
            "# \"mixed closed from likely\" at a place of work and play, a video site),",
            "# and any page still asked about (not music, mail or chat) from \"question",
            "# closed from likely\" up.",
            f"likely bias = {likely[0]:.3f}",
            f"likely score = {likely[-1]:.3f}",
        ]
        lines += [f"likely {name} = {w:.3f}" for name, w in zip(names, likely[1:-1])]
        lines += [f"title kept below = {logit(TITLE_KEPT_BELOW):.3f}",
                  f"text kept below = {logit(TEXT_KEPT_BELOW):.3f}",
                  f"shared kept below = {logit(SHARED_KEPT_BELOW):.3f}",
                  f"asked from likely = {logit(ASKED_FROM_LIKELY):.3f}",
                  f"closed from likely = {logit(CLOSED_FROM_LIKELY):.3f}",
                  f"mixed closed from likely = {logit(MIXED_CLOSED_FROM_LIKELY):.3f}",
                  f"question closed from likely = {logit(QUESTION_CLOSED_FROM_LIKELY):.3f}"]
    lines.append("[terms]")
    lines += [f"{t} = {kept[t]:.3f}" for t in sorted(kept)]
    output.write_text("\n".join(lines) + "\n", encoding="utf-8")
    print(f"wrote {len(kept)} terms to {output}")


def main():
    if len(sys.argv) < 3 or sys.argv[1].startswith("--") or sys.argv[2].startswith("--"):
        sys.exit(__doc__)
    checkd = sys.argv[1]
    sets = training_sets(sys.argv)
    by_set = {path: read(checkd, path) for path in sets}
    public = read(checkd, Path(sys.argv[2]))
    samples = [s for path in sets for s in by_set[path]] + public
    weights, bias = fit(samples)
    likely = fit_likely(sets, by_set, {path: read_checks(checkd, path) for path in sets}, public)
    distractions = sum(1 for found, d in samples if d)
    print(f"fitted on {len(samples)} windows ({distractions} distractions)")
    for likelihood in (ASKING_LIKELIHOOD, CLOSING_LIKELIHOOD):
        over = [d for found, d in samples if score(weights, bias, found) >= logit(likelihood)]
        print(f"  {len(over)} score as distractions from {likelihood}, "
              f"{sum(1 for d in over if not d)} of them aligned")
    if likely is None:
        print("  no likely weights: they need two train sets or more")
    if "--write" in sys.argv:
        write(weights, bias, samples, likely=likely, names=evidence_names(checkd, sets[0]))


if __name__ == "__main__":
    main()
