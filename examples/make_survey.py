#!/usr/bin/env python3
"""Generates the repeated-survey example of QUILTA: 12 grassland plots
surveyed twice, ten years apart.

Between the surveys nitrogen deposition rose everywhere, by different
amounts, and grazing stopped on four of the plots.  The data are made up
but built so that the change has a trait signature:
  * every OTU's cover responds to the nitrogen supply according to its
    specific leaf area (SLA): fast-growing, high-SLA plants gain with more
    nitrogen, slow-growing ones lose;
  * grazing keeps tall plants down: where it stopped, tall OTUs gain cover
    and low rosette plants lose it;
  * legumes, which fix their own nitrogen, lose their advantage as nitrogen
    rises.

Only the Python standard library is used and the seed is fixed, so the files
are the same on every run:  python3 examples/make_survey.py
writes, next to this script:
  survey_traits.txt  matrix B, 16 OTUs as rows / 4 traits as columns,
                     labels at the end
  survey_perf.txt    matrix W, one row per OTU / 24 communities as columns
                     (cover %): the 12 plots of the first survey, then the
                     same 12 plots in the same order in the second survey;
                     community labels at the end
  survey_env.txt     matrix E, one row per community (same order), 3
                     variables, labels at the end
"""

import math
import os
import random

SEED = 20240612
N_PLOTS = 12

# name, growth form (1 graminoid, 2 erect forb, 3 rosette forb), legume (0/1),
# height (cm), SLA (mm2/mg)
OTUS = [
    ("Festuca rubra", 1, 0, 40, 18),
    ("Agrostis capillaris", 1, 0, 35, 26),
    ("Holcus lanatus", 1, 0, 60, 30),
    ("Dactylis glomerata", 1, 0, 90, 28),
    ("Arrhenatherum elatius", 1, 0, 110, 31),
    ("Briza media", 1, 0, 35, 17),
    ("Trifolium repens", 3, 1, 15, 27),
    ("Lotus corniculatus", 2, 1, 20, 22),
    ("Vicia cracca", 2, 1, 80, 25),
    ("Plantago lanceolata", 3, 0, 30, 20),
    ("Leontodon hispidus", 3, 0, 30, 19),
    ("Achillea millefolium", 2, 0, 45, 21),
    ("Heracleum sphondylium", 2, 0, 120, 29),
    ("Urtica dioica", 2, 0, 110, 36),
    ("Thymus pulegioides", 2, 0, 8, 14),
    ("Galium verum", 2, 0, 45, 16),
]

TRAIT_LABELS = ["Height", "SLA", "Legume", "GrowthForm"]
ENV_LABELS = ["Nitrogen", "Temp", "Grazing"]  # Grazing: 1 sheep, 2 cattle, 3 none


def cover_of(otu, nitrogen, grazing, rng):
    _, form, legume, height, sla = otu
    # Nitrogen favours high SLA (above 22 mm2/mg) and disfavours legumes.
    value = 20.0 * math.exp(0.012 * (sla - 22.0) * (nitrogen - 15.0))
    if legume:
        value *= math.exp(-0.05 * (nitrogen - 10.0))
    if grazing != 3:  # grazed: tall plants bitten back, rosettes thrive
        value *= (0.3 if height > 60 else 1.0) * (1.5 if form == 3 else 1.0)
    else:             # ungrazed: tall plants overgrow the short ones
        value *= (1.8 if height > 60 else 1.0) * (0.4 if height < 25 else 1.0)
    value *= math.exp(rng.gauss(0, 0.35))
    return min(100, int(round(value))) if value >= 2.0 else 0


def main():
    rng = random.Random(SEED)
    here = os.path.dirname(os.path.abspath(__file__))

    first, second = [], []
    for k in range(N_PLOTS):
        nitrogen = round(6.0 + rng.uniform(0, 12.0), 1)
        temp = round(8.0 + rng.gauss(0, 0.8), 1)
        grazing = 1 + k % 2
        first.append([nitrogen, temp, grazing])
        # Ten years later: more nitrogen, a little warmer; grazing stopped on
        # plots 3, 6, 9 and 12.
        later = round(nitrogen + rng.uniform(2.0, 12.0), 1)
        second.append([later, round(temp + 0.4 + rng.gauss(0, 0.2), 1),
                       3 if k % 3 == 2 else grazing])

    sites = first + second
    cover = [[cover_of(otu, s[0], s[2], rng) for s in sites] for otu in OTUS]
    for i in range(len(OTUS)):  # every OTU occurs somewhere
        assert any(cover[i]), OTUS[i][0]
    labels = ["P%02da" % (k + 1) for k in range(N_PLOTS)] + \
             ["P%02db" % (k + 1) for k in range(N_PLOTS)]

    def write(name, lines):
        with open(os.path.join(here, name), "w") as f:
            f.write("\n".join(lines) + "\n")

    write("survey_traits.txt",
          ["\t".join(str(v) for v in (h, sla, leg, form)) for _, form, leg, h, sla in OTUS]
          + ["\t".join(TRAIT_LABELS)])
    write("survey_perf.txt",
          ["\t".join(str(v) for v in row) for row in cover] + ["\t".join(labels)])
    write("survey_env.txt",
          ["\t".join("%g" % v for v in row) for row in sites] + ["\t".join(ENV_LABELS)])


if __name__ == "__main__":
    main()
