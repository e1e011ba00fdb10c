#!/usr/bin/env python3
"""Writes the example grassland data as tables, the way R's write.csv writes
them: a quoted header row, quoted row names, commas, NA for missing values.

  traits.csv  B: OTUs as rows (species names), traits as columns; GrowthForm
              as text states (graminoid, erect forb, rosette forb)
  perf.csv    W: plots as rows, OTUs as columns (the usual sites x species table)
  env.csv     E: plots as rows, variables as columns; LandUse as text states
              (grazed, mown, abandoned)
  phylo.csv   F: phylogenetic distances, OTUs x OTUs, named on both sides

They hold the numbers of traits.txt, perf.txt, env.txt and phylo.txt (run
make_examples.py first when those change):  python3 examples/make_tables.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def read_matrix(name, rows):
    """The first `rows` lines of numbers of a raw file and the label line."""
    with open(os.path.join(HERE, name)) as f:
        lines = [line.split() for line in f if line.strip()]
    return lines[:rows], lines[rows] if len(lines) > rows else None


def otu_names():
    """Species names as row names; a name met again gets a number (names
    of a table must be distinct)."""
    with open(os.path.join(HERE, "species.txt")) as f:
        species = [line.strip() for line in f if line.strip()]
    seen, names = {}, []
    for s in species:
        seen[s] = seen.get(s, 0) + 1
        names.append(s if seen[s] == 1 else "%s %d" % (s, seen[s]))
    return names


def write(name, header, rows):
    # R quotes every name and no number.
    with open(os.path.join(HERE, name), "w", newline="") as f:
        f.write(",".join('"%s"' % h for h in [""] + header) + "\n")
        for rowname, values in rows:
            f.write(",".join(['"%s"' % rowname] + [
                v if not isinstance(v, tuple) else '"%s"' % v[0] for v in values]) + "\n")


def main():
    otus = otu_names()
    n = len(otus)
    b, traits = read_matrix("traits.txt", n)
    forms = {"1": "graminoid", "2": "erect forb", "3": "rosette forb"}
    g = traits.index("GrowthForm")
    write("traits.csv", traits,
          [(otus[i], [(forms[v],) if j == g else v for j, v in enumerate(b[i])])
           for i in range(n)])

    w, plots = read_matrix("perf.txt", n)  # one row per OTU
    write("perf.csv", otus, [(plots[c], [w[i][c] for i in range(n)]) for c in range(len(plots))])

    e, variables = read_matrix("env.txt", len(plots))
    uses = {"1": "grazed", "2": "mown", "3": "abandoned"}
    u = variables.index("LandUse")
    write("env.csv", variables,
          [(plots[c], [(uses[v],) if j == u else v for j, v in enumerate(e[c])])
           for c in range(len(plots))])

    f, _ = read_matrix("phylo.txt", n)
    write("phylo.csv", otus, [(otus[i], f[i]) for i in range(n)])


if __name__ == "__main__":
    main()
