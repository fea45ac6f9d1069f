#!/usr/bin/env python3
"""Pairwise precision, recall and F1 of a match against the sample generator's truth file.

Usage: quality.py ERGEBNIS.csv WAHRHEIT.csv

Two records form a found pair when the result CSV puts them into the same duplicate group
("Gruppe"); a true pair when the truth file gives them the same entity. Records are joined on
the source column "Nr" (the generator's record number).
"""
import csv
import itertools
import sys
from collections import defaultdict


def pairs(groups):
    out = set()
    for members in groups.values():
        for a, b in itertools.combinations(sorted(members), 2):
            out.add((a, b))
    return out


def main():
    result, truth = sys.argv[1], sys.argv[2]
    found = defaultdict(list)
    with open(result, encoding="utf-8-sig", newline="") as f:
        for row in csv.DictReader(f, delimiter=";"):
            if row["Gruppe"]:
                found[(row["Quelle"], row["Gruppe"])].append(int(row["Nr"]))
    true = defaultdict(list)
    with open(truth, encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f, delimiter=";"):
            true[row["Entitaet"]].append(int(row["Nr"]))
    f_pairs, t_pairs = pairs(found), pairs(true)
    hit = len(f_pairs & t_pairs)
    precision = hit / len(f_pairs) if f_pairs else 1.0
    recall = hit / len(t_pairs) if t_pairs else 1.0
    f1 = 2 * precision * recall / (precision + recall) if precision + recall else 0.0
    print(f"Paare gefunden: {len(f_pairs)}, wahre Paare: {len(t_pairs)}, richtig: {hit}")
    print(f"Präzision: {precision:.4f}  Trefferquote: {recall:.4f}  F1: {f1:.4f}")


if __name__ == "__main__":
    main()
