// Checked reading of files and of the keyboard stream.
//
// Each reader takes the stream, what to read, where to put it and a role name
// (a file name, "input" or "keyboard") used only in messages.  Messages go to
// standard error; the bell (character 7) goes to standard output.
#pragma once

#include <cstdio>

// Opens directory + name (just name when directory is null); on failure
// prints "can't open" with the full path and the bell, and returns null.
FILE* fopenck(const char* name, const char* directory, const char* mode);

// One item with fscanf(format).  A mismatch or the end of the stream closes
// fp, prints "\nfile %s " and raises failure code 2.
int freadck(FILE* fp, const char* format, void* dest, const char* role);

// One item with fscanf(format); unreadable text is passed over one character
// at a time.  At the end of the stream closes fp, prints "End of file" and
// returns 0; returns 1 on success.  A "%lf" item must be a finite number
// (text such as "inf" or "nan" counts as unreadable).
int freadck1(FILE* fp, const char* format, void* dest, const char* role);

// One character, returned in lower case.  With an accepted list, blanks and
// control characters are skipped and other characters refused; without one,
// white space is skipped.  End of stream: failure code 2.
int ScanChar(FILE* fp, const char* accepted, const char* role);

// One number.  accepted: null or "" (anything), a value list ("1 2 3") or
// "-" with the inclusive bounds min and max.
// End of stream: code 2, except a file read with no accepted list, which
// returns -1.  The keyboard stream always raises code 2 at its end, so that
// no dialog can loop on an exhausted input.
double ScanNumber(FILE* fp, const char* role, const char* accepted);
double ScanNumber(FILE* fp, const char* role, const char* accepted, double min, double max);
double ScanNumberRange(FILE* fp, const char* role, const char* accepted, double min,
                       double max);

// One whitespace-delimited word cut to width characters (dest holds width+1).
// accepted: null or alternatives separated by "/".  Returns dest, or null on
// refusal or at the end of a file.
char* ScanString(FILE* fp, int width, char* dest, const char* accepted, int caseSensitive,
                 const char* role);

// One tab-separated field (or a whole line without tabs) of at most n
// characters; dest holds n+1.  Returns the character that ended the field.
int freadlineck(FILE* fp, int n, char* dest, const char* role);
// One line of at most n characters; tabs are stored as blanks.
int freadlineckTEMP(FILE* fp, int n, char* dest, const char* role);

// Case-insensitive comparison; result as strcmp.
int StrCmp(const char* a, const char* b);
void StrToUpper(char* s);

// True for the console streams, which readers never close.
bool IsKeyboardStream(FILE* fp);
