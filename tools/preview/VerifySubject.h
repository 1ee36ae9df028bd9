#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "observation/Date.h"
#include "state/ContextValue.h"
#include "state/GameState.h"

namespace dunvel {

// One snapshot that verify draws: from a snapshot file, or one frame of a recording.
struct VerifySubject {
  // What its reference images are named after: the file's path below the folder given (or its
  // bare name, for a file given itself) without .json, with "/" between folders; a recording's
  // frames add "-frame-000003".
  std::string name;
  ContextDictionary snapshot;
  GameState state;
  bool reachable = false;
  Date moment;
};

// Where the snapshots came from, and what could not be read.
struct VerifySubjects {
  std::vector<VerifySubject> subjects;
  // One line each, "PATH: what is wrong", for inputs that could not be read or named.
  std::vector<std::string> problems;
};

// The snapshots of the files and folders given, in the order given; a folder's .json snapshots
// and .jsonl recordings (searched in all its subfolders) in the sorted order of their paths. A
// snapshot file is shown at now, with reachable as the host app's reachability; a recording's
// frames at the moments and reachability recorded. A folder that holds neither is a problem.
// Warnings about lines of a recording that cannot be used go to warn.
// A recording's frames after the first maxFrames are read past and counted, and their count
// goes to warn: a night of a million snapshots would otherwise be held whole and drawn whole.
VerifySubjects collectVerifySubjects(const std::vector<std::string>& paths, bool reachable,
                                     Date now, std::size_t maxFrames,
                                     const std::function<void(const std::string&)>& warn);

}  // namespace dunvel
