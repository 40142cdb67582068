#!/usr/bin/python3
"""tavrin-match's expected error against the true one.

tavrin-match's success line may end with what it expects its error to be, in French
with decimal commas: ", erreur probable : A' 0,12 px, B' 0,15 px, aux coins 0,9 px".
The benchmarks that know the truth keep, for each point answered, the true error and
the stated one; this prints the coverage (the share of true errors at or below the
stated error of their point; 95 % at least is the aim) and the ratio of the median
stated error to the 95th percentile of the true errors (2 at most is the aim).

Usage: match_expected.py RECORDS.json...   (the records match_accuracy.py and
match_truth.py leave in their work folders), for the coverage over all of them.
"""
import json
import re
import sys

import numpy as np

# A success line after the photograph's name: A' and B' as tavrin reads them (the name
# is followed by " : ", or by ": " in tavrin-match's English days).
FOUND = re.compile(r" ?: A' ([-\d.]+),([-\d.]+) B' ([-\d.]+),([-\d.]+)")
CLAUSE = re.compile(r"erreur probable : A' (\d+(?:,\d+)?) px, B' (\d+(?:,\d+)?) px"
                    r"(?:, aux coins (\d+(?:,\d+)?) px)?")


def stated(line):
    """The expected errors at A', at B' and at the corners a success line states, in
    pixels; None when it states none."""
    m = CLAUSE.search(line or "")
    return tuple(float(v.replace(",", ".")) if v else None for v in m.groups()) if m else None


def records(family, errors, line):
    """One record per point answered with a known truth: family, true error, stated
    error (None when the line states none)."""
    said = stated(line)
    return [[family, e, said[k] if said else None] for k, e in enumerate(errors) if e is not None]


def coverage(rows, title="family"):
    """Prints, per family and over all, the coverage and the ratio, or that the line
    states no expected error."""
    families = list(dict.fromkeys(r[0] for r in rows))
    print("| %s | points answered | stating an expected error | true error at or below it "
          "| median stated / 95th percentile of true | median stated, 95th percentile true (px) |" % title)
    print("|---|---|---|---|---|---|")
    for f in families + (["all"] if len(families) > 1 else []):
        rs = [r for r in rows if f in ("all", r[0])]
        said = [r for r in rs if r[2] is not None]
        if not said:
            print("| %s | %d | none: the expected-error clause is absent | | | |" % (f, len(rs)))
            continue
        true = np.array([r[1] for r in said])
        bound = np.array([r[2] for r in said])
        p95 = np.percentile(true, 95)
        ratio = np.median(bound) / p95 if p95 > 0 else float("inf")
        print("| %s | %d | %d | %.1f %% %s | %.2f %s | %.2f, %.2f |" % (
            f, len(rs), len(said), 100.0 * np.mean(true <= bound), "(aim 95 %)" if f == "all" else "",
            ratio, "(aim at most 2)" if f == "all" else "", np.median(bound), p95))
    if rows and not any(r[2] is not None for r in rows):
        print("tavrin-match's lines carry no expected error (no \"erreur probable : ...\" clause).")


def save(path, rows):
    with open(path, "w") as f:
        json.dump(rows, f)


if __name__ == "__main__":
    every = []
    for path in sys.argv[1:]:
        every += json.load(open(path))
    coverage([["all points of sections 4 and 4b"] + r[1:] for r in every], "points")
