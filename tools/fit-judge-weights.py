#!/usr/bin/env python3
"""Fits the offline judge's weights on the cases it may be tuned on.

    tools/fit-judge-weights.py AIMSET_CHECKD PUBLIC_CASES [--sets GLOB[,GLOB...]] [--write]

Asks AIMSET_CHECKD --evidence for the evidence of every check of the train
cases (--sets: globs under checkd/data/cases, by default every train*.jsonl;
only train sets are accepted) and the public ones (PUBLIC_CASES,
shared/alignment-cases/public.jsonl); fits a regularised
logistic score (each check labelled as its case) that settles what the
judge's rules do not find aligned; chooses its regularisation by
cross-validation within the train sets (folds by aimset, so a fold's aimsets are
new to its fit); and prints how the score and the rules alone fare, and
the cross-validated accuracy at a range of "aligned from" cuts. With
--write it stores the weights and thresholds in
checkd/data/knowledge/weights.txt: "aligned from" in the middle of the
most accurate cuts on the fitting cases, "closed below" under the score
of every aligned case it could close, and lower by the most that a fit in
cross-validation (over several foldings) left such a held-out aligned
window under its own threshold. The held-out sets
are never read here. Python 3.11 and its standard library only.
"""

import bisect
import glob
import hashlib
import json
import math
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CASES = ROOT / "checkd/data/cases"
DEFAULT_SETS = "train*.jsonl"
WEIGHTS = ROOT / "checkd/data/knowledge/weights.txt"
# Evidence left out of the score: what the fit cannot tell apart from
# others, or what cross-validation found to hurt.
LEFT_OUT = {"one weak word"}  # a bar to keeping, not a weight
LAMBDAS = [1.0, 3.0, 10.0]
FOLDS = 5
SPLITS = 5
# Cuts at which the cross-validated accuracy is shown, to see how much the
# choice of "aligned from" matters.
CUTS = [round(-1.0 + 0.25 * i, 2) for i in range(9)]


def evidence_rows(checkd, path):
    """AIMSET_CHECKD --evidence on a set, split into fields: the header, then a row per check
    (id, label, check, the window-word score's context, then the evidence)."""
    out = subprocess.run([checkd, "--evidence", str(path)], capture_output=True, check=True,
                         text=True).stdout.splitlines()
    return [row.split("\t") for row in out]


def read_cases(checkd, path):
    """Each case: id, label (1 aligned), aimset, and its checks: (name, evidence or None)."""
    aimsets = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        if line.strip():
            case = json.loads(line)
            aimsets[case.get("id", "")] = case["aimset"]
    rows = evidence_rows(checkd, path)
    names = rows[0][4:]
    cases = {}
    for fields in rows[1:]:
        case_id, label, check = fields[0], fields[1], fields[2]
        case = cases.setdefault(case_id, {"id": case_id, "aligned": label == "aligned",
                                          "aimset": aimsets[case_id], "checks": []})
        evidence = [float(v) for v in fields[4:]] if len(fields) > 4 else None
        case["checks"].append((check, evidence))
    return names, list(cases.values())


def solve(a, b):
    """a x = b by Gaussian elimination (a is symmetric positive definite here)."""
    n = len(b)
    m = [row[:] + [b[i]] for i, row in enumerate(a)]
    for c in range(n):
        p = max(range(c, n), key=lambda r: abs(m[r][c]))
        m[c], m[p] = m[p], m[c]
        for r in range(c + 1, n):
            f = m[r][c] / m[c][c]
            if f:
                for k in range(c, n + 1):
                    m[r][k] -= f * m[c][k]
    x = [0.0] * n
    for r in range(n - 1, -1, -1):
        x[r] = (m[r][n] - sum(m[r][k] * x[k] for k in range(r + 1, n))) / m[r][r]
    return x


