#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include "cli/Version.h"

namespace dunvel {

std::string versionText(const std::string& tool) {
  std::string text = tool + " " + kProjectVersion;
  if (*kGitDescribe != '\0') text += std::string(" (git ") + kGitDescribe + ")";
  return text;
}

void addCommonOptions(CLI::App& app, const std::string& toolFooter) {
  app.set_version_flag("--version", versionText(app.get_name()), "Print the version and exit");
  // The man page is made from this one, so it lists every subcommand's options.
  app.set_help_all_flag("--help-all", "Print this help with every subcommand's options and exit");
  std::string footer = toolFooter;
  if (!footer.empty()) footer += "\n\n";
  footer +=
      "Exit status: 0 success; 1 bad input; 2 bad usage. Errors go to standard error as one\n"
      "line naming what is wrong and where.\n"
      "The data (fonts.conf) is looked for in $DUNVEL_DATA_DIR, then in ../share/dunvel beside\n"
      "the executable, then in the source tree when run from its build folder.";
  app.footer(footer);
}

}  // namespace dunvel
