#!/usr/bin/env python3
"""Measures the score-level fusion of two engines on the development protocols.

    scripts/fuse_scores.py RUN_A RUN_B [--doc FILE]

RUN_A and RUN_B are run folders of scripts/evaluate.sh (WORK/runs/NAME) that scored the same
trial lists, for example the engine with its defaults and the engine with other front-end
constants (TRAIN_ARGS="--set ..."). The fused score of a comparison is a weighted sum of the
two engines' scores, with weights learned by logistic regression on the validation
comparisons alone (genuine against impostor, both classes weighted equally); the test trials
are then measured with those weights. Prints, for each split, top-1 identification, EER over
every comparison and the open-set EER of each trial's best score, for A, B and the fusion.
With --doc, also writes the tables as a Markdown document.
"""
import collections
import glob
import math
import os
import sys
import tempfile

SPLITS = ("validation", "test")


def read_scores(path):
    """{(trial, truth): {target: score}} in file order, from a `kestrune evaluate --scores` file."""
    trials = collections.OrderedDict()
    with open(path, encoding="utf-8") as lines:
        next(lines, None)
        for number, line in enumerate(lines, start=2):
            fields = line.rstrip("\n").split("\t")
            try:
                trial, truth, target, score, _frr, _far = fields
                trials.setdefault((trial, truth), {})[target] = int(score) / 1000.0
            except ValueError:
                raise SystemExit(f"fuse_scores: {path}:{number}: not a line of"
                                 " `kestrune evaluate --scores`") from None
    return trials


def equal_error_rate(genuine, impostor):
    """Percent at which misses and false alarms are equal (the larger of the two at the
    threshold where they cross); None without both kinds of scores."""
    if not genuine or not impostor:
        return None
    ranked = sorted([(s, 1) for s in genuine] + [(s, 0) for s in impostor], reverse=True)
    accepted_genuine = accepted_impostor = 0
    best = 1.0
    for i, (score, is_genuine) in enumerate(ranked):
        accepted_genuine += is_genuine
        accepted_impostor += 1 - is_genuine
        if i + 1 < len(ranked) and ranked[i + 1][0] == score:
            continue  # a threshold cannot split equal scores
        miss = 1.0 - accepted_genuine / len(genuine)
        false_alarm = accepted_impostor / len(impostor)
        best = min(best, max(miss, false_alarm))
    return 100.0 * best


def measures(trials):
    """Top-1 (percent of enrolled speakers' trials whose best target is their own), EER over
    every comparison, and the open-set EER of each trial's best score (enrolled speakers'
    trials against never-enrolled ones, whose truth is "-")."""
    correct = enrolled = 0
    genuine, impostor, best_enrolled, best_unknown = [], [], [], []
    for (_trial, truth), scores in trials.items():
        best = max(scores, key=scores.get)
        if truth == "-":
            best_unknown.append(scores[best])
        else:
            enrolled += 1
            correct += best == truth
            best_enrolled.append(scores[best])
        for target, score in scores.items():
            (genuine if target == truth else impostor).append(score)
    top1 = 100.0 * correct / enrolled if enrolled else None
    return top1, equal_error_rate(genuine, impostor), equal_error_rate(best_enrolled, best_unknown)


def fuse(a, b, weights):
    if a.keys() != b.keys() or any(a[k].keys() != b[k].keys() for k in a):
        raise SystemExit("fuse_scores: the two runs scored different trials or targets")
    return collections.OrderedDict(
        (k, {t: weights[0] * a[k][t] + weights[1] * b[k][t] for t in a[k]}) for k in a)


def logistic_regression(samples, iterations=50):
    """Weights (w_a, w_b, bias) of P(genuine | a, b) = 1 / (1 + exp(-(w_a a + w_b b + bias))),
    fitted by Newton's method on (a, b, is_genuine) samples, each class weighing half; a
    small ridge keeps the solution finite when the classes separate."""
    count = [sum(1 for s in samples if s[2] == c) for c in (0, 1)]
    if 0 in count:
        raise SystemExit("fuse_scores: the validation comparisons need genuine and impostor ones")
    w = [0.0, 0.0, 0.0]
    ridge = 1e-6
    for _ in range(iterations):
        gradient = [0.0, 0.0, 0.0]
        hessian = [[ridge if i == j else 0.0 for j in range(3)] for i in range(3)]
        for a, b, label in samples:
            x = (a, b, 1.0)
            z = max(-30.0, min(30.0, w[0] * a + w[1] * b + w[2]))
            p = 1.0 / (1.0 + math.exp(-z))
            weight = 0.5 / count[label]
            for i in range(3):
                gradient[i] += weight * (p - label) * x[i]
                for j in range(3):
                    hessian[i][j] += weight * p * (1.0 - p) * x[i] * x[j]
        for i in range(3):
            gradient[i] += ridge * w[i]
        step = solve3(hessian, gradient)
        w = [w[i] - step[i] for i in range(3)]
        if max(abs(s) for s in step) < 1e-9:
            break
    return w


