// A fuzz target run without libFuzzer on the files named (every file of a
// directory named): the test suite replays the seed corpora this way with
// g++, so that the targets keep building and their seeds keep passing their
// checks in the normal and sanitizer builds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int k = 1; k < argc; k++) {
    if (fs::is_directory(argv[k])) {
      for (const auto& e : fs::directory_iterator(argv[k]))
        if (e.is_regular_file()) files.push_back(e.path());
    } else {
      files.push_back(argv[k]);
    }
  }
  std::sort(files.begin(), files.end());
  LLVMFuzzerInitialize(&argc, &argv);
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  }
  dprintf(2, "%zu inputs run\n", files.size());
  return files.empty() ? 1 : 0;
}
