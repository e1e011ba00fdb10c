#!/usr/bin/env python3
"""Generates a large synthetic community data set for timing QUILTA.

    python3 bench/make_large.py COMMUNITIES OTUS [OCCUPANCY] [--phylogeny] [--dir DIR]
                                [--perms N] [--seed S] [--quantitative K]

OCCUPANCY is the fraction of non-zero performances in W (default 0.17).
Writes into DIR (default: the working directory):
  traits.txt   B: OTUs as rows, 10 traits (6 quantitative, 2 binary,
               1 nominal, 1 ordinal), labels at the end; with
               --quantitative K, K quantitative traits instead (the first
               three following the optima, the others noise), for rankings
  perf.txt     W: OTUs as rows, communities as columns, labels at the end
  env.txt      E: communities as rows, 4 quantitative variables, labels at
               the end
  species.txt  one distinct name per OTU (every OTU its own type)
  phylo.txt    F (with --phylogeny): full matrix of phylogenetic distances
  answers      a scripted session: import, then the functional analysis
               (fuzzy belonging, taxa shuffle, Mantel, Euclidean distance,
               N permutations, fixed seed), then exit
  answers1     the same session with one permutation

Each OTU has an optimum and a tolerance on the first two environmental
gradients and responds to them unimodally; three quantitative traits follow
the optima, the others are noise.  The performances are the responses with
noise, cut at the quantile that leaves the asked occupancy.  The phylogeny
groups OTUs with close optima into genera, families and orders, so it
carries signal.  Only the standard library is used; the seed is fixed.
"""

