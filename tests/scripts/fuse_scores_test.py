#!/usr/bin/env python3
"""Checks scripts/fuse_scores.py: its error rates, its fitted weights, and a whole run."""
import os
import random
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
import fuse_scores  # noqa: E402


def write_run(folder, split, condition, trials):
    """trials: [(trial, truth, {target: score})] as a `kestrune evaluate --scores` file."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"scores-p-{split}-{condition}.tsv"), "w") as out:
        out.write("trial\ttruth\ttarget\tlogScore\tfrr\tfar\n")
        for trial, truth, scores in trials:
            for target, score in scores.items():
                out.write(f"{trial}\t{truth}\t{target}\t{round(score * 1000)}\t0\t0\n")


class ErrorRates(unittest.TestCase):
    def test_equal_error_rate(self):
        cases = [
            ([3.0, 2.0], [1.0, 0.0], 0.0),              # separated
            ([0.9, 0.6, 0.4], [0.5, 0.1, 0.0], 100 / 3),  # one of three on the wrong side
            ([2.0, 1.0], [1.0, 0.0], 50.0),             # a tie is not split in the genuine's favour
            ([0.0], [1.0], 100.0),                      # every genuine below every impostor
        ]
        for genuine, impostor, expected in cases:
            with self.subTest(genuine=genuine, impostor=impostor):
                self.assertAlmostEqual(fuse_scores.equal_error_rate(genuine, impostor), expected)
        self.assertIsNone(fuse_scores.equal_error_rate([1.0], []))

    def test_measures_of_a_list(self):
        trials = {
            ("t1", "a"): {"a": 2.0, "b": 1.0},  # right
            ("t2", "b"): {"a": 3.0, "b": 1.0},  # wrong, and the highest best score
            ("t3", "-"): {"a": 0.5, "b": 0.2},  # never enrolled
        }
        top1, eer, open_set = fuse_scores.measures(trials)
        self.assertEqual(top1, 50.0)
        # Genuine 2, 1 against impostors 1, 3, 0.5, 0.2.
        self.assertAlmostEqual(eer, 50.0)
        # Best scores 2 and 3 of enrolled speakers above the unknown speaker's 0.5.
        self.assertEqual(open_set, 0.0)


class Fitting(unittest.TestCase):
    def test_the_informative_engine_gets_the_weight(self):
        rng = random.Random(1)
        samples = []
        for _ in range(400):
            genuine = rng.random() < 0.2
            samples.append((rng.gauss(2.0 if genuine else 0.0, 1.0), rng.gauss(0.0, 1.0),
                            int(genuine)))
        w_a, w_b, _bias = fuse_scores.logistic_regression(samples)
        self.assertGreater(w_a, 1.0)
        self.assertLess(abs(w_b), 0.3 * w_a)

    def test_separated_classes_keep_finite_weights(self):
        samples = [(1.0, 1.0, 1), (2.0, 1.5, 1), (-1.0, -1.0, 0), (-2.0, -0.5, 0)]
        weights = fuse_scores.logistic_regression(samples)
        self.assertTrue(all(abs(w) < 1e6 for w in weights))


class WholeRun(unittest.TestCase):
    def test_fusion_is_learned_on_validation_and_measured_on_test(self):
        # A knows speaker a, B knows speaker b: fused, both are identified.
        def trials(swap):
            rows = []
            for n in range(20):
                truth = "a" if n % 2 == 0 else "b"
                a_right = truth == "a"
                score_a = {"a": 2.0, "b": 0.0} if a_right else {"a": 0.4, "b": 0.3}
                score_b = {"a": 0.3, "b": 0.4} if a_right else {"a": 0.0, "b": 2.0}
                rows.append((f"t{n}", truth, score_b if swap else score_a))
            return rows

        with tempfile.TemporaryDirectory() as work:
            run_a, run_b = os.path.join(work, "A"), os.path.join(work, "B")
            for split in ("validation", "test"):
                write_run(run_a, split, "clean", trials(False))
                write_run(run_b, split, "clean", trials(True))
            doc = os.path.join(work, "fusion.md")
            with open(os.devnull, "w") as quiet:
                stdout, sys.stdout = sys.stdout, quiet
                try:
                    fuse_scores.main(["fuse_scores.py", run_a, run_b, "--doc", doc])
                finally:
                    sys.stdout = stdout
            with open(doc) as written:
                text = written.read()
            self.assertIn("## Test trials", text)
            self.assertIn("| p | clean | 50.0 | 50.0 | 100.0 |", text)

    def test_a_damaged_scores_file_is_named(self):
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "scores-p-test-clean.tsv")
            with open(path, "w") as out:
                out.write("trial\ttruth\ttarget\tlogScore\tfrr\tfar\nt1\ta\ta\t1.5\t0\t0\n")
            with self.assertRaisesRegex(SystemExit, "scores-p-test-clean.tsv:2"):
                fuse_scores.read_scores(path)

    def test_runs_of_different_trials_are_refused(self):
        a = {("t1", "a"): {"a": 1.0}}
        b = {("t2", "a"): {"a": 1.0}}
        with self.assertRaises(SystemExit):
            fuse_scores.fuse(a, b, (1.0, 1.0))


if __name__ == "__main__":
    unittest.main()
