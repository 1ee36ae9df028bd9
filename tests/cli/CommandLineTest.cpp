#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out;
};

// Runs a built tool with standard error kept apart (it must stay empty here).
ToolRun run(const std::string& tool, const std::string& arguments) {
  ToolRun result;
  const std::string command = "'" + tool + "' " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The three command lines share --version and the help footer, whatever their subcommands.
TEST(CommandLines, ShareVersionAndHelpFooter) {
  const std::pair<const char*, const char*> tools[] = {{"dunvel-watch", DUNVEL_WATCH},
                                                       {"dunvel-host", DUNVEL_HOST},
                                                       {"dunvel-preview", DUNVEL_PREVIEW}};
  for (const auto& [name, path] : tools) {
    SCOPED_TRACE(name);
    const ToolRun version = run(path, "--version");
    EXPECT_EQ(version.exitCode, 0);
    const std::string expected = std::string(name) + " " + DUNVEL_PROJECT_VERSION;
    EXPECT_EQ(version.out.substr(0, expected.size()), expected) << version.out;
    ASSERT_FALSE(version.out.empty());
    EXPECT_EQ(version.out.find('\n'), version.out.size() - 1) << "one line: " << version.out;

    const ToolRun help = run(path, "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    EXPECT_NE(help.out.find("Exit status: 0 success; 1 bad input; 2 bad usage."),
              std::string::npos);
    EXPECT_NE(help.out.find("$DUNVEL_DATA_DIR"), std::string::npos);

    EXPECT_EQ(run(path, "--no-such-option").exitCode, 2);
  }
}

}  // namespace
