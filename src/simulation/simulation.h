// Assembly simulation (the unlisted main-menu option A): simulated
// metacommunities analysed with the permutation tests of the functional
// analysis, to estimate type I error and power.  Results go to
// "FinalSimulatedData.txt" in the working directory.
#pragma once

#include <string>

struct AssemblyModel;
struct SimAnalysis;
struct SimRunInfo;

// The dialogue, the simulation and its report.
void IFAssemblyRulesSimulation_EnvFeedback_TypeI_II_Error();

// The parts that follow the dialogue, for callers that set the model and
// the settings themselves.
// Releases the community data set of an earlier session or simulation and
// gives the globals the model's sizes, "%d" labels, quantitative traits of
// weight 1, every OTU selected and a type of its own.
void SetSimulationDataSet(const AssemblyModel& m);
// Seeds the generator with rseed, simulates and analyses info.dataSets data
// sets and writes "FinalSimulatedData.txt" (and the intermediate and
// "_Simulated" files as info and the count ask).
void RunSimulation(AssemblyModel& m, SimAnalysis& a, const SimRunInfo& info);
// The last simulated data set into the community data set globals.
void KeepLastDataSet(const AssemblyModel& m);

// Readers of the input files named in the dialogue.  A file that cannot be
// opened raises failure code 4; a missing, unreadable or unusable value
// closes the file, names it and raises code 2.
//
// rows x cols finite numbers, row by row, into a new matrix; a file too
// small to hold them is refused before the matrix is allocated.
double** ReadMatrixFile(const std::string& name, int rows, int cols);
// N rows of (center, slope): centers strictly between 0 and 1, slopes of
// -0.01 or less.
void ReadCurves(const std::string& name, int N, double** curves);
// N whole numbers of years from 1.
void ReadLifespans(const std::string& name, int N, int* lifespan);

struct Pack;
// A worker's part of a simulation spread over the processes of an MPI
// launcher: the settings (the payload), then simulated data sets from
// process 0, each analysed here and answered with its test results.
void DataSetsWorker(Pack& payload);
