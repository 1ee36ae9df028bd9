#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "state/OneLine.h"

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

// What every dunvel-preview subcommand works with: its streams and the exit code it leaves.
// Exit codes: 0 success, 1 bad input (unreadable file, bad JSON, refused snapshot), 2 bad usage.
struct PreviewIo {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  int exitCode = 0;
  // err is a terminal: long commands show their progress on one line there.
  bool errIsTerminal = false;
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadInput = 1;
inline constexpr int kExitBadUsage = 2;

// --size CASE (40mm … 49mm-3), shared by the subcommands that lay out a face.
void addFaceSizeOption(CLI::App& command, std::string& size);
// --text-size NAME (xSmall … AX3, any case), shared by the subcommands that lay out a face; left
// empty, each case takes its default.
void addTextSizeOption(CLI::App& command, std::string& textSize);

// The dunvel-preview command line without subcommands; each subcommand adds itself.
void configurePreviewApp(CLI::App& app);

// Parses the arguments and runs the chosen subcommand; returns the process's exit code. Help
// goes to io.out, usage errors to io.err.
int runPreviewApp(CLI::App& app, PreviewIo& io, int argc, const char* const* argv);

// dunvel-preview with all its commands, run on argv; subcommand, when given, gets the name of
// the command that ran (empty when none did).
int runDunvelPreview(PreviewIo& io, int argc, const char* const* argv,
                     std::string* subcommand = nullptr);

}  // namespace dunvel
