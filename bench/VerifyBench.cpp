// What verify costs a host app's CI: a folder of 100 snapshots verified against their references
// in one `dunvel-preview verify --jobs 1` run, per image, beside the floor it replaces: one
// `dunvel-preview png` process per image (almost all of it setting up the fonts).
//
//   dunvel-bench-verify [--out FILE] [--preview PATH] [--runs N]
//
// Each is timed on the wall clock, as CI waits for it; the fastest of N runs (default 5) counts,
// the machine being shared.
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "support/Figures.h"
#include "support/TempFolder.h"

namespace {

using namespace dunvel::bench;
namespace fs = std::filesystem;

constexpr int kSnapshots = 100;

int fail(const std::string& what) {
  std::cerr << "dunvel-bench-verify: " << what << '\n';
  return 1;
}

// Runs a program with its output discarded; its wall time in seconds, or a negative number when
// it did not exit with `expected`.
double timed(const std::vector<std::string>& argv, int expected = 0) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != expected)
    return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A host app's snapshots: every screen, each with texts of its own, so no two images are alike.
void writeSnapshots(const fs::path& folder) {
  const char* screens[] = {"idle", "question", "answer", "board", "tournament"};
  for (int i = 0; i < kSnapshots; ++i) {
    const std::string n = std::to_string(i);
    std::ofstream file(folder / ("snapshot-" + n + ".json"));
    file
        << R"({"screen": ")" << screens[i % 5] << R"(", "gameName": "ليلة الأسئلة )" << n
        << R"(", "teams": [{"id": "t1", "name": "الصقور )" << n << R"(", "points": )" << 40 + i
        << R"(}, {"id": "t2", "name": "النمور", "points": 35},)"
        << R"( {"id": "t3", "name": "Team )" << n << R"(", "points": 20}],)"
        << R"( "turnTeamId": "t2", "questionPoints": 10, "questionMode": "سؤال سرعة",)"
        << R"( "questionOpenedAt": 1735724400.0, "tournament": {"name": "كأس الحي", )"
        << R"("roundLabel": "نصف النهائي", "teamA": "الصقور", "teamB": "النمور", "status": "جارية"}})"
        << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string out = "verify.json";
  std::string preview = DUNVEL_PREVIEW_PATH;
  int runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--out") {
      out = argv[i + 1];
    } else if (option == "--preview") {
      preview = argv[i + 1];
    } else if (option == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else {
      return fail("unknown option " + option);
    }
  }
  const TempFolder folder;
  const fs::path snaps = folder.path() / "snapshots";
  const fs::path refs = folder.path() / "references";
  fs::create_directories(snaps);
  writeSnapshots(snaps);
  const std::vector<std::string> verify = {preview,
                                           "verify",
                                           snaps.string(),
                                           "--references",
                                           refs.string(),
                                           "--out",
                                           (folder.path() / "out").string(),
                                           "--jobs",
                                           "1"};
  std::vector<std::string> record = verify;
  record.push_back("--record");
  if (timed(record) < 0) return fail("verify --record failed");

  double png = std::numeric_limits<double>::infinity();
  double perImage = std::numeric_limits<double>::infinity();
  for (int run = 0; run < runs; ++run) {
    const std::string snapshot =
        (snaps / ("snapshot-" + std::to_string(run % 5) + ".json")).string();
    const double one =
        timed({preview, "png", snapshot, "-o", (folder.path() / "one.png").string()});
    if (one < 0) return fail("dunvel-preview png failed");
    png = std::min(png, one);
    const double all = timed(verify);
    if (all < 0) return fail("verify did not find every image equal to its reference");
    perImage = std::min(perImage, all / kSnapshots);
  }
  Figures figures;
  figures.add("verify/per_image_ms", perImage * 1000, "ms");
  figures.add("verify/png_process_ms", png * 1000, "ms");
  if (!figures.write(out)) return fail("cannot write " + out);
  return 0;
}