def fit(samples, lam, iterations=12):
    """L2-regularised logistic regression by Newton's method; weight 0 is the bias."""
    n = len(samples[0][0]) + 1
    # Most evidence is zero: only the rest enters the sums.
    sparse = [([(0, 1.0)] + [(i + 1, v) for i, v in enumerate(x) if v], y) for x, y in samples]
    w = [0.0] * n
    for _ in range(iterations):
        h = [[0.0] * n for _ in range(n)]
        g = [0.0] * n
        for xs, y in sparse:
            z = sum(w[i] * v for i, v in xs)
            p = 1.0 / (1.0 + math.exp(-max(-30.0, min(30.0, z))))
            d = p * (1.0 - p)
            r = p - y
            for i, vi in xs:
                g[i] += r * vi
                hi = h[i]
                dvi = d * vi
                for j, vj in xs:
                    hi[j] += dvi * vj
        for i in range(1, n):
            g[i] += lam * w[i]
            h[i][i] += lam
        h[0][0] += 1e-6
        step = solve(h, g)
        w = [wi - si for wi, si in zip(w, step)]
        if max(abs(s) for s in step) < 1e-6:
            break
    return w


def score(w, evidence):
    return w[0] + sum(wi * xi for wi, xi in zip(w[1:], evidence))


def outcome(case, decide):
    """How the app ends a case: the title check, then the text check if any."""
    ended = "unclear"
    for check, evidence in case["checks"]:
        if evidence is None:
            verdict = "unclear"
        else:
            verdict = decide(evidence)
        if check == "title":
            if verdict == "aligned":
                return "aligned"
        else:
            ended = verdict
    return ended


def figures(cases, decide):
    right = closed = asked = 0
    for case in cases:
        ended = outcome(case, decide)
        right += (ended == "aligned") == case["aligned"]
        closed += case["aligned"] and ended == "misaligned"
        asked += ended == "unclear"
    return right / len(cases), closed, asked / len(cases)