def solve3(m, v):
    """Solves the 3 x 3 system m x = v by Cramer's rule."""
    def det(a):
        return (a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]))
    d = det(m)
    if d == 0.0:
        raise SystemExit("fuse_scores: the two runs' scores are collinear; nothing to fuse")
    return [det([[v[r] if c == k else m[r][c] for c in range(3)] for r in range(3)]) / d
            for k in range(3)]


def lists_of(run, split):
    """The (protocol, condition) pairs a run scored in a split, in a stable order."""
    cells = []
    for path in sorted(glob.glob(os.path.join(run, f"scores-*-{split}-*.tsv"))):
        protocol, rest = os.path.basename(path)[len("scores-"):-len(".tsv")].split(f"-{split}-")
        cells.append((protocol, rest))
    return cells


def shown(value):
    return "-" if value is None else f"{value:.1f}"


def main(argv):
    args = argv[1:]
    doc = None
    if "--doc" in args:
        at = args.index("--doc")
        if at + 1 >= len(args):
            raise SystemExit(__doc__)
        doc = args[at + 1]
        del args[at:at + 2]
    if len(args) != 2:
        raise SystemExit(__doc__)
    run_a, run_b = args
    scores = {}
    for split in SPLITS:
        for cell in lists_of(run_a, split):
            name = f"scores-{cell[0]}-{split}-{cell[1]}.tsv"
            if os.path.exists(os.path.join(run_b, name)):
                scores[(split, cell)] = (read_scores(os.path.join(run_a, name)),
                                         read_scores(os.path.join(run_b, name)))
    samples = [(a[k][t], b[k][t], int(t == k[1]))
               for (split, _cell), (a, b) in scores.items() if split == "validation"
               for k in a for t in a[k]]
    if not samples:
        raise SystemExit("fuse_scores: the runs share no validation score files")
    w = logistic_regression(samples)
    out = [f"# Fusion of two engines\n",
           f"Written by `scripts/fuse_scores.py` from `{os.path.basename(run_a.rstrip('/'))}` (A) "
           f"and `{os.path.basename(run_b.rstrip('/'))}` (B). Fused score = "
           f"{w[0]:.3f} A + {w[1]:.3f} B (logistic regression on the validation comparisons).\n"]
    for split in SPLITS:
        cells = [(c, v) for (s, c), v in scores.items() if s == split]
        if not cells:
            continue
        out.append(f"\n## {split.capitalize()} trials\n")
        out.append("| Protocol | Condition | Top-1 A | B | fused | EER A | B | fused "
                   "| Open-set EER A | B | fused |")
        out.append("|---|---|---|---|---|---|---|---|---|---|---|")
        totals = [0.0, 0.0, 0.0]
        for (protocol, condition), (a, b) in cells:
            rows = [measures(a), measures(b), measures(fuse(a, b, w))]
            for i in range(3):
                totals[i] += rows[i][0] or 0.0
            out.append(f"| {protocol} | {condition} | " + " | ".join(
                shown(rows[r][m]) for m in range(3) for r in range(3)) + " |")
        n = len(cells)
        out.append(f"\nAverage top-1 over the {n} lists: A {totals[0] / n:.2f}, "
                   f"B {totals[1] / n:.2f}, fused {totals[2] / n:.2f}.")
    text = "\n".join(out) + "\n"
    sys.stdout.write(text)
    if doc:
        write_whole(doc, text)


def write_whole(path, text):
    """Writes `text` to a unique temporary file beside `path`, syncs it and renames it into
    place, so that `path` is either the old document or the whole new one."""
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(prefix=".fuse_scores-", dir=folder)
    try:
        with os.fdopen(handle, "w", encoding="utf-8") as out:
            out.write(text)
            out.flush()
            os.fsync(out.fileno())
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


if __name__ == "__main__":
    main(sys.argv)
