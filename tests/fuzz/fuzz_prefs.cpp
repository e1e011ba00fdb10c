// The preferences file "QUILTA.prf" in the working directory.  A file the
// reader accepts must come back unchanged through the writer (the line
// "TSV n" after the time stamp included).
#include "fuzz_support.h"
#include "functional/export.h"
#include "shell/preferences.h"
#include "shell/shell.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzInit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratch scratch;
  InitGlobals();
  WriteInput("QUILTA.prf", data, size);
  if (Orderly([] { ReadPreferences(); })) {
    WritePreferences();
    const std::string a = WithoutStamps(ReadText("QUILTA.prf"));
    FUZZ_CHECK(Orderly([] { ReadPreferences(); }));
    WritePreferences();
    FUZZ_CHECK(a == WithoutStamps(ReadText("QUILTA.prf")));
  }
  return 0;
}
