// Beals smoothing of a community matrix (communities x OTUs).
#pragma once

void ConditionalProb(int n, int s, double** X, double** M, int mode);
// threads: the team of a computation made once per analysis (1: the
// calling thread).
void ConditionalProb(int n, int s, double** X, double** M, int mode, bool unitRows,
                     int threads = 1);
void BealsSmoothing(int n, int s, double** W, double** X, double** Y, bool includeTarget,
                    int mode);
void BealsSmoothing(int n, int s, double** W, double** X, double** Y, bool includeTarget,
                    int mode, bool unitRows, int threads = 1);
