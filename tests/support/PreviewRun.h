#pragma once

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "preview/PreviewCommand.h"

namespace dunvel {

// What one run of a tool left: its exit status, standard output and standard error.
struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// dunvel-preview's command line run in this process, with input on standard input.
inline ToolRun runPreview(std::vector<std::string> arguments, const std::string& input = {}) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  PreviewIo io{in, out, err};
  arguments.insert(arguments.begin(), "dunvel-preview");
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  const int code = runDunvelPreview(io, static_cast<int>(argv.size()), argv.data());
  return {code, out.str(), err.str()};
}

}  // namespace dunvel
