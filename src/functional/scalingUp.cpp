#include "functional/scalingUp.h"

// The functional analysis is not available yet: the entry returns to the
// analysis menu.
void IFHierarchicalAccum() {}
void PFTs_ScalingUp() {}
