#include "simulation/simulation.h"

// The assembly simulation is not available in this version: the entry
// returns to the main menu.
void IFAssemblyRulesSimulation_EnvFeedback_TypeI_II_Error() {}
