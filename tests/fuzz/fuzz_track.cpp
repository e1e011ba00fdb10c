// The session track file, short (data chosen, no settings) or full, read
// into the partition tables of a loaded data set.  The input holds the
// formatted data file, a line "%%", then the track file.  A track file the
// reader accepts must come back unchanged through the writer.
#include <cstring>

#include "data/dataset.h"
#include "data/track.h"
#include "fuzz_support.h"
#include "shell/console.h"
#include "shell/shell.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzInit();
  return 0;
}

static bool LoadTrack(const char* name) {
  strcpy(whichTrack, name);
  return Orderly([] { ReadTrack(); });
}

static void SaveTrack(const char* name) {
  strcpy(whichTrack, name);
  WriteTrack(1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratch scratch;
  std::string formda, track;
  SplitAtMarker(std::string(reinterpret_cast<const char*>(data), size), formda, track);
  WriteInput("f.txt", formda);
  WriteInput("t.txt", track);
  FreeGlobals1();
  if (LoadFormda("f.txt") && LoadTrack("t.txt")) {
    SaveTrack("a.txt");
    FUZZ_CHECK(LoadTrack("a.txt"));
    SaveTrack("b.txt");
    FUZZ_CHECK(ReadText("a.txt") == ReadText("b.txt"));
  }
  ReleaseDataSet();
  return 0;
}
