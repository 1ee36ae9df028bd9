#include "preview/FaceSnapshot.h"

#include "render/FaceRenderer.h"
#include "render/TextSize.h"
#include "render/TimeText.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <ostream>

#include "cli/NumberOption.h"
#include "platform/runloop/SystemClock.h"
#include "preview/SnapshotFile.h"
#include "state/ContextDecoding.h"

namespace dunvel {

void addFaceSnapshotOptions(CLI::App& command, FaceSnapshotOptions& options) {
  command.add_option("FILE", options.path, "JSON snapshot, or - for standard input")->required();
  command.add_flag("--reachable", options.reachable,
                   "The host app is reachable (the idle screen's status line); default: not");
  command
      .add_option("--now", options.now,
                  "The current date-time in seconds since 1970, which the question clock "
                  "counts from; default: the system clock")
      ->check(FiniteNumber());
}

std::optional<FaceSnapshot> readFaceSnapshot(const FaceSnapshotOptions& options, PreviewIo& io,
                                             int& exitCode) {
  if (options.now && !std::isfinite(*options.now)) {
    io.err << "dunvel-preview: --now: " << *options.now
           << " is not a finite number of seconds since 1970 (see --help)\n";
    exitCode = kExitBadUsage;
    return std::nullopt;
  }
  SnapshotFileResult file = readSnapshotFile(options.path, io.in);
  if (!file.ok()) {
    io.err << "dunvel-preview: " << file.error << '\n';
    exitCode = kExitBadInput;
    return std::nullopt;
  }
  return FaceSnapshot{decodeGameState(file.dictionary), options.reachable,
                      options.now ? Date{*options.now} : SystemClock().now()};
}

}  // namespace dunvel

namespace dunvel {

void setUpFace(FaceRenderer& renderer, const std::string& textSize, Date now) {
  if (const std::optional<TextSize> size = parseTextSize(textSize)) renderer.setTextSize(*size);
  renderer.setTime(timeText(now.timeIntervalSince1970));
}

}  // namespace dunvel
