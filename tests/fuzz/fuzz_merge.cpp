// The merge of two sessions' formatted data: the second file is read item
// by item against the first data set.  The input holds both files, the
// first, a line "%%", then the second.  A merge that succeeds writes the
// session's own file, which must load.
#include <cstring>

#include "data/dataset.h"
#include "data/subset.h"
#include "fuzz_support.h"
#include "shell/console.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzInit();
  strcpy(sessionName, "m");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratch scratch;
  std::string first, second;
  SplitAtMarker(std::string(reinterpret_cast<const char*>(data), size), first, second);
  WriteInput("first.txt", first);
  WriteInput("second.txt", second);
  if (LoadFormda("first.txt")) {
    strcpy(dataName, "first.txt");
    int merged = 0;
    Orderly([&] { merged = MergeFormda("second.txt"); });
    ReleaseDataSet();
    if (merged == 1) FUZZ_CHECK(LoadFormda("mFormda.txt"));
  }
  ReleaseDataSet();
  return 0;
}
