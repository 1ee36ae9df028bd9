#include "preview/ReplayCommand.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>

#include "cli/NumberOption.h"
#include "files/ReadFile.h"
#include "platform/recording/RecordingReader.h"
#include "preview/RecordingReplay.h"
#include "state/OneLine.h"

namespace dunvel {

namespace {

void printOutput(std::ostream& out, const ReplayOutput& output) {
  char time[48];
  std::snprintf(time, sizeof time, "%12.3f ms  %-7s ", output.t,
                ReplayOutput::kindName(output.kind));
  out << time << oneLine(output.text) << '\n';
}

}  // namespace

int runReplayCommand(const ReplayOptions& options, PreviewIo& io) {
  if (!std::isfinite(options.toleranceMs) || options.toleranceMs < 0) {
    io.err << "dunvel-preview: --tolerance: " << options.toleranceMs
           << " is not a finite number of milliseconds of 0 or more (see --help)\n";
    return kExitBadUsage;
  }
  RegularFileStream file(options.path);
  if (!file.problem().empty()) {
    io.err << "dunvel-preview: " << oneLine(options.path) << ": " << file.problem() << '\n';
    return kExitBadInput;
  }
  RecordingReader reader(file.stream(), oneLine(options.path), [&io](const std::string& warning) {
    io.err << "dunvel-preview: " << oneLine(warning) << '\n';
  });
  std::unique_ptr<RecordingReplay> replay;
  std::size_t recordings = 0;
  std::size_t compared = 0;
  auto differs = [&] {
    io.out.flush();
    io.err << "dunvel-preview: " << oneLine(options.path) << ":" << replay->differenceLine()
           << ": differs: " << oneLine(replay->difference()) << '\n';
    return kExitBadInput;
  };

  RecordingEvent event;
  while (reader.next(event)) {
    if (event.kind == RecordingEvent::Kind::start) {
      if (replay) {
        if (!replay->finish()) return differs();
        compared += replay->compared();
      }
      ++recordings;
      io.out << "recording " << recordings << " (line " << reader.line() << ", "
             << oneLine(event.wall) << ", by "
             << (event.recorder.empty() ? "?" : oneLine(event.recorder)) << ")\n";
      replay = std::make_unique<RecordingReplay>(
          event, RecordingReplay::Options{options.toleranceMs},
          [&io](const ReplayOutput& output) { printOutput(io.out, output); });
      continue;
    }
    if (!replay->feed(event, reader.line())) return differs();
  }
  if (replay) {
    if (!replay->finish()) return differs();
    compared += replay->compared();
  }
  if (reader.failed()) {
    io.err << "dunvel-preview: cannot read " << oneLine(options.path) << " to its end\n";
    return kExitBadInput;
  }
  if (recordings == 0) {
    io.err << "dunvel-preview: " << oneLine(options.path)
           << ": holds no recording (no start line; see dunvel-watch --record)\n";
    return kExitBadInput;
  }
  // A last line cut short is how a companion that was killed leaves its recording; any other
  // line that could not be used as written leaves the comparison incomplete.
  const std::size_t unusable = reader.warnings() - (reader.endsCutShort() ? 1 : 0);
  if (unusable > 0) {
    io.err << "dunvel-preview: " << oneLine(options.path)
           << ": the replay matches what could be read, "
           << "but " << unusable << (unusable == 1 ? " line was" : " lines were")
           << " skipped or corrected (see the warnings above)\n";
    return kExitBadInput;
  }
  io.out << "dunvel-preview: " << oneLine(options.path) << ": match (" << recordings
         << (recordings == 1 ? " recording, " : " recordings, ") << compared
         << " screen changes, commands and haptics compared)\n";
  return kExitSuccess;
}

void addReplayCommand(CLI::App& app, PreviewIo& io) {
  CLI::App* replay = app.add_subcommand(
      "replay",
      "Replay a recording (dunvel-watch --record) through the companion's app on a virtual\n"
      "clock: feed it the recorded frames, host connections and taps at their recorded times,\n"
      "print the screen changes, commands and haptics it produces, and compare them with the\n"
      "recording. Exit status 0 when they match, 1 with the first difference.");
  replay->footer(
      "FILE is a recording written by dunvel-watch --record.\n"
      "Exit status: 0 every recording in the file matches; 1 a difference (named by its line),\n"
      "a recording that cannot be read or holds none, or lines that had to be skipped (a last\n"
      "line cut short excepted); 2 bad usage.");
  auto options = std::make_shared<ReplayOptions>();
  replay->add_option("FILE", options->path, "The recording")->required();
  replay
      ->add_option("--tolerance", options->toleranceMs,
                   "How many milliseconds apart an output of the replay and the recorded one "
                   "may be")
      ->check(FiniteNumber())
      ->capture_default_str();
  replay->callback([options, &io] { io.exitCode = runReplayCommand(*options, io); });
}

}  // namespace dunvel
