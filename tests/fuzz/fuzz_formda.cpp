// The formatted data file, in every layout the reader accepts (current,
// "18Jan2008", the oldest interleaved one; with or without the environmental
// type items; phylogeny of each type; trait groups).  A file the reader
// accepts must come back unchanged through the writer: writing it, reading
// that and writing again gives the same text.
#include "data/dataset.h"
#include "data/formda.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzInit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratch scratch;
  WriteInput("in.txt", data, size);
  if (LoadFormda("in.txt")) {
    WriteFormda(tcst, "a.txt", dataName, csm_Float, cadat);
    ReleaseDataSet();
    FUZZ_CHECK(LoadFormda("a.txt"));
    WriteFormda(tcst, "b.txt", dataName, csm_Float, cadat);
    FUZZ_CHECK(WithoutStamps(ReadText("a.txt")) == WithoutStamps(ReadText("b.txt")));
  }
  ReleaseDataSet();
  return 0;
}
