// Warnings about the settings of an analysis: statistics that depend on how
// nominal states are numbered, permutation tests that cannot reach small
// probabilities, coefficients with more variables than communities.  The
// analysis runs as asked; the warnings go on the error stream and into the
// session's warnings file (data/warnings.h).
#pragma once

// The functional analysis (menu H) on m communities: select marks the traits
// in T (weight > 0), q the environmental variables used.  Forgets the
// warnings of the previous analysis first.
void WarnFunctionalAnalysis(int m, const int* select, int q);
// The ranking of trait subsets, after its settings: T-based criteria with a
// nominal trait of weight > 0 (r(XE.T), r(TE)).  Forgets the previous
// analysis' warnings.
void WarnRanking();
// The simulation, after its settings and before the data sets are run: a
// test that cannot reject at alpha with the iterations asked.  Forgets every
// kept warning first (the simulated data set is not the session's).
void WarnSimulation(bool tested, double alpha);
