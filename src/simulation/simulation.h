// Assembly simulation (the unlisted main-menu option A): simulated
// metacommunities analysed with the permutation tests of the functional
// analysis, to estimate type I error and power.  Results go to
// "FinalSimulatedData.txt" in the working directory.
#pragma once

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
