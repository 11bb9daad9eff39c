// Replays a fuzz target's seed corpus and every input that once failed, so
// that the ordinary test suite (built without libFuzzer) catches a regression.
// Arguments: directories or files; a missing directory is skipped.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {
int replay(const std::filesystem::path &p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", p.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so AddressSanitizer sees any read past it.
  auto *copy = new uint8_t[bytes.size() ? bytes.size() : 1];
  std::copy(bytes.begin(), bytes.end(), copy);
  LLVMFuzzerTestOneInput(copy, bytes.size());
  delete[] copy;
  return 0;
}
}  // namespace

int main(int argc, char **argv) {
  namespace fs = std::filesystem;
  int failures = 0, inputs = 0;
  for (int i = 1; i < argc; ++i) {
    fs::path arg(argv[i]);
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      std::vector<fs::path> files;
      for (const auto &e : fs::recursive_directory_iterator(arg))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());
      for (const auto &f : files) failures += replay(f), ++inputs;
    } else if (fs::exists(arg, ec)) {
      failures += replay(arg), ++inputs;
    }
  }
  std::printf("replayed %d inputs\n", inputs);
  return failures ? 1 : 0;
}
