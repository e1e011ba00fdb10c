// Console services and the program-wide state of the console shell.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>

// Dialogue streams: every input routine reads in_, every dialogue line goes
// to out.  Set to standard input and output at start.
extern FILE* in_;
extern FILE* out;

extern char sessionShortName[52];  // session name as typed, at most 51 chars
extern char sessionName[64];       // prefix of every session file name
extern char volumeName[80];        // directory prefix of session files ("")
extern char tempName[256];         // scratch buffer for typed names
extern char whichTrack[64];        // session name + "Trk.txt"
extern char whichStructures[64];   // session name + "Str.txt"
extern FILE* trackFp;
extern int optmain1;   // last session-menu option (upper case)
extern int optmain;    // last analysis-menu option (upper case)
extern int dirtyOrig;  // 1 = the data set in memory was altered
extern int is40CharLine, is80CharLine;  // a progress line is open
extern clock_t t1, t2;
extern time_t timeStart;

extern const char lineL[];    // 70 hyphens
extern const char version[];  // title line with the version

// Prints a menu header: title, session name, separator line.
void Menu(const char* title);
// Ends an open progress line.
void ClearLine();
// Reads standard input up to a control character and pushes it back.
void Wait();
// One-line progress display, rewritten at most every few clock ticks.
void HandleEventInfoWhere2(const char* text);
// True when HandleEventInfoWhere2 would show a text now: loops that call it
// at every iteration build their text only then.
bool ProgressDue();
// Current local date and time in ctime form (ends with a newline).
void TimeStamp(FILE* stream);
// Wall-clock seconds since start, a value of omp_get_wtime().
double difftime_Clock(double start);
// Clears the progress-line flags and reads the clocks.
void InitIFLibG();
// Re-reads the clocks after a main-menu choice.
void AdjustClocks_Event();

// dest (capacity size) = prefix + suffix, cut to fit.  File names of the
// session are built this way (session name + "Trk.txt", ...).
void CatName(char* dest, size_t size, const char* prefix, const char* suffix);
