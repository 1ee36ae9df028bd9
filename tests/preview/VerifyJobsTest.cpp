#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/link/LinkTestSupport.h"
#include "preview/PreviewCommand.h"
#include "support/PreviewRun.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;

// The real executable, in a process of its own: its fonts are loaded by the threads that draw,
// not warmed up by an earlier run. Its standard output; what a sanitizer says goes to the test's
// standard error, and fails the process.
ToolRun previewProcess(const std::string& arguments) {
  ToolRun result;
  FILE* pipe = popen(("'" + std::string(DUNVEL_PREVIEW) + "' " + arguments).c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Threads that each draw with their own renderers and fonts draw what one thread draws, and
// find the same differences. (Threads sharing one Pango font map crash, hang or draw wrong
// texts here, most runs.)
TEST(VerifyJobs, ImagesDrawnOnSeveralThreadsEqualThoseDrawnOnOne) {
  testing::TempFolder folder;
  const fs::path snaps = folder.path() / "snaps";
  fs::create_directories(snaps);
  // Eight answer screens, each with names of its own to shape.
  for (int i = 1; i <= 8; ++i) {
    const std::string n = std::to_string(i);
    std::ofstream(snaps / ("answer-" + n + ".json"))
        << R"({"screen": "answer", "teams": [{"id": "t1", "name": "الصقور )" << n
        << R"(", "points": 40}, {"id": "t2", "name": "Team )" << n
        << R"(", "points": 35}], "turnTeamId": "t2", "questionPoints": )" << n << "}";
  }
  const fs::path refs = folder.path() / "refs";
  const fs::path out = folder.path() / "out";
  ASSERT_EQ(runPreview({"verify", snaps.string(), "--references", refs.string(), "--size", "all",
                        "--record", "--jobs", "1"})
                .exitCode,
            0);
  const std::string verify = "verify '" + snaps.string() + "' --references '" + refs.string() +
                             "' --out '" + out.string() + "' --size all";
  for (const char* jobs : {"4", "8"}) {
    SCOPED_TRACE(jobs);
    const ToolRun parallel = previewProcess(verify + " --jobs " + jobs);
    EXPECT_EQ(parallel.exitCode, 0) << parallel.out;
    EXPECT_EQ(parallel.out, "verify: 64 images, 64 equal, 0 differ, 0 missing\n");
  }

  std::ofstream(snaps / "answer-3.json", std::ios::trunc) << R"({"screen": "idle"})";
  const ToolRun changed = previewProcess(verify + " --jobs 3");
  EXPECT_EQ(changed.exitCode, 1);
  EXPECT_NE(changed.out.find("verify: 64 images, 56 equal, 8 differ, 0 missing"), std::string::npos)
      << changed.out;
}

}  // namespace
}  // namespace dunvel
