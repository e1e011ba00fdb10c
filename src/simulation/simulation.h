// Assembly simulation (the unlisted main-menu option A): simulated
// metacommunities analysed with the permutation tests of the functional
// analysis, to estimate type I error and power.  Results go to
// "FinalSimulatedData.txt" in the working directory.
#pragma once

void IFAssemblyRulesSimulation_EnvFeedback_TypeI_II_Error();
