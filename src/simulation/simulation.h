// Assembly simulation (the unlisted main-menu option A).
#pragma once

void IFAssemblyRulesSimulation_EnvFeedback_TypeI_II_Error();
