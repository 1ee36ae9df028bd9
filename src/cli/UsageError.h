#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

#include "state/OneLine.h"

namespace dunvel {

// A parse error of a tool's command line, reported as every tool reports it: help goes to out
// with status 0; anything else is one line on err, "NAME: what is wrong (see --help)", with
// status 2.
inline int reportUsageError(const CLI::App& app, const CLI::ParseError& error, std::ostream& out,
                            std::ostream& err) {
  if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
    if (dynamic_cast<const CLI::CallForAllHelp*>(&error) != nullptr) {
      out << app.help("", CLI::AppFormatMode::All);
    } else if (dynamic_cast<const CLI::CallForHelp*>(&error) != nullptr) {
      out << app.help();
    } else {
      out << error.what() << '\n';
    }
    return 0;
  }
  err << app.get_name() << ": " << oneLine(error.what()) << " (see --help)\n";
  return 2;
}

}  // namespace dunvel
