#include "ranking/ranking.h"

// The trait-subset ranking is not available in this version: the entry
// returns to the analysis menu.
void IFChOrderSearch() {}