class Model:
    def __init__(self, names, cases, lam):
        self.names = names
        self.keep = [i for i, name in enumerate(names) if name not in LEFT_OUT]
        self.leisure = names.index("leisure")
        self.rules_aligned = names.index("rules aligned")
        self.rules_closed = names.index("rules closed")
        self.page = names.index("page")
        self.one_weak_word = names.index("one weak word")
        self.play_place = names.index("play place")
        self.play_may_work = [names.index(n) for n in (
            "intended place", "named place", "aimset about play")]
        self.of_aimset = [names.index(n) for n in (
            "direct", "related", "own words", "aimset about play", "intended place",
            "named place", "work place", "learning")]
        samples = [(self.pick(e), 1.0 if c["aligned"] else 0.0)
                   for c in cases for _, e in c["checks"] if e is not None]
        self.w = fit(samples, lam)
        self.choose_thresholds(cases)

    def pick(self, evidence):
        return [evidence[i] for i in self.keep]

    def score(self, evidence):
        return score(self.w, self.pick(evidence))

    def decide(self, evidence):
        # What the rules find aligned stays so; the score settles the rest.
        if evidence[self.rules_aligned]:
            return "aligned"
        s = self.score(evidence)
        # Nor does a score keep a title for one weak word among many others.
        if s >= self.aligned_from and (evidence[self.page] or not evidence[self.one_weak_word]):
            return "aligned"
        if s < self.closed_below and self.closable(evidence) or self.bare_play(evidence):
            return "misaligned"
        return "unclear"

    def closable(self, evidence):
        """A low score closes play, but not on a place the aimset needs or names, nor play
        when the aimset is about play."""
        return evidence[self.leisure] > 0 and not any(evidence[i] for i in self.play_may_work)

    def bare_play(self, evidence):
        """The rules close a place of play that shows nothing of the aimset; no score overrules."""
        return (evidence[self.rules_closed] and evidence[self.play_place]
                and not any(evidence[i] for i in self.of_aimset))

    def keeping_score(self, case):
        """The highest "aligned from" at which the case ends aligned (as outcome() ends it)."""
        relevant = [e for check, e in case["checks"] if check == "title" and e is not None]
        last_text = [e for check, e in case["checks"] if check != "title"][-1:]
        relevant += [e for e in last_text if e is not None]
        best = -math.inf
        for e in relevant:
            if e[self.rules_aligned]:
                return math.inf
            if e[self.page] or not e[self.one_weak_word]:
                best = max(best, self.score(e))
        return best

    def choose_thresholds(self, cases, margin=0.0):
        self.closed_below = -1e9
        scores = sorted({self.score(e) for c in cases for _, e in c["checks"] if e is not None})
        # Halfway between two scores, so that no case sits on the cut.
        cuts = [round((a + b) / 2, 3) for a, b in zip(scores, scores[1:])]
        # A case ends aligned exactly when the cut is at most its keeping
        # score, so every cut's accuracy comes from two sorted lists.
        kept_aligned, kept_other = [], []
        for case in cases:
            (kept_aligned if case["aligned"] else kept_other).append(self.keeping_score(case))
        kept_aligned.sort()
        kept_other.sort()
        accuracies = [(len(kept_aligned) - bisect.bisect_left(kept_aligned, cut)
                       + bisect.bisect_left(kept_other, cut)) / len(cases) for cut in cuts]
        # The middle of the longest run of best cuts: as far from the cases on
        # either side as the fitting cases allow.
        best = max(accuracies)
        runs, start = [], None
        for i, accuracy in enumerate(accuracies + [None]):
            if accuracy == best and start is None:
                start = i
            elif accuracy != best and start is not None:
                runs.append((i - start, start, i - 1))
                start = None
        _, first, last = max(runs)
        self.aligned_from = round((cuts[first] + cuts[last]) / 2, 3)
        # Under every aligned case's text score, with a margin: a closed tab is
        # the one mistake the user pays for.
        lowest = min((self.score(e) for c in cases if c["aligned"]
                      for check, e in c["checks"] if check == "text" and e is not None
                      and self.closable(e)), default=0.0)
        self.closed_below = min(math.floor((lowest - margin) * 10) / 10 - 0.1,
                                self.aligned_from - 0.5)


def rules(names):
    aligned, closed = names.index("rules aligned"), names.index("rules closed")
    return lambda e: "aligned" if e[aligned] else "misaligned" if e[closed] else "unclear"


def cross_validate(names, train, public, lam, split=0):
    """Split 0 folds the aimsets in alphabetical order, others in a shuffled one."""
    aimsets = sorted({c["aimset"] for c in train},
                     key=lambda a: hashlib.sha1(f"{split} {a}".encode()).hexdigest() if split else a)
    fold_of = {a: i % FOLDS for i, a in enumerate(aimsets)}
    got = {"score": [0, 0, 0], "rules": [0, 0, 0]}
    margin = 0.0
    right_by_cut = dict.fromkeys(CUTS, 0.0)
    for fold in range(FOLDS):
        held = [c for c in train if fold_of[c["aimset"]] == fold]
        model = Model(names, [c for c in train if fold_of[c["aimset"]] != fold] + public, lam)
        # How far under its closing threshold a fit put an aligned window of
        # aimsets it never saw: the final threshold keeps that much further down.
        lowest = min((model.score(e) for c in held if c["aligned"]
                      for check, e in c["checks"] if check == "text" and e is not None
                      and model.closable(e)), default=model.closed_below)
        margin = max(margin, model.closed_below - lowest)
        chosen = model.aligned_from
        for cut in CUTS:
            model.aligned_from = cut
            right_by_cut[cut] += figures(held, model.decide)[0] * len(held)
        model.aligned_from = chosen
        for key, decide in (("score", model.decide), ("rules", rules(names))):
            accuracy, closed, _ = figures(held, decide)
            got[key][0] += accuracy * len(held)
            got[key][1] += closed
        got["score"][2] += 1
    figures_of = {k: (v[0] / len(train), v[1]) for k, v in got.items()}
    figures_of["margin"] = margin
    figures_of["right_by_cut"] = right_by_cut
    return figures_of


