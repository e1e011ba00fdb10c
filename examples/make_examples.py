#!/usr/bin/env python3
"""Generates the example data set of QUILTA: a wet-to-dry grassland gradient.

30 grassland plots (communities) along a soil-moisture gradient, under three
land uses, hold 40 plant OTUs of 39 species (Festuca rubra enters as a dry
and a wet ecotype).  The OTUs are described by 6 traits of the four trait
types, and related by a phylogenetic distance matrix built from their
taxonomy.

Ecological structure (so that the analyses have something to find):
  * every OTU has an optimum on the moisture gradient and a Gaussian response
    around it; its cover in a plot follows that response, times a land-use
    factor, times log-normal noise;
  * plant height and specific leaf area (SLA) rise steeply with the moisture
    optimum, so community-weighted means of these traits follow soil
    moisture (trait convergence along the gradient);
  * grazing favours low rosette plants and suppresses tall ones, abandonment
    favours tall plants: trait composition also follows the nominal land use;
  * elevation falls and pH rises with moisture (plots in the valley bottom).

Only the Python standard library is used and the seed is fixed, so the files
are the same on every run:  python3 examples/make_examples.py
writes, next to this script:
  traits.txt   matrix B, OTUs as rows / traits as columns, labels at the end
  phylo.txt    full matrix of phylogenetic distances (Myr), 40 x 40
  perf.txt     matrix W, one row per OTU / communities as columns (cover %),
               community labels at the end
  species.txt  one species name per OTU
  env.txt      matrix E, one row per community, variable labels at the end
"""

import math
import os
import random

SEED = 20240611
N_SITES = 30

# name, family, growth form (1 graminoid, 2 erect forb, 3 rosette forb),
# legume (0/1), moisture optimum (%), typical height (cm), clonality (0-3)
SPECIES = [
    ("Festuca rubra", "Poaceae", 1, 0, 26, 35, 3),  # dry ecotype
    ("Festuca rubra", "Poaceae", 1, 0, 50, 50, 3),  # wet ecotype
    ("Festuca ovina", "Poaceae", 1, 0, 14, 20, 1),
    ("Bromus erectus", "Poaceae", 1, 0, 16, 60, 2),
    ("Brachypodium pinnatum", "Poaceae", 1, 0, 20, 60, 3),
    ("Dactylis glomerata", "Poaceae", 1, 0, 34, 85, 1),
    ("Arrhenatherum elatius", "Poaceae", 1, 0, 33, 100, 1),
    ("Holcus lanatus", "Poaceae", 1, 0, 42, 60, 2),
    ("Anthoxanthum odoratum", "Poaceae", 1, 0, 33, 35, 1),
    ("Briza media", "Poaceae", 1, 0, 24, 35, 1),
    ("Deschampsia cespitosa", "Poaceae", 1, 0, 51, 90, 1),
    ("Molinia caerulea", "Poaceae", 1, 0, 53, 80, 2),
    ("Alopecurus pratensis", "Poaceae", 1, 0, 45, 80, 2),
    ("Carex flacca", "Cyperaceae", 1, 0, 28, 30, 3),
    ("Carex panicea", "Cyperaceae", 1, 0, 52, 30, 3),
    ("Carex nigra", "Cyperaceae", 1, 0, 58, 35, 3),
    ("Juncus effusus", "Juncaceae", 1, 0, 58, 80, 2),
    ("Trifolium repens", "Fabaceae", 2, 1, 36, 15, 3),
    ("Trifolium pratense", "Fabaceae", 2, 1, 34, 35, 0),
    ("Lotus corniculatus", "Fabaceae", 2, 1, 24, 20, 1),
    ("Lathyrus pratensis", "Fabaceae", 2, 1, 41, 60, 2),
    ("Medicago lupulina", "Fabaceae", 2, 1, 19, 20, 0),
    ("Plantago lanceolata", "Plantaginaceae", 3, 0, 30, 30, 0),
    ("Plantago media", "Plantaginaceae", 3, 0, 20, 25, 0),
    ("Leontodon hispidus", "Asteraceae", 3, 0, 25, 30, 0),
    ("Taraxacum officinale", "Asteraceae", 3, 0, 38, 25, 0),
    ("Achillea millefolium", "Asteraceae", 2, 0, 27, 40, 2),
    ("Centaurea jacea", "Asteraceae", 2, 0, 32, 60, 1),
    ("Cirsium palustre", "Asteraceae", 2, 0, 55, 120, 0),
    ("Filipendula ulmaria", "Rosaceae", 2, 0, 58, 120, 2),
    ("Sanguisorba minor", "Rosaceae", 3, 0, 15, 35, 0),
    ("Potentilla erecta", "Rosaceae", 2, 0, 40, 20, 1),
    ("Geum rivale", "Rosaceae", 3, 0, 52, 40, 1),
    ("Ranunculus acris", "Ranunculaceae", 2, 0, 40, 60, 0),
    ("Ranunculus repens", "Ranunculaceae", 2, 0, 48, 30, 3),
    ("Caltha palustris", "Ranunculaceae", 3, 0, 62, 30, 1),
    ("Thymus pulegioides", "Lamiaceae", 2, 0, 12, 8, 2),
    ("Prunella vulgaris", "Lamiaceae", 2, 0, 38, 15, 2),
    ("Galium verum", "Rubiaceae", 2, 0, 18, 40, 2),
    ("Lychnis flos-cuculi", "Caryophyllaceae", 2, 0, 55, 50, 0),
]
assert len(SPECIES) == 40

