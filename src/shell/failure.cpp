#include "shell/failure.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "shell/console.h"

void RaiseFailure(int code) { throw QuiltaFailure{code}; }

void HandleFailure(int code) {
  ClearLine();
  fflush(stdout);
  if (code == kFailReported) exit(1);  // the report is already on screen
  const char* message = "";
  bool untilLetter = false;
  switch (code) {
    case kFailMemory:
      message = "\nOUT OF MEMORY !!!\n";
      untilLetter = true;
      break;
    case kFailEndOfFile:
      message = "\nEND OF FILE !!!\n";
      break;
    case kFailPrint:
      message = "\nFAIL TO PRINT ON FILE !!!\n";
      untilLetter = true;
      break;
    case kFailOpen:
    default:
      message = "\nFAIL TO OPEN FILE !!!\n";
      break;
  }
  fputs(message, stderr);
  fputs("\nQuit and restart QUILTA.\n", stderr);
  fputc(7, stderr);
  fflush(stderr);
  // Hold the message on screen: read until a letter (codes 1 and 3) or a
  // newline (codes 2 and 4).  The end of the input ends the wait too.
  int c;
  while ((c = fgetc(stdin)) != EOF) {
    if (untilLetter ? (isalpha(c) != 0) : (c == '\n')) break;
  }
  exit(1);
}
