#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "preview/PreviewCommand.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

// The moment verify shows a snapshot at without --now: 2025-01-01 09:41 UTC, so a snapshot
// gives the same images on any day, in any time zone and locale.
inline constexpr double kVerifyDefaultNow = 1735724460.0;

struct VerifyOptions {
  std::vector<std::string> paths;
  std::string references;
  std::vector<std::string> sizes;
  std::vector<std::string> textSizes;
  std::optional<double> now;
  bool reachable = false;
  int tolerance = 0;
  std::int64_t maxPixels = 0;
  // Empty: verify; "missing" or "all": record those references.
  std::string record;
  std::string out = "dunvel-verify";
  // 0: as many as the machine has cores.
  int jobs = 0;
  // The frames of each recording drawn at most; the rest are counted and left out.
  std::size_t maxFrames = 10000;
  // "K/N": check only the K-th of N shares of the images, and leave a record for --merge.
  std::string shard;
  // The --out folders of the shares of one run, joined into one report in --out.
  std::vector<std::string> merge;
};

// `verify FILE|DIR… --references DIR …`: draws each snapshot (or each frame of a recording) in
// each variant and compares it with DIR/NAME@CASE-TEXTSIZE.png; prints a line for each image
// that is not equal and a summary line, and leaves the images of each failure, report.html and
// junit.xml in --out. With --record, writes the references instead. Returns the exit code: 0
// all equal (or recorded), 1 an image differs or is missing or an input cannot be read or a
// file written, 2 bad usage. With --merge, joins the shares' records instead, with the summary,
// the reports and the exit code one run over every image would give.
int runVerifyCommand(const VerifyOptions& options, PreviewIo& io);

// Registers the `verify` subcommand; running it sets io.exitCode.
void addVerifyCommand(CLI::App& app, PreviewIo& io);

}  // namespace dunvel
