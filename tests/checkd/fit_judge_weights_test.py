"""The weight fitter's own arithmetic: the cut sweep against judging every case, and
which case files it will read."""

import importlib.util
import random
import sys
import unittest

spec = importlib.util.spec_from_file_location("fitter", sys.argv.pop(1))
fitter = importlib.util.module_from_spec(spec)
spec.loader.exec_module(fitter)

NAMES = ["page", "direct", "related", "leisure", "play place", "intended place", "named place",
         "aimset about play", "own words", "work place", "learning", "one weak word",
         "rules aligned", "rules closed"]


def random_cases(seed, count=300):
    rng = random.Random(seed)

    def evidence():
        return [rng.choice([0.0, 0.0, 1.0, rng.uniform(0.1, 3.0)]) for _ in NAMES]

    cases = []
    for i in range(count):
        checks = [("title", evidence() if rng.random() > 0.1 else None)]
        if rng.random() > 0.3:
            checks.append(("text", evidence() if rng.random() > 0.1 else None))
        cases.append({"id": str(i), "aligned": rng.random() > 0.5, "aimset": str(i % 40),
                      "checks": checks})
    return cases


class FitterTest(unittest.TestCase):
    def test_keeping_score_is_where_each_case_stops_ending_aligned(self):
        cases = random_cases(1)
        model = fitter.Model(NAMES, cases, 1.0)
        model.closed_below = -1e9
        for case in cases:
            kept = model.keeping_score(case)
            for cut in (-2.0, -0.5, 0.0, 0.3, 1.0, 2.5):
                model.aligned_from = cut
                ended = fitter.outcome(case, model.decide)
                self.assertEqual(ended == "aligned", cut <= kept, (case["id"], cut, kept))

    def test_chosen_cut_is_as_accurate_as_any(self):
        cases = random_cases(2)
        model = fitter.Model(NAMES, cases, 3.0)
        chosen = fitter.figures(cases, model.decide)[0]
        for cut in [c / 10 for c in range(-30, 31)]:
            model.aligned_from = cut
            self.assertLessEqual(fitter.figures(cases, model.decide)[0], chosen, cut)

    def test_only_train_sets_are_read(self):
        with self.assertRaises(SystemExit):
            fitter.training_sets(["fit", "--sets", "train.jsonl,holdout.jsonl"])
        with self.assertRaises(SystemExit):
            fitter.training_sets(["fit", "--sets", "../knowledge/*.txt"])
        names = [p.name for p in fitter.training_sets(["fit"])]
        self.assertIn("train.jsonl", names)
        self.assertTrue(all(n.startswith("train") for n in names), names)


if __name__ == "__main__":
    unittest.main()
