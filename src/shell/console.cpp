#include "shell/console.h"

#include <omp.h>

#include <cctype>
#include <initializer_list>
#include <cstring>

FILE* in_ = stdin;
FILE* out = stdout;

char sessionShortName[52] = "";
char sessionName[64] = "";
char volumeName[80] = "";
char tempName[256] = "";
char whichTrack[64] = "NULL";
char whichStructures[64] = "NULL";
FILE* trackFp = nullptr;
int optmain1 = 0;
int optmain = 0;
int dirtyOrig = 0;
int is40CharLine = 0, is80CharLine = 0;
clock_t t1 = 0, t2 = 0;
time_t timeStart = 0;

const char lineL[] =
    "----------------------------------------------------------------------";
const char version[] =
    "CHARACTER-BASED COMMUNITY ANALYSIS                    QUILTA v.2.11.21";

void Menu(const char* title) {
  ClearLine();
  fprintf(out, "\n\n%-47s%23s\n%s\n", title, sessionShortName, lineL);
}

void ClearLine() {
  if (is40CharLine == 1) {
    fputc('\n', out);
    is40CharLine = 0;
  }
  if (is80CharLine == 1) {
    fputc('\n', out);
    is80CharLine = 0;
  }
}

void Wait() {
  int c;
  while ((c = fgetc(stdin)) != EOF) {
    if (iscntrl(c)) {
      ungetc(c, stdin);
      break;
    }
  }
}

// The throttle: 5 ticks of the processor clock.
static const clock_t kProgressTicks = 5;

void HandleEventInfoWhere2(const char* text) {
  clock_t now = clock();
  if (now - t2 < kProgressTicks) return;
  if (is40CharLine == 1) fputc('\n', out);
  fprintf(out, "%*.*s%40s", 40, 40, text, "");
  t2 = clock();
  is40CharLine = 1;
  is80CharLine = 1;
  fflush(stdout);
}

void TimeStamp(FILE* stream) {
  time_t now = time(nullptr);
  fputs(ctime(&now), stream);
}

double difftime_Clock(double start) { return omp_get_wtime() - start; }

void InitIFLibG() {
  is40CharLine = 0;
  is80CharLine = 0;
  t1 = t2 = clock();
  timeStart = time(nullptr);
}

void AdjustClocks_Event() { t1 = t2 = clock(); }

void CatName(char* dest, size_t size, const char* prefix, const char* suffix) {
  if (size == 0) return;
  size_t n = 0;
  for (const char* s : {prefix, suffix})
    for (; *s && n + 1 < size; s++) dest[n++] = *s;
  dest[n] = '\0';
}