ORDER = {
    "Poaceae": "Poales", "Cyperaceae": "Poales", "Juncaceae": "Poales",
    "Fabaceae": "Fabales", "Rosaceae": "Rosales",
    "Plantaginaceae": "Lamiales", "Lamiaceae": "Lamiales",
    "Asteraceae": "Asterales", "Rubiaceae": "Gentianales",
    "Ranunculaceae": "Ranunculales", "Caryophyllaceae": "Caryophyllales",
}
MONOCOTS = {"Poales"}

TRAIT_LABELS = ["Height", "SLA", "SeedMass", "Legume", "GrowthForm", "Clonality"]
ENV_LABELS = ["Moisture", "Elevation", "pH", "LandUse"]  # LandUse: 1 grazed, 2 mown, 3 abandoned


def phylo_distance(a, b):
    """Twice the age (Myr) of the most recent common ancestor of two OTUs."""
    if a is b:
        return 0
    name_a, fam_a = a[0], a[1]
    name_b, fam_b = b[0], b[1]
    if name_a == name_b:
        return 2      # two ecotypes of one species
    if name_a.split()[0] == name_b.split()[0]:
        return 30     # same genus
    if fam_a == fam_b:
        return 100    # same family
    if ORDER[fam_a] == ORDER[fam_b]:
        return 180    # same order
    if (ORDER[fam_a] in MONOCOTS) == (ORDER[fam_b] in MONOCOTS):
        return 250    # both eudicots
    return 300        # monocot versus eudicot


def main():
    rng = random.Random(SEED)
    here = os.path.dirname(os.path.abspath(__file__))

    # ---- traits ----
    traits = []
    for name, fam, form, legume, opt, height, clonal in SPECIES:
        h = max(3.0, (8.0 + 1.6 * opt) * math.exp(rng.gauss(0, 0.12)))
        sla = 12.0 + 0.28 * opt + rng.gauss(0, 1.0)
        seed = math.exp(rng.gauss(math.log(1.5 if form == 1 else 1.0) - 0.2 * clonal, 0.6))
        traits.append([round(h, 1), round(sla, 1), round(seed, 3), legume, form, clonal])

    # ---- sites ----
    land_use = [1, 2, 3] * (N_SITES // 3)
    rng.shuffle(land_use)
    sites = []
    for k in range(N_SITES):
        moisture = 10.0 + 50.0 * k / (N_SITES - 1) + rng.gauss(0, 2.0)
        elevation = 820.0 - 6.0 * moisture + rng.gauss(0, 30.0)
        ph = 5.0 + 0.035 * moisture + rng.gauss(0, 0.25)
        sites.append([round(moisture, 1), round(elevation), round(ph, 2), land_use[k]])

    # ---- cover of each OTU in each plot ----
    def land_use_factor(trait, use):
        height, form = trait[0], trait[4]
        if use == 1:   # grazed: rosettes thrive, tall plants are bitten back
            return (1.6 if form == 3 else 1.0) * (0.35 if height > 50 else 1.0)
        if use == 3:   # abandoned: tall plants overgrow the short ones
            return (1.6 if height > 50 else 1.0) * (0.4 if height < 25 else 1.0)
        return 1.0     # mown

    cover = [[0] * N_SITES for _ in SPECIES]
    for i, sp in enumerate(SPECIES):
        opt = sp[4]
        for k, site in enumerate(sites):
            response = math.exp(-((site[0] - opt) ** 2) / (2 * 9.0 ** 2))
            value = 45.0 * response * land_use_factor(traits[i], site[3])
            value *= math.exp(rng.gauss(0, 0.4))
            cover[i][k] = min(100, int(round(value))) if value >= 2.0 else 0
        if max(cover[i]) == 0:  # every OTU occurs somewhere
            best = max(range(N_SITES), key=lambda k: -abs(sites[k][0] - opt))
            cover[i][best] = 1
    for k in range(N_SITES):
        assert any(cover[i][k] > 0 for i in range(len(SPECIES))), "empty plot"

    site_labels = ["S%02d" % (k + 1) for k in range(N_SITES)]

    def write(name, lines):
        with open(os.path.join(here, name), "w") as f:
            f.write("\n".join(lines) + "\n")

    write("traits.txt",
          ["\t".join(fmt(v) for v in row) for row in traits] + ["\t".join(TRAIT_LABELS)])
    write("phylo.txt",
          ["\t".join(str(phylo_distance(a, b)) for b in SPECIES) for a in SPECIES])
    write("perf.txt",
          ["\t".join(str(v) for v in row) for row in cover] + ["\t".join(site_labels)])
    write("species.txt", [sp[0] for sp in SPECIES])
    write("env.txt",
          ["\t".join(fmt(v) for v in row) for row in sites] + ["\t".join(ENV_LABELS)])


def fmt(v):
    return str(v) if isinstance(v, int) else ("%g" % v)


if __name__ == "__main__":
    main()
