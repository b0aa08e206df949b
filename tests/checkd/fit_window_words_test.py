"""The window-word fitter reads a window as the judge does, and its fit
separates words of distractions from words of work."""

import importlib.util
import random
import sys
import unittest

spec = importlib.util.spec_from_file_location("fitter", sys.argv.pop(1))
fitter = importlib.util.module_from_spec(spec)
spec.loader.exec_module(fitter)
TABLE = sys.argv.pop(1)


class WindowWordsFitterTest(unittest.TestCase):
    def test_terms_are_the_judges(self):
        rows = 0
        with open(TABLE, encoding="utf-8") as table:
            for line in table:
                line = line.rstrip("\n")
                if line and not line.startswith("#"):
                    text, expected = line.split("\t")
                    self.assertEqual(" | ".join(fitter.terms(text)), expected, text)
                    rows += 1
        self.assertGreaterEqual(rows, 5)

    def test_fit_tells_play_from_work_whatever_else_the_window_says(self):
        rng = random.Random(3)
        filler = [f"w{i}" for i in range(60)]
        samples = []
        for _ in range(600):
            distracting = rng.random() < 0.5
            words = rng.sample(filler, 4) + ["memes" if distracting else "invoice"]
            rng.shuffle(words)
            samples.append((fitter.terms(" ".join(words)), distracting))
        weights, bias = fitter.fit(samples, epochs=10)
        self.assertGreater(weights["memes"], 1.0)
        self.assertLess(weights["invoice"], -1.0)
        self.assertLess(max(abs(weights[w]) for w in filler), weights["memes"] / 3)
        self.assertGreaterEqual(fitter.score(weights, bias, fitter.terms("memes w1 w2")),
                                fitter.logit(fitter.ASKING_LIKELIHOOD))
        self.assertLess(fitter.score(weights, bias, fitter.terms("invoice w1 w2")), 0)

    def test_likely_weights_trust_the_score_only_as_far_as_it_tells_new_windows(self):
        # Each window has a word of its own, which a fit that saw it learns by
        # heart, and one piece of evidence that tells four times in five.
        rng = random.Random(5)
        sets, samples, checks = [f"set{i}" for i in range(4)], {}, {}
        for name in sets:
            samples[name], checks[name] = [], []
            for k in range(80):
                distracting = rng.random() < 0.5
                words = fitter.terms(f"{name}x{k} w{rng.randrange(20)}")
                evidence = [1.0 if distracting == (rng.random() < 0.8) else 0.0]
                samples[name].append((words, distracting))
                checks[name].append(([(evidence, words)], distracting))
        bias, evidence_weight, score_weight = fitter.fit_likely(sets, samples, checks, [])
        self.assertGreater(evidence_weight, 1.5)
        self.assertLess(abs(score_weight), 0.5)
        self.assertIsNone(fitter.fit_likely(sets[:1], samples, checks, []))


if __name__ == "__main__":
    unittest.main()
