// Temporary entry points until the data dialogs are written.
#include "data/formda.h"
#include "data/import.h"
#include "data/track.h"
#include "shell/failure.h"

void WriteFormda(int, const char*, const char*, double**, double**) {}
int OpenFormda(int) { return 1; }
int SetFormda() { return 1; }
void IFFormat() {}
void WriteTrack(int) {}
int ReadTrack() { return 1; }