import argparse
import math
import os
import random


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("communities", type=int)
    ap.add_argument("otus", type=int)
    ap.add_argument("occupancy", type=float, nargs="?", default=0.17)
    ap.add_argument("--phylogeny", action="store_true")
    ap.add_argument("--dir", default=".")
    ap.add_argument("--perms", type=int, default=99)
    ap.add_argument("--seed", type=int, default=20261207)
    ap.add_argument("--quantitative", type=int, default=0,
                    help="K quantitative traits instead of the 10 mixed ones")
    ap.add_argument("--missing", type=float, default=0.0,
                    help="fraction of performances and trait values given as -999")
    a = ap.parse_args()
    m, n = a.communities, a.otus
    rng = random.Random(a.seed)
    os.makedirs(a.dir, exist_ok=True)
    path = lambda name: os.path.join(a.dir, name)

    # Environment: four gradients in different units.
    scale = [(0.0, 100.0), (3.5, 8.5), (0.0, 2000.0), (0.0, 30.0)]
    env = [[lo + (hi - lo) * rng.random() for lo, hi in scale] for _ in range(m)]
    with open(path("env.txt"), "w") as f:
        for row in env:
            f.write("\t".join("%.3f" % v for v in row) + "\n")
        f.write("Moisture\tpH\tElevation\tSlope\n")

    # OTUs: optima and tolerances on the first two gradients (scaled to 0-1).
    opt = [(rng.random(), rng.random()) for _ in range(n)]
    tol = [(0.08 + 0.2 * rng.random(), 0.08 + 0.2 * rng.random()) for _ in range(n)]
    z = [[(env[c][0] - scale[0][0]) / (scale[0][1] - scale[0][0]),
          (env[c][1] - scale[1][0]) / (scale[1][1] - scale[1][0])] for c in range(m)]

    if a.quantitative > 0:
        k = a.quantitative
        with open(path("traits.txt"), "w") as f:
            for i in range(n):
                o1, o2 = opt[i]
                t = [10.0 + 90.0 * o1 + rng.gauss(0, 8), 8.0 + 25.0 * o2 + rng.gauss(0, 3),
                     math.exp(rng.gauss(0, 1)) * (1.0 + o1)]
                t += [rng.gauss(50, 10) for _ in range(k - 3)]
                f.write("\t".join("%.4g" % v for v in t[:k]) + "\n")
            f.write("\t".join("T%d" % (j + 1) for j in range(k)) + "\n")
    else:
      with open(path("traits.txt"), "w") as f:
          for i in range(n):
              o1, o2 = opt[i]
              t = [
                  10.0 + 90.0 * o1 + rng.gauss(0, 8),          # height
                  8.0 + 25.0 * o2 + rng.gauss(0, 3),           # SLA
                  math.exp(rng.gauss(0, 1)) * (1.0 + o1),      # seed mass
                  rng.gauss(50, 10),                           # leaf N
                  rng.random() * 10,                           # noise
                  rng.gauss(0, 1),                             # noise
                  1 if rng.random() < 0.2 + 0.5 * o2 else 0,   # legume
                  1 if rng.random() < 0.5 else 0,              # woody
                  1 + int(3 * rng.random()),                   # growth form
                  min(4, int(5 * o1 * rng.random() + rng.random())),  # clonality
              ]
              cells = ["%.4g" % v if k < 6 else "%d" % v for k, v in enumerate(t)]
              cells = ["-999" if rng.random() < a.missing else v for v in cells]
              f.write("\t".join(cells) + "\n")
          f.write("Height\tSLA\tSeedMass\tLeafN\tNoise1\tNoise2\tLegume\tWoody\tGrowthForm\tClonality\n")

    # Unimodal responses with noise, cut to the occupancy.
    resp = []
    for i in range(n):
        o1, o2 = opt[i]
        t1, t2 = tol[i]
        height = 0.2 + rng.random()
        row = []
        for c in range(m):
            d = ((z[c][0] - o1) / t1) ** 2 + ((z[c][1] - o2) / t2) ** 2
            row.append(height * math.exp(-0.5 * d) * (0.3 + rng.random()))
        resp.append(row)
    values = sorted(v for row in resp for v in row)
    cut = values[max(0, min(len(values) - 1, int((1.0 - a.occupancy) * len(values))))]
    with open(path("perf.txt"), "w") as f:
        for row in resp:
            cells = ["%d" % max(1, round(100 * v)) if v > cut else "0" for v in row]
            cells = ["-999" if rng.random() < a.missing else v for v in cells]
            f.write("\t".join(cells) + "\n")
        f.write("\t".join("C%d" % (c + 1) for c in range(m)) + "\n")

    with open(path("species.txt"), "w") as f:
        for i in range(n):
            f.write("Species %d\n" % (i + 1))

    if a.phylogeny:
        # Genera of about 4 OTUs of close optima, 5 genera a family, 5
        # families an order; distances 2, 4, 6 within them, 8 between orders.
        order = sorted(range(n), key=lambda i: (opt[i][0] + 0.3 * rng.random(), i))
        genus = [0] * n
        for rank, i in enumerate(order):
            genus[i] = rank // 4
        with open(path("phylo.txt"), "w") as f:
            for i in range(n):
                gi = genus[i]
                parts = []
                for j in range(n):
                    gj = genus[j]
                    if i == j:
                        parts.append("0")
                    elif gi == gj:
                        parts.append("2")
                    elif gi // 5 == gj // 5:
                        parts.append("4")
                    elif gi // 25 == gj // 25:
                        parts.append("6")
                    else:
                        parts.append("8")
                f.write("\t".join(parts) + "\n")

    answers = ["N", "large", "1", "traits.txt"]
    answers += ["1", "phylo.txt"] if a.phylogeny else ["0"]
    answers += ["perf.txt", "1", "species.txt", "1", "env.txt"]
    if a.quantitative > 0:
        answers += [str(n), str(a.quantitative), "2", "2", "k",
                    " ".join(["3"] * a.quantitative), "y", "0"]
    else:
        answers += [str(n), "10", "2", "2", "k", "3 3 3 3 3 3 1 1 2 4", "y", "0"]
    if a.phylogeny:
        answers += ["1"]
    answers += [str(m), "2", "2", "2", "4", "2", "2", "n"]
    # The session, and the same session with one permutation (what the run
    # costs outside the permutations).
    for name, perms in (("answers", a.perms), ("answers1", 1)):
        session = answers + ["V", "H", "y", "1", "y", str(perms + 1), "t", "0", "2", "12345", "1",
                             "6", "1", "1", "1", "y", "n", "C", "C", "X"]
        with open(path(name), "w") as f:
            f.write("\n".join(session) + "\n")


if __name__ == "__main__":
    main()
