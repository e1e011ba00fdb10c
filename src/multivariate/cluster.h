// Hierarchical clustering, partitions and group separation.
#pragma once

// One fusion of a hierarchical clustering.
struct clusterReport {
  double level;       // fusion level (single precision)
  double increase;    // sum of squares: increase in within-group sum of squares
  int size;           // objects in the new cluster
  int* members;       // 1-based object numbers, caller-provided (room for n)
  int link;           // last member of the first cluster before the fusion
  double riseFirst;   // sum of squares: level - within SS of the first cluster
  double riseSecond;  // sum of squares: level - within SS of the second cluster
};

extern const char* const clusMethInfo[];       // codes 0..5
extern const char* const groupDissMethInfo[];  // codes 1..4, indexed by code - 1

void LinkageCluster(int n, double** rese, clusterReport* report, bool isDissimilarity,
                    bool squared, int method, bool copy);
void LinkageFusion(int m, int* sizes, int i, int j, double** work, bool isDissimilarity,
                   int method);
void SumSqCluster(int n, double** rese, clusterReport* report, bool squared);
void FusionMatrix(int m, int* sizes, int i, int j, double** work, bool distances);
void GetClusterPartitionNew(int n, int k, int* partition, clusterReport* report, int method);
void RenamePartitionLabels(int n, int k, int* partition);
void ClusterIdenticals(int n, double** rese, int* labels, int* groupCount, bool isDissimilarity);
void TrimRese(int n, int k, const int* labels, double** rese, double** out);
void CountGroupsNew(int n, const int* labels, int* count, int* distinct);
double WithinGrSqDissim(int n, double** D, const int* include, bool squared);
double BetweenGrSqDissim(int n, double** D, const int* groups, double* between, double* total,
                         const int* include, bool squared);
double AverageDissim(int n, double** D, const int* groups, const int* include);
double NearNeighDist(int n, double** D, const int* groups, const int* include);
void ClassesMV(int n, const double* x, double* classes, int k);
void ClassesDefinitionMV(int n, const double* x, double* classes, int k, double min, double max);
