// The command lines of the tools, run in process with string streams: dunvel-preview and
// dunvel-host end to end, dunvel-watch's parser (running the companion itself would listen until
// signalled). Whatever the arguments, nothing may crash, the exit status and the streams must
// follow the tools' conventions, and nothing may be written but the output streams and the output
// files the arguments name.
//
// Input: byte 0 picks the tool (its value modulo 3: preview, host, watch). The rest holds the
// arguments, each ended by a NUL byte; two NULs in a row end them, and what follows is standard
// input.
//
// Safety: each run has a private temporary folder as its working folder (the fuzzer's own is
// restored after it, so corpus paths keep their meaning); the folder holds a few snapshot files
// and is also XDG_RUNTIME_DIR, so the default link points at a socket that does not exist.
// Arguments with a '/' or ".." are skipped (a path could name anything on this machine: another
// companion's socket, a FIFO, a device, the folder above), and so is `dunvel-host demo`, which
// plays until it is signalled.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostCommandLine.h"
#include "preview/PreviewCommand.h"
#include "watch/WatchCommandLine.h"

namespace {

namespace fs = std::filesystem;

void require(bool condition) {
  if (!condition) std::abort();
}

fs::path& folder() {
  static fs::path path;
  return path;
}

std::set<std::string> folderEntries() {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder())) {
    names.insert(entry.path().lexically_relative(folder()).string());
  }
  return names;
}

std::set<std::string>& seededEntries() {
  static std::set<std::string> names;
  return names;
}

void writeFile(const std::string& name, std::string_view content) {
  std::ofstream(folder() / name, std::ios::binary) << content;
}

void removeFolder() {
  std::error_code ignored;
  fs::remove_all(folder(), ignored);
}

bool endsWithNewline(const std::string& text) {
  return !text.empty() && text.back() == '\n';
}

bool isOneLine(const std::string& text) {
  return endsWithNewline(text) && text.find('\n') == text.size() - 1;
}

void runPreview(const std::vector<const char*>& argv, std::istream& in) {
  std::ostringstream out;
  std::ostringstream err;
  dunvel::PreviewIo io{in, out, err};
  std::string command;
  const int status =
      dunvel::runDunvelPreview(io, static_cast<int>(argv.size()), argv.data(), &command);
  require(status == 0 || status == 1 || status == 2);
  // replay and film go on past lines they skip, with a warning each, and print what they did
  // before an error; png prints nothing but its help.
  const bool reportsAsItGoes = command == "replay" || command == "film";
  if (status == 0) {
    require(reportsAsItGoes || err.str().empty());
    require(endsWithNewline(out.str()) || (command == "png" && out.str().empty()));
  } else if (status == 1 && reportsAsItGoes) {
    require(endsWithNewline(err.str()));
  } else {
    // One line on standard error naming what is wrong, nothing on standard output.
    require(isOneLine(err.str()));
    require(out.str().empty());
  }
}

// What the arguments may name as an output: an argument itself, or the value of --output=NAME or
// -oNAME; "." names the whole folder.
bool namedAsOutput(const std::vector<std::string>& arguments, const std::string& name) {
  for (const std::string& argument : arguments) {
    for (const std::string& named : {name, std::string(".")}) {
      if (argument == named || argument == "--output=" + named || argument == "-o" + named)
        return true;
    }
  }
  return false;
}

// Whatever a run added to the folder must be inside an output its arguments named; it is removed
// again, so the next run starts from the same folder.
void checkAndRemoveOutputs(const std::vector<std::string>& arguments) {
  std::set<std::string> added;
  for (const std::string& entry : folderEntries()) {
    if (seededEntries().count(entry) == 0) added.insert(fs::path(entry).begin()->string());
  }
  for (const std::string& name : added) {
    require(namedAsOutput(arguments, name));
    std::error_code ignored;
    fs::remove_all(folder() / name, ignored);
  }
}

void runHost(const std::vector<const char*>& argv, std::istream& in) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = dunvel::hostMain(static_cast<int>(argv.size()), argv.data(), in, out, err);
  require(status == 0 || status == 1 || status == 2);
  // No companion listens here, so success can only be --help or --version.
  if (status == 0) {
    require(err.str().empty());
    require(endsWithNewline(out.str()));
  } else if (status == 2) {
    require(isOneLine(err.str()));
  } else {
    require(endsWithNewline(err.str()));
  }
}

