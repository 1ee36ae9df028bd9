#pragma once

#include <optional>
#include <string>
#include <vector>

#include "preview/PreviewCommand.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

struct ExplainOptions {
  std::vector<std::string> files;
  bool json = false;
  // Seconds since 1970 an opening moment is judged against; the system clock when absent.
  std::optional<double> now;
};

// `explain FILE…`: what the watch makes of each snapshot, one line a finding
// ("FILE: POINTER: KIND: message"), or with --json one object a file. Exit 0 when no file has a
// finding, 1 when one has or cannot be read.
int runExplainCommand(const ExplainOptions& options, PreviewIo& io);

// Registers the `explain` subcommand; running it sets io.exitCode.
void addExplainCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
