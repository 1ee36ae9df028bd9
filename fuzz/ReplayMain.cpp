// A fuzz target's inputs replayed without libFuzzer: each file named, or each file in a folder
// named (in name order), handed once to LLVMFuzzerTestOneInput, as libFuzzer replays a corpus.
// The test run builds the targets this way with its own compiler and sanitizers, so that they
// cannot rot and their corpora are replayed on every run; fuzzing itself takes the libFuzzer
// build (DUNVEL_BUILD_FUZZ).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Defined by the targets that set up a scratch folder first.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

namespace fs = std::filesystem;

bool replay(const fs::path& input) {
  std::ifstream file(input, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.eof() && file.fail()) {
    std::fprintf(stderr, "replay: cannot read %s\n", input.c_str());
    return false;
  }
  // A copy of its own, as libFuzzer hands each input: a read past its end is caught.
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(data.data(), data.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argv[0]);
    return 2;
  }
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path named(argv[i]);
    std::error_code error;
    std::vector<fs::path> inputs;
    if (fs::is_directory(named, error)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(named, error)) {
        if (entry.is_regular_file(error)) inputs.push_back(entry.path());
      }
      if (error) {
        std::fprintf(stderr, "replay: cannot list %s: %s\n", named.c_str(),
                     error.message().c_str());
        return 1;
      }
      std::sort(inputs.begin(), inputs.end());
    } else {
      inputs.push_back(named);
    }
    for (const fs::path& input : inputs) {
      if (!replay(input)) return 1;
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
