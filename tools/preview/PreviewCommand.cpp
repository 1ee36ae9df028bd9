#include "preview/PreviewCommand.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <exception>
#include <ostream>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/FaceSizeOption.h"
#include "cli/TextSizeOption.h"
#include "cli/UsageError.h"
#include "preview/AccessibilityCommand.h"
#include "preview/ExplainCommand.h"
#include "preview/FilmCommand.h"
#include "preview/PngCommand.h"
#include "preview/ReplayCommand.h"
#include "preview/StateCommand.h"
#include "preview/TreeCommand.h"
#include "preview/VariantsCommand.h"
#include "preview/VerifyCommand.h"

namespace dunvel {

void configurePreviewApp(CLI::App& app) {
  app.description(
      "Checks what the watch companion makes of a snapshot, without a watch.\n"
      "A snapshot is a JSON object with the keys the host app sends (screen, gameName, teams,\n"
      "turnTeamId, questionPoints, questionMode, questionOpenedAt, tournament).");
  addCommonOptions(
      app,
      "FILE is a JSON snapshot, or - for standard input.\n"
      "Bad input is a file that cannot be read, is not JSON, or is refused (null anywhere,\n"
      "nesting deeper than 64 levels, an integer beyond 64 bits, a top level that is not an\n"
      "object); its error names the file and the problem (line and column for bad JSON).");
  app.require_subcommand(1);
}

void addFaceSizeOption(CLI::App& command, std::string& size) {
  command.add_option("--size", size, faceSizeHelp("; default 45mm"))->check(FaceSizeName());
}

void addTextSizeOption(CLI::App& command, std::string& textSize) {
  command.add_option("--text-size", textSize, textSizeHelp())->check(TextSizeName());
}

int runPreviewApp(CLI::App& app, PreviewIo& io, int argc, const char* const* argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return reportUsageError(app, e, io.out, io.err);
  } catch (const std::exception& e) {
    io.err << app.get_name() << ": " << oneLine(e.what()) << '\n';
    return kExitBadInput;
  }
  return io.exitCode;
}

int runDunvelPreview(PreviewIo& io, int argc, const char* const* argv, std::string* subcommand) {
  CLI::App app{"", "dunvel-preview"};
  configurePreviewApp(app);
  addStateCommand(app, io);
  addExplainCommand(app, io);
  addTreeCommand(app, io);
  addPngCommand(app, io);
  addVariantsCommand(app, io);
  addReplayCommand(app, io);
  addFilmCommand(app, io);
  addAccessibilityCommand(app, io);
  addVerifyCommand(app, io);
  int status = runPreviewApp(app, io, argc, argv);
  // What was printed must have reached its reader (a full disk, a closed pipe), or the command
  // did not do its work.
  // A stream that failed earlier is tried once more for the cause: what it still holds goes
  // out, or the system says why not.
  bool failed = !io.out;
  io.out.clear();
  errno = 0;
  if (!io.out.flush()) failed = true;
  const int error = errno;
  if (failed) {
    io.err << "dunvel-preview: cannot write standard output: "
           << (error != 0 ? std::strerror(error) : "the stream failed") << '\n';
    if (status == kExitSuccess) status = kExitBadInput;
  }
  if (subcommand) {
    const std::vector<CLI::App*> ran = app.get_subcommands();
    *subcommand = ran.empty() ? std::string() : ran.front()->get_name();
  }
  return status;
}

}  // namespace dunvel
