#include "render/FontConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include "files/ReadFile.h"

namespace dunvel {
namespace fs = std::filesystem;

namespace {

// Files looked at in all, and how deep includes may nest, before the file is refused: a real
// configuration has a handful.
constexpr std::size_t kMaxFiles = 256;
constexpr int kMaxDepth = 8;

// The callers write the line through their own escaping of controls.
std::string shown(const fs::path& path) {
  return path.string();
}

// Reads a regular file of at most the limit, without blocking on what is not one.
std::string readConfig(const fs::path& path, std::string& text) {
  FileBytes read = readRegularFile(path, kMaxFontConfigBytes);
  switch (read.kind) {
    case FileProblem::none:
      text = std::move(*read.bytes);
      return {};
    case FileProblem::notRegular:
      return "the font configuration " + shown(path) + " is not a regular file";
    case FileProblem::tooLarge:
      return "the font configuration " + shown(path) + " is larger than 1 MiB";
    case FileProblem::cannotRead:
      break;
  }
  return "cannot read the font configuration " + shown(path) + ": " + read.reason;
}

std::string withoutComments(std::string_view text) {
  std::string kept;
  while (!text.empty()) {
    const std::size_t open = text.find("<!--");
    kept += text.substr(0, open);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find("-->", open + 4);
    if (close == std::string_view::npos) break;
    text.remove_prefix(close + 3);
  }
  return kept;
}

std::string decodeEntities(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      for (const auto& [entity, character] : {std::pair{"&amp;", '&'},
                                              {"&lt;", '<'},
                                              {"&gt;", '>'},
                                              {"&quot;", '"'},
                                              {"&apos;", '\''}}) {
        if (text.substr(i).starts_with(entity)) {
          decoded += character;
          i += std::strlen(entity) - 1;
          goto next;
        }
      }
    }
    decoded += text[i];
  next:;
  }
  return decoded;
}

// Where an <include> points, as fontconfig resolves it: "~/" from $HOME, prefix="xdg" from
// $XDG_CONFIG_HOME (or ~/.config), a relative path from the including file's folder.
fs::path resolveInclude(std::string_view attributes, const std::string& target,
                        const fs::path& from) {
  fs::path path(target);
  if (attributes.find("prefix=\"xdg\"") != std::string_view::npos ||
      attributes.find("prefix='xdg'") != std::string_view::npos) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const fs::path base =
        config && *config ? fs::path(config) : fs::path(home ? home : "") / ".config";
    return base / path;
  }
  if (target.starts_with("~/")) {
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "") / target.substr(2);
  }
  return path.is_absolute() ? path : from.parent_path() / path;
}

std::string check(const fs::path& path, int depth, std::size_t& files) {
  if (++files > kMaxFiles) {
    return "the font configuration includes more than " + std::to_string(kMaxFiles) + " files";
  }
  if (depth > kMaxDepth) {
    return "the font configuration " + shown(path) + " nests includes more than " +
           std::to_string(kMaxDepth) + " deep";
  }
  std::string text;
  if (std::string problem = readConfig(path, text); !problem.empty()) return problem;
  const std::string kept = withoutComments(text);
  std::string_view rest(kept);
  for (std::size_t at = rest.find("<include"); at != std::string_view::npos;
       at = rest.find("<include")) {
    rest.remove_prefix(at + 8);
    const std::size_t tagEnd = rest.find('>');
    if (tagEnd == std::string_view::npos) break;
    const std::string_view attributes = rest.substr(0, tagEnd);
    rest.remove_prefix(tagEnd + 1);
    if (attributes.ends_with('/')) continue;  // <include/>: nothing to include
    const std::size_t close = rest.find("</include>");
    if (close == std::string_view::npos) break;
    std::string target = decodeEntities(rest.substr(0, close));
    rest.remove_prefix(close);
    while (!target.empty() && std::isspace(static_cast<unsigned char>(target.back())))
      target.pop_back();
    while (!target.empty() && std::isspace(static_cast<unsigned char>(target.front())))
      target.erase(0, 1);
    if (target.empty()) continue;
    const fs::path included = resolveInclude(attributes, target, path);
    std::error_code error;
    const fs::file_status status = fs::status(included, error);
    if (error || status.type() == fs::file_type::not_found) continue;
    if (status.type() == fs::file_type::directory) {
      // fontconfig reads the files in it whose names end in .conf.
      for (fs::directory_iterator it(included, error), end; !error && it != end;
           it.increment(error)) {
        if (it->path().extension() != ".conf") continue;
        if (std::string problem = check(it->path(), depth + 1, files); !problem.empty()) {
          return problem;
        }
      }
      continue;
    }
    if (std::string problem = check(included, depth + 1, files); !problem.empty()) {
      return "the font configuration " + shown(path) + " includes what cannot be read: " + problem;
    }
  }
  return {};
}

}  // namespace

std::string checkFontConfigFile(const fs::path& path) {
  std::size_t files = 0;
  return check(path, 0, files);
}

}  // namespace dunvel
