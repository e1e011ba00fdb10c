// The functional analysis (analysis-menu option H).
#pragma once

// Entry from the analysis menu: settings, analysis, track file, message.
void IFHierarchicalAccum();
// The scaling-up analysis proper; writes the results file whichPrinda.
void PFTs_ScalingUp();
