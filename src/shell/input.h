// Keyboard input routines: every answer the user gives passes through these.
// They print nothing of their own except refusals, validate the answer
// against a list or a range given by the caller and ask again until it is
// acceptable.
#pragma once

#include <cstddef>

// One character from the accepted list, returned in lower case.
int ReadCharIn(const char* accepted);
// One number.  format names the kind of answer ("%d\n", "%g\n", ...) and does
// not change what is read.  accepted: null/"" (anything), a value list, or "-"
// with the inclusive bounds min and max.
double ReadNumberIn(const char* format, const char* accepted);
double ReadNumberIn(const char* format, const char* accepted, double min, double max);
// One word read with the first conversion of format ("%s" from "%s\n", "%4s"
// from "%4s ").  size is the capacity of word: the word is cut to size - 1
// characters and the rest of a longer word is passed over, so that it is not
// taken as the next answer.
void ReadStringIn(const char* format, char* word, size_t size);
// One line (or tab-separated field) of at most n characters.
void ReadLineIn(char* line, int n);

// n labels cut to width characters, from the keyboard or from a file;
// labels[i] holds width+1 characters.  Returns 1 once read and confirmed.
int ReadLongInput(int n, int width, char** labels, const char* what);
// n integers from the keyboard or from a file; -1 ends the reading as a
// failure and the whole input is asked again.  Returns 1 once confirmed.
int ReadLongInput(int n, int* values, const char* what, const char* accepted);

// Hierarchical level to use: asked (1 to nch) when the analysis is
// hierarchical over monothetically pooled OTUs with several traits, else 1.
void SettingWhichLevel(int* level);
// Partition of n objects ("communities" or another plural noun naming OTUs)
// into groups: fills nGroups, partition[0..n-1] with groups 1..nGroups and
// labels[0..nGroups-1] (each holding 5 characters, labels of at most 4).
void SettingAnyGroups(int n, int* nGroups, int* partition, char** labels, const char* what);
// Partition of n objects into k groups from the session's cluster-analysis
// record (whichReClus for which == 'r', whichCstClus otherwise); the groups
// are numbered 1, 2, ... in order of their first object.
void GetPartition(int n, int k, int* partition, char which);
