// Output of the assembly simulation: the block of each simulated data set
// and the final report in "FinalSimulatedData.txt", and the "_Simulated"
// files holding a simulated data set in the layouts the import dialog reads.
#pragma once

#include <cstdio>

struct AssemblyModel;
struct SimAnalysis;

// What the final report states besides the model and the analysis.
struct SimRunInfo {
  int dataSets = 1;
  bool evaluate = false;  // type I error or power evaluated
  double alpha = 0.05;
  bool keepIntermediate = false;
  double elapsed = 0.0;  // seconds
};

// "\n\nSIMULATED DATA %d" and everything about the data set just simulated
// and analysed.
void PrintDataSetBlock(FILE* fp, const AssemblyModel& m, const SimAnalysis& a);
// "SIMULATION OF COMMUNITY ASSEMBLY", the settings and the rejection rate of
// every test.
void PrintFinalReport(FILE* fp, const AssemblyModel& m, const SimAnalysis& a,
                      const SimRunInfo& info);
// B_Simulated.txt (OTUs as rows), W_Simulated.txt and E_Simulated.txt
// (communities as rows; E without the interaction rows), each with its
// labels at the end; TraitTypes_Simulated.txt; OTUs_Simulated.txt (the
// parameters of each OTU).
void WriteSimulatedFiles(const AssemblyModel& m);
// Closes a results file; a failed write is failure code 3 after the name.
void CloseChecked(FILE* fp, const char* name);