void runWatchParser(const std::vector<const char*>& argv) {
  std::ostringstream out;
  std::ostringstream err;
  int status = -1;
  const std::optional<dunvel::WatchOptions> options =
      dunvel::parseWatchCommandLine(static_cast<int>(argv.size()), argv.data(), out, err, status);
  if (options) {
    require(status == 0);
    // A command line that works may still be unwise (a token on it, a token file others can
    // read): one warning line at most.
    require(out.str().empty());
    require(err.str().empty() ||
            (isOneLine(err.str()) && err.str().starts_with("dunvel-watch: warning: ")));
  } else if (status == 0) {
    require(endsWithNewline(out.str()) && err.str().empty());
  } else {
    // 1: a token file that cannot be read or holds no token; 2: bad usage.
    require(status == 1 || status == 2);
    require(isOneLine(err.str()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (fs::temp_directory_path() / "dunvel-fuzz-command-line-XXXXXX").string();
  require(mkdtemp(pattern.data()) != nullptr);
  folder() = pattern;
  require(setenv("XDG_RUNTIME_DIR", folder().c_str(), 1) == 0);
  std::atexit(removeFolder);

  writeFile("question.json",
            R"({"screen":"question","questionPoints":20,"questionMode":"سؤال سرعة",)"
            R"("questionOpenedAt":1765136700.25})");
  writeFile("answer.json",
            R"({"screen":"answer","teams":[{"id":"t1","name":"الصقور","points":30},)"
            R"({"id":"t2","name":"النمور","points":-5}],"questionOpenedAt":1765136700})");
  writeFile("board.json", R"({"screen":"board","gameName":"ليلة","turnTeamId":"t1",)"
                          R"("teams":[{"id":"t1","name":"الصقور","points":30}]})");
  writeFile("tournament.json",
            R"({"screen":"tournament","tournament":{"name":"كأس","roundLabel":"النهائي",)"
            R"("teamA":"أ","teamB":"ب","status":"جارية"}})");
  writeFile("broken.json", R"({"screen":"idle",)");
  writeFile("night.jsonl",
            R"({"t":0,"wall":"2025-06-01T20:00:00Z","event":"start","recorder":"fuzz"})"
            "\n"
            R"({"t":5,"wall":"","event":"connect"})"
            "\n"
            R"({"t":9,"wall":"","event":"frame","frame":{"type":"context","payload":)"
            R"({"screen":"question","questionOpenedAt":1748808000}}})"
            "\n"
            R"({"t":12,"wall":"","event":"screen","screen":"question","shows":"question: 0:00"})"
            "\n");
  writeFile("null.json", R"({"teams":[{"id":null}]})");
  fs::create_directory(folder() / "folder");
  seededEntries() = folderEntries();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int tool = data[0] % 3;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::string standardInput;
  if (const std::size_t end = rest.find(std::string_view("\0\0", 2)); end != rest.npos) {
    standardInput = rest.substr(end + 2);
    rest = rest.substr(0, end + 1);
  }
  static const char* const kNames[] = {"dunvel-preview", "dunvel-host", "dunvel-watch"};
  std::vector<std::string> arguments{kNames[tool]};
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\0'), rest.size());
    arguments.emplace_back(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (arguments.size() > 32) return 0;
  }
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i].find('/') != std::string::npos) return 0;
    if (arguments[i].find("..") != std::string::npos) return 0;
    if (tool == 1 && arguments[i] == "demo") return 0;
  }

  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::istringstream in(standardInput);
  const int fuzzerFolder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  require(fuzzerFolder >= 0 && chdir(folder().c_str()) == 0);
  switch (tool) {
    case 0:
      runPreview(argv, in);
      break;
    case 1:
      runHost(argv, in);
      break;
    default:
      runWatchParser(argv);
      break;
  }
  checkAndRemoveOutputs(arguments);
  require(folderEntries() == seededEntries());
  require(fchdir(fuzzerFolder) == 0);
  close(fuzzerFolder);
  return 0;
}
