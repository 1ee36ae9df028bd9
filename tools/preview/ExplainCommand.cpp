#include "preview/ExplainCommand.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/NumberOption.h"
#include "explain/FindingText.h"
#include "explain/SnapshotExplain.h"
#include "platform/runloop/SystemClock.h"
#include "preview/SnapshotFile.h"
#include "state/OneLine.h"

namespace dunvel {
namespace {

using Json = nlohmann::ordered_json;

std::string jsonLine(const Json& object) {
  // Keys and texts from a file are well-formed UTF-8 (the reader refuses anything else).
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

int runExplainCommand(const ExplainOptions& options, PreviewIo& io) {
  const double now = options.now ? *options.now : SystemClock().now().timeIntervalSince1970;
  int status = kExitSuccess;
  for (const std::string& file : options.files) {
    const std::string shownName = file == "-" ? "standard input" : file;
    SnapshotFileResult read = readSnapshotFile(file, io.in);
    if (!read.ok()) {
      io.err << "dunvel-preview: " << read.error << '\n';
      if (options.json) {
        io.out << jsonLine(
                      Json{{"file", shownName}, {"error", read.error}, {"findings", Json::array()}})
               << '\n';
      }
      status = kExitBadInput;
      continue;
    }
    const SnapshotExplanation explained =
        explainSnapshot(read.dictionary, now, kMostFindingsListed);
    const std::vector<SnapshotFinding>& findings = explained.findings;
    if (!findings.empty()) status = kExitBadInput;
    if (options.json) {
      Json list = Json::array();
      for (const SnapshotFinding& finding : findings) {
        list.push_back(Json{
            {"pointer", finding.pointer}, {"kind", finding.kind}, {"message", finding.message}});
      }
      Json line{{"file", shownName}, {"findings", std::move(list)}};
      if (explained.leftOut > 0) line["leftOut"] = explained.leftOut;
      io.out << jsonLine(line) << '\n';
    } else {
      for (const SnapshotFinding& finding : findings) {
        io.out << oneLine(shownName) << ": " << findingLine(finding) << '\n';
      }
    }
    // Standard output keeps one finding a line; what was left out is said beside it.
    if (explained.leftOut > 0) {
      io.err << "dunvel-preview: " << oneLine(shownName) << ": and " << explained.leftOut
             << " more findings, not listed (the first " << kMostFindingsListed << " are)\n";
    }
  }
  return status;
}

void addExplainCommand(CLI::App& app, PreviewIo& io) {
  CLI::App* explain = app.add_subcommand(
      "explain",
      "Say what the watch makes of each snapshot, key by key: every place where it takes a\n"
      "default, drops or ignores something, or takes a value the host app likely did not mean,\n"
      "one line a finding: FILE: POINTER: KIND: message (POINTER is a JSON Pointer into the\n"
      "file's object). Kinds: wrong-kind, unknown-key, dropped-team, teams-rejected,\n"
      "unknown-screen, no-such-team, duplicate-id, suspicious-time, out-of-range.\n"
      "Exit 0 when no file has a finding, 1 when one has or cannot be read.");
  auto options = std::make_shared<ExplainOptions>();
  explain->add_option("FILE", options->files, "JSON snapshots, or - for standard input")
      ->required();
  explain->add_flag("--json", options->json,
                    "One JSON object a file, one a line: {\"file\": ..., \"findings\": "
                    "[{\"pointer\": ..., \"kind\": ..., \"message\": ...}]}, with "
                    "\"leftOut\": N past the first 1000 findings");
  explain
      ->add_option("--now", options->now,
                   "The current date-time in seconds since 1970, which an opening moment is "
                   "judged against; default: the system clock")
      ->check(FiniteNumber());
  explain->callback([options, &io] { io.exitCode = runExplainCommand(*options, io); });
}

}  // namespace dunvel
