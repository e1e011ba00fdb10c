// Trait-subset ranking (analysis-menu option K).
#pragma once

void IFChOrderSearch();
