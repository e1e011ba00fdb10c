// The raw data import: the trait, phylogeny, performance, species and
// environmental files read by the import dialog.  The input holds the
// dialog's answers, then the five files (b.txt, f.txt, w.txt, s.txt and
// e.txt), each after a line "%%"; the answers name the files they use.  An
// import that succeeds writes a formatted data file, which must load.
#include <cstring>
#include <vector>

#include "data/dataset.h"
#include "data/import.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzInit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratch scratch;
  std::string rest(reinterpret_cast<const char*>(data), size), part;
  std::vector<std::string> parts;
  for (int k = 0; k < 6; k++) {
    SplitAtMarker(rest, part, rest);
    parts.push_back(part);
  }
  static const char* const kNames[] = {"b.txt", "f.txt", "w.txt", "s.txt", "e.txt"};
  for (int k = 0; k < 5; k++) WriteInput(kNames[k], parts[k + 1]);
  SetAnswers(parts[0]);
  remove("out.txt");
  strcpy(whichFormda, "out.txt");
  if (Orderly([] { IFFormat(); })) FUZZ_CHECK(LoadFormda("out.txt"));
  ReleaseDataSet();
  return 0;
}
