// Program start, main menu and session loop.
#pragma once

// Switches the numerical library's error handler off, sets the defaults,
// prints the banner and runs the main menu; never returns.
[[noreturn]] void mainInit();
void InitGlobals();
[[noreturn]] void MainMenu();
// Runs one named session; returns to the main menu.
void IFSession();
// Forgets the results of the last analysis.
void FreeGlobals1();
// Sets the OpenMP team size from nProcessors (0 = all processors, or this
// process's share of them under an MPI launcher).
void SetThreadCount();
