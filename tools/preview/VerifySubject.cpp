#include "preview/VerifySubject.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include "files/ReadFile.h"
#include "platform/recording/RecordingReader.h"
#include "preview/RecordedFrames.h"
#include "preview/SnapshotFile.h"
#include "state/ContextDecoding.h"
#include "state/OneLine.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;

struct Input {
  fs::path path;
  std::string name;
};

bool isRecording(const fs::path& path) {
  return path.extension() == ".jsonl";
}

// The name of a file found at relative below a folder given: its path without the extension,
// "/" between folders whatever the system's separator.
std::string nameOf(const fs::path& relative) {
  fs::path named = relative;
  named.replace_extension();
  return named.generic_string();
}

// The snapshots and recordings of a folder and its subfolders, sorted by their paths.
void addFolder(const fs::path& folder, std::vector<Input>& inputs,
               std::vector<std::string>& problems) {
  std::vector<Input> found;
  std::error_code error;
  fs::recursive_directory_iterator walk(folder, error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    const fs::path& path = walk->path();
    const fs::path extension = path.extension();
    if (extension != ".json" && extension != ".jsonl") continue;
    // A folder named like a snapshot is searched as a folder. Anything else of such a name (a
    // dangling link, a link loop, a FIFO) is an input that its reader reports as unreadable:
    // passed over, it would let a run pass that compared less than it was given.
    std::error_code kind;
    if (walk->symlink_status(kind).type() == fs::file_type::directory) continue;
    found.push_back({path, nameOf(path.lexically_relative(folder))});
  }
  if (error) {
    problems.push_back(oneLine(folder.string()) + ": cannot search the folder: " + error.message());
  } else if (found.empty()) {
    // A CI job pointed at the wrong folder must not pass for having compared nothing.
    problems.push_back(oneLine(folder.string()) +
                       ": holds no snapshot (.json) or recording (.jsonl), in no subfolder either");
  }
  std::sort(found.begin(), found.end(), [](const Input& a, const Input& b) {
    return a.path.generic_string() < b.path.generic_string();
  });
  inputs.insert(inputs.end(), found.begin(), found.end());
}

std::string frameName(const std::string& name, std::size_t number) {
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, "-frame-%06zu", number);
  return name + suffix;
}

// The names of the images' subjects taken so far, each with where it came from ("PATH", or
// "frame N of PATH"): a snapshot file and a recording's frame may be named alike (a.jsonl's
// first frame and a-frame-000001.json), and would then share their reference images.
using TakenNames = std::map<std::string, std::string>;

// Takes name for what is described, or says (in problems) that it is taken and the subject is
// left out.
bool take(TakenNames& taken, const std::string& name, const std::string& what,
          std::vector<std::string>& problems) {
  const auto [at, fresh] = taken.emplace(name, what);
  if (!fresh) {
    problems.push_back(what + ": has the name " + oneLine(name) + " of " + at->second +
                       " too, so it is left out (rename one of them)");
  }
  return fresh;
}

void addRecording(const Input& input, std::size_t maxFrames, std::vector<VerifySubject>& subjects,
                  std::vector<std::string>& problems, TakenNames& taken,
                  const std::function<void(const std::string&)>& warn) {
  const std::string shown = oneLine(input.path.string());
  RegularFileStream file(input.path);
  if (!file.problem().empty()) {
    problems.push_back(shown + ": " + file.problem());
    return;
  }
  RecordingReader reader(file.stream(), shown, warn);
  RecordedFrames frames(reader);
  RecordedFrame frame;
  std::size_t count = 0;
  std::size_t leftOut = 0;
  while (frames.next(frame)) {
    if (count == maxFrames) {
      ++leftOut;
      continue;
    }
    ++count;
    VerifySubject subject;
    subject.name = frameName(input.name, count);
    if (!take(taken, subject.name, "frame " + std::to_string(count) + " of " + shown, problems)) {
      continue;
    }
    subject.state = decodeGameState(frame.payload);
    subject.snapshot = std::move(frame.payload);
    subject.reachable = frame.reachable;
    subject.moment = frame.moment;
    subjects.push_back(std::move(subject));
  }
  if (leftOut > 0) {
    warn(shown + ": " + std::to_string(leftOut) + (leftOut == 1 ? " snapshot" : " snapshots") +
         " after the first " + std::to_string(count) + " left out (--max-frames " +
         std::to_string(maxFrames) + ")");
  }
  if (reader.failed()) {
    problems.push_back(shown + ": cannot be read to its end");
  } else if (count == 0) {
    problems.push_back(shown +
                       ": holds no snapshot to draw (no context or message frame after a start "
                       "line)");
  }
}

}  // namespace

VerifySubjects collectVerifySubjects(const std::vector<std::string>& paths, bool reachable,
                                     Date now, std::size_t maxFrames,
                                     const std::function<void(const std::string&)>& warn) {
  VerifySubjects result;
  std::vector<Input> inputs;
  for (const std::string& path : paths) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) {
      addFolder(path, inputs, result.problems);
    } else if (fs::exists(status)) {
      inputs.push_back({path, nameOf(fs::path(path).filename())});
    } else {
      result.problems.push_back(oneLine(path) + ": " +
                                (error ? error.message() : "no such file or folder"));
    }
  }
  // Two inputs of one name would share their reference images. One file named twice (given
  // itself and in its folder, or twice over) is one input, read once.
  std::map<std::string, fs::path> named;
  std::set<fs::path> files;
  TakenNames taken;
  for (const Input& input : inputs) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(input.path, error);
    if (!files.insert(error ? input.path : canonical).second) continue;
    const auto [at, fresh] = named.emplace(input.name, input.path);
    if (!fresh) {
      result.problems.push_back(oneLine(input.path.string()) + ": has the name " +
                                oneLine(input.name) + " of " + oneLine(at->second.string()) +
                                " too, so it is left out (give their folders instead)");
      continue;
    }
    if (isRecording(input.path)) {
      addRecording(input, maxFrames, result.subjects, result.problems, taken, warn);
      continue;
    }
    std::istringstream noInput;
    SnapshotFileResult file = readSnapshotFile(input.path.string(), noInput);
    if (!file.ok()) {
      result.problems.push_back(file.error);
      continue;
    }
    if (!take(taken, input.name, oneLine(input.path.string()), result.problems)) continue;
    VerifySubject subject;
    subject.name = input.name;
    subject.state = decodeGameState(file.dictionary);
    subject.snapshot = std::move(file.dictionary);
    subject.reachable = reachable;
    subject.moment = now;
    result.subjects.push_back(std::move(subject));
  }
  return result;
}

}  // namespace dunvel