def training_sets(argv):
    """The train sets named by --sets; anything else is refused, so held-out cases are never read."""
    patterns = argv[argv.index("--sets") + 1].split(",") if "--sets" in argv else [DEFAULT_SETS]
    paths = sorted({Path(p) for pattern in patterns for p in glob.glob(str(CASES / pattern))})
    if not paths:
        sys.exit(f"no train sets match {patterns}")
    for path in paths:
        if not path.name.startswith("train") or path.parent != CASES:
            sys.exit(f"not a train set: {path}")
    return paths


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    checkd = sys.argv[1]
    train = []
    for path in training_sets(sys.argv):
        names, cases = read_cases(checkd, path)
        train += cases
    print(f"fitting on {len(train)} train cases and the public ones")
    _, public = read_cases(checkd, Path(sys.argv[2]))
    best = None
    for lam in LAMBDAS:
        cv = cross_validate(names, train, public, lam)
        print(f"lambda={lam}: cross-validated accuracy score={cv['score'][0]:.3f} "
              f"(closed {cv['score'][1]}) rules={cv['rules'][0]:.3f} (closed {cv['rules'][1]})")
        print(f"  closing margin {cv['margin']:.2f}")
        if best is None or cv["score"][0] > best[0]:
            best = (cv["score"][0], lam, cv["margin"], cv["right_by_cut"])
    lam, margin, right_by_cut = best[1], best[2], dict(best[3])
    # The margin is noisy: a fit's threshold moves with the cases it is given,
    # so the largest margin over more foldings is kept.
    for split in range(1, SPLITS):
        cv = cross_validate(names, train, public, lam, split)
        margin = max(margin, cv["margin"])
        for cut, right in cv["right_by_cut"].items():
            right_by_cut[cut] += right
    print(f"closing margin over {SPLITS} foldings: {margin:.2f}")
    # Flat means the cut's movement between fits costs little.
    print(f"cross-validated accuracy by cut over {SPLITS} foldings:",
          " ".join(f"{c:+.2f}={right_by_cut[c] / SPLITS / len(train):.3f}" for c in CUTS))
    model = Model(names, train + public, lam)
    # Rounded as stored, then the thresholds chosen again on what C++ computes.
    model.w = [round(v, 3) for v in model.w]
    model.choose_thresholds(train + public, margin)
    for name, cases in (("train", train), ("public", public)):
        for key, decide in (("score", model.decide), ("rules", rules(names))):
            accuracy, closed, asked = figures(cases, decide)
            print(f"{name} {key}: accuracy={accuracy:.3f} closed={closed} asked={asked:.3f}")
    ranked = sorted(zip(model.w[1:], [names[i] for i in model.keep]), key=lambda p: -abs(p[0]))
    print("weights:", ", ".join(f"{n}={w:+.3f}" for w, n in ranked))
    print(f"bias={model.w[0]:+.3f} aligned_from={model.aligned_from:.3f} "
          f"closed_below={model.closed_below:.2f} lambda={lam}")
    if "--write" in sys.argv:
        lines = [line for line in WEIGHTS.read_text(encoding="utf-8").splitlines()
                 if line.startswith("#")]
        lines.append(f"bias = {model.w[0]:.3f}")
        # The rules' "aligned" stands without a score, so its weight never counts.
        lines += [f"{n} = {w:.3f}" for w, n in ranked if w and n != "rules aligned"]
        lines += [f"aligned from = {model.aligned_from:.3f}",
                  f"closed below = {model.closed_below:.2f}"]
        WEIGHTS.write_text("\n".join(lines) + "\n", encoding="utf-8")
        print("wrote", WEIGHTS.relative_to(ROOT))


if __name__ == "__main__":
    main()
