// The functional core: what the functional analysis, its permutation tests,
// the trait-subset ranking and the assembly simulation share.
#pragma once

// A copy of the rows x cols matrix M, allocated with at least one column.
double** CopyOf(int rows, int cols, double** M);

// Resemblance DE (communities x communities, full) between the m communities
// described by the q environmental variables of E (m x q) with the given
// variable types.  By the kind of the variable set (optEnvVarType): only
// quantitative variables in the same units, Euclidean distance on the raw
// values; quantitative in different units, only binary, or several types
// without a nominal one, Euclidean distance after each column is
// standardised (CorrAdj, in place in E); otherwise one minus the Gower
// similarity.  Nothing is done when q is 0.
void EnvironmentalDistance(int m, int q, double** E, const int* types, double** DE);
