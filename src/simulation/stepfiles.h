// Intermediate results of the assembly simulation: ten plain-text files in
// the working directory, created with a header when the simulation starts
// and appended to at every step of every data set.
#pragma once

struct AssemblyModel;
struct StepFiles;

// Creates the files with their headers; a file that cannot be opened is
// failure code 4.
StepFiles* OpenStepFiles(const AssemblyModel& m);
// Data-set separator in every file, and the data set's traits.
void StepFilesNewDataSet(const AssemblyModel& m);
// The conditions of step t: environment, expected trait means, trait
// distances and survival probabilities, one line per site.
void WriteConditions(const AssemblyModel& m, int t);
// One colonization attempt and one mortality trial.
void WriteDispersal(StepFiles* f, int t, int s, int j, double nearest, double probability,
                    bool arrived, bool established);
void WriteMortality(StepFiles* f, int t, int s, int j, double density, double pDD, double years,
                    double pAge, double pEnv, bool died);
// Abundances of every site, before or after mortality (stage).
void WriteCommunity(const AssemblyModel& m, int t, const char* stage);
// Average ages and community weighted means at the end of step t.
void WriteOutcome(const AssemblyModel& m, int t);
// Closes the files; a failed write is failure code 3.
void CloseStepFiles(StepFiles* f);
