#pragma once

#include <string>

namespace CLI {
class App;
}  // namespace CLI

namespace dunvel {

// What --version prints for a tool: "dunvel-preview 0.1.0", plus " (git DESCRIBE)" when it was
// built from a clone.
std::string versionText(const std::string& tool);

// Gives a tool's command line what all three share: --version, --help-all, and a help footer
// that ends with the exit statuses and where the data is looked for. toolFooter, when not empty,
// comes first. The man pages are made from this help, so they say the same.
void addCommonOptions(CLI::App& app, const std::string& toolFooter = {});

}  // namespace dunvel
