// Bytes as a recording (.jsonl) in a folder beside a snapshot file named like its first frame,
// read as verify reads them: any recording must be read without crashing, with at most
// --max-frames frames kept, no two subjects of one name (they would share a reference), and
// every problem one line. A broken invariant aborts so the fuzzer keeps the input.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "preview/VerifySubject.h"

namespace {

namespace fs = std::filesystem;
using namespace dunvel;

constexpr std::size_t kMaxFrames = 16;

void require(bool condition) {
  if (!condition) std::abort();
}

fs::path& folder() {
  static fs::path path;
  return path;
}

void removeFolder() {
  std::error_code ignored;
  fs::remove_all(folder(), ignored);
}

bool isOneLine(const std::string& text) {
  return !text.empty() && text.find('\n') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (fs::temp_directory_path() / "dunvel-fuzz-recording-XXXXXX").string();
  require(mkdtemp(pattern.data()) != nullptr);
  folder() = pattern;
  std::atexit(removeFolder);
  std::ofstream(folder() / "night-frame-000001.json") << R"({"screen":"idle"})";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream night(folder() / "night.jsonl", std::ios::binary | std::ios::trunc);
    night.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::size_t warnings = 0;
  const VerifySubjects read = collectVerifySubjects({folder().string()}, false, Date{1735724460.0},
                                                    kMaxFrames, [&](const std::string& line) {
                                                      require(isOneLine(line));
                                                      ++warnings;
                                                    });
  // The snapshot file, and at most kMaxFrames frames.
  require(!read.subjects.empty() && read.subjects.size() <= kMaxFrames + 1);
  std::set<std::string> names;
  for (const VerifySubject& subject : read.subjects) require(names.insert(subject.name).second);
  for (const std::string& problem : read.problems) require(isOneLine(problem));
  return 0;
}
