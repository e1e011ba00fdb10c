#include "shell/console.h"

#include <omp.h>

#include <cctype>
#include <initializer_list>
#include <cstring>
#include <unistd.h>

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

// The throttle.  "5 processor-clock ticks" is read as 5 ticks of a 60 Hz
// clock: on a terminal the line is rewritten in place (carriage return) at
// most 12 times a second.  When the dialogue does not go to a terminal (a
// log file, a pipe) each progress text is a line of its own, so at most one
// is written per second.  Both are measured on the wall clock, which keeps
// running while other threads work.
static const double kTerminalInterval = 5.0 / 60.0;
static const double kFileInterval = 1.0;
static double lastProgress = -1e300;

// Whether the dialogue stream is a terminal, asked once per stream.
static bool DialogueIsTerminal() {
  static FILE* known = nullptr;
  static bool terminal = false;
  if (out != known) {
    known = out;
    terminal = isatty(fileno(out)) != 0;
  }
  return terminal;
}

bool ProgressDue() {
  return omp_get_wtime() - lastProgress >=
         (DialogueIsTerminal() ? kTerminalInterval : kFileInterval);
}

void HandleEventInfoWhere2(const char* text) {
  const double now = omp_get_wtime();
  const bool terminal = DialogueIsTerminal();
  if (now - lastProgress < (terminal ? kTerminalInterval : kFileInterval)) return;
  if (is40CharLine == 1) fputc(terminal ? '\r' : '\n', out);
  fprintf(out, "%*.*s%40s", 40, 40, text, "");
  lastProgress = now;
  t2 = clock();
  is40CharLine = 1;
  is80CharLine = 1;
  fflush(out);
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
  lastProgress = omp_get_wtime();
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
