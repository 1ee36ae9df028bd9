// Runs the real dunvel-preview executable on snapshot files and checks exit codes, stderr and the
// decoded JSON, including every decoding edge case a host app can push.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace dunvel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const std::string kTeam = "\xD9\x81\xD8\xB1\xD9\x8A\xD9\x82";  // فريق
const std::string kUnknown = "\xD8\x9F";                       // ؟

struct ToolRun {
  int exitCode;
  std::string out;
  std::string err;
};

class PreviewState : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dunvel-preview-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path write(const std::string& name, const std::string& content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  static std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Runs dunvel-preview with the given argument string (already shell-quoted).
  ToolRun run(const std::string& arguments, const std::string& input = "") {
    const fs::path in = write("stdin", input);
    const fs::path out = dir_ / "stdout";
    const fs::path err = dir_ / "stderr";
    const std::string command = std::string("'") + DUNVEL_PREVIEW + "' " + arguments + " <'" +
                                in.string() + "' >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {code, slurp(out), slurp(err)};
  }

  // Decodes a snapshot through the executable; fails the test unless it exits 0.
  Json decode(const std::string& snapshot) {
    const fs::path file = write("snapshot.json", snapshot);
    const ToolRun r = run("state '" + file.string() + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return Json::parse(r.out);
  }

  fs::path dir_;
};

TEST_F(PreviewState, PrintsEveryFieldInDeclarationOrder) {
  const Json empty = decode("{}");
  const Json expected = Json::parse(R"({"screen": "idle", "gameName": "", "teams": [],
      "turnTeamId": null, "questionPoints": 0, "questionMode": "", "questionOpenedAt": 0.0,
      "tournament": null})");
  EXPECT_EQ(empty, expected);
  std::vector<std::string> keys;
  for (const auto& [key, value] : empty.items()) keys.push_back(key);
  EXPECT_EQ(keys,
            (std::vector<std::string>{"screen", "gameName", "teams", "turnTeamId", "questionPoints",
                                      "questionMode", "questionOpenedAt", "tournament"}));

  // Texts come out byte for byte, decomposed forms included.
  const Json full = decode(R"({"screen": "answer", "gameName": "Cafe\u0301",
      "teams": [{"id": "t1", "name": "الصقور", "points": 7}], "turnTeamId": "t1",
      "questionPoints": 20, "questionMode": "سرعة", "questionOpenedAt": 1700000000.5,
      "tournament": {"name": "كأس", "roundLabel": "النهائي", "teamA": "أ", "teamB": "ب",
                     "status": "جارية"}})");
  EXPECT_EQ(full["gameName"], "Cafe\xCC\x81");
  EXPECT_EQ(full["teams"], Json::parse(R"([{"id": "t1", "name": "الصقور", "points": 7}])"));
  EXPECT_EQ(full["turnTeamId"], "t1");
  EXPECT_EQ(full["questionOpenedAt"], 1700000000.5);
  EXPECT_EQ(full["tournament"]["roundLabel"], "النهائي");
}

TEST_F(PreviewState, DecodesTheEdgeCasesAsTheHostAppExpects) {
  EXPECT_EQ(decode(R"({"screen": ""})")["screen"], "");
  EXPECT_EQ(decode(R"({"screen": 3})")["screen"], "idle");
  EXPECT_EQ(decode(R"({"questionPoints": 5})")["questionPoints"], 5);
  EXPECT_EQ(decode(R"({"questionPoints": 5.0})")["questionPoints"], 5);
  EXPECT_EQ(decode(R"({"questionPoints": 5.5})")["questionPoints"], 0);
  EXPECT_EQ(decode(R"({"questionPoints": "5"})")["questionPoints"], 0);
  EXPECT_EQ(decode(R"({"questionPoints": 9223372036854775808})")["questionPoints"], 0);
  EXPECT_EQ(decode(R"({"questionPoints": 1e19})")["questionPoints"], 0);
  EXPECT_EQ(decode(R"({"questionPoints": true})")["questionPoints"], 0);
  const Json opened = decode(R"({"questionOpenedAt": 90})")["questionOpenedAt"];
  EXPECT_TRUE(opened.is_number_float());
  EXPECT_EQ(opened, 90.0);
  EXPECT_EQ(decode(R"({"questionOpenedAt": "90"})")["questionOpenedAt"], 0.0);
  EXPECT_TRUE(decode(R"({"turnTeamId": 2})")["turnTeamId"].is_null());

  const Json teams = decode(R"({"teams": [{"id": "a"}, {"name": "B"}, {"id": 7, "name": "C"}]})");
  EXPECT_EQ(teams["teams"], (Json::array({Json{{"id", "a"}, {"name", kTeam}, {"points", 0}}})));
  EXPECT_EQ(decode(R"({"teams": [{"id": "a", "name": "A", "points": 1}, "b"]})")["teams"],
            Json::array());
  EXPECT_EQ(decode(R"({"teams": {"id": "a"}})")["teams"], Json::array());

  EXPECT_EQ(decode(R"({"tournament": {}})")["tournament"], (Json{{"name", ""},
                                                                 {"roundLabel", ""},
                                                                 {"teamA", kUnknown},
                                                                 {"teamB", kUnknown},
                                                                 {"status", ""}}));
  EXPECT_TRUE(decode(R"({"tournament": "كأس"})")["tournament"].is_null());
  EXPECT_TRUE(decode(R"({"tournament": [{}]})")["tournament"].is_null());
}

TEST_F(PreviewState, BadInputExitsOneWithOneLineNamingTheFileAndProblem) {
  struct Case {
    std::string content;
    std::string expectedError;  // after "dunvel-preview: FILE: "
  };
  const std::vector<Case> cases = {
      {R"({"teams": [{"id": "a"}, null]})", "/teams/1: null is not allowed"},
      {"[1, 2]", "the top level is not a JSON object"},
      {"{\n  \"screen\": \"idle\",\n  oops\n}", "line 3, column 3: "},
      {"", "line 1, column 1: "},
      {std::string(100000, '['), "the top level is not a JSON object"},
      {"{\"a\":" + std::string(100000, '['), "nesting deeper than 64 levels"},
      {R"({"questionPoints": 99999999999999999999})", "beyond the 64-bit range"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const fs::path file = write("bad" + std::to_string(i) + ".json", cases[i].content);
    const ToolRun r = run("state '" + file.string() + "'");
    EXPECT_EQ(r.exitCode, 1) << i;
    EXPECT_EQ(r.out, "") << i;
    const std::string prefix = "dunvel-preview: " + file.string() + ": ";
    EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
    EXPECT_NE(r.err.find(cases[i].expectedError), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }

  const ToolRun missing = run("state '" + (dir_ / "missing.json").string() + "'");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("missing.json: cannot open"), std::string::npos) << missing.err;

  const ToolRun directory = run("state '" + dir_.string() + "'");
  EXPECT_EQ(directory.exitCode, 1);
  EXPECT_NE(directory.err.find("is a directory"), std::string::npos) << directory.err;

  const ToolRun fromStdin = run("state -", "{\"screen\": nul}");
  EXPECT_EQ(fromStdin.exitCode, 1);
  EXPECT_EQ(fromStdin.err.rfind("dunvel-preview: standard input: line 1, column 15: ", 0), 0u)
      << fromStdin.err;
}

TEST_F(PreviewState, StandardInputUsageAndHelp) {
  const ToolRun fromStdin = run("state -", R"({"screen": "board", "gameName": "ليلة"})");
  EXPECT_EQ(fromStdin.exitCode, 0) << fromStdin.err;
  const Json decoded = Json::parse(fromStdin.out);
  EXPECT_EQ(decoded["screen"], "board");
  EXPECT_EQ(decoded["gameName"], "ليلة");

  for (const char* bad : {"", "state", "bogus", "state a b", "--nope state -"}) {
    const ToolRun r = run(bad);
    EXPECT_EQ(r.exitCode, 2) << bad;
    EXPECT_EQ(r.out, "") << bad;
    EXPECT_NE(r.err, "") << bad;
  }

  const ToolRun help = run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("state"), std::string::npos);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
  const ToolRun stateHelp = run("state --help");
  EXPECT_EQ(stateHelp.exitCode, 0);
  EXPECT_NE(stateHelp.out.find("standard input"), std::string::npos);
}

}  // namespace
}  // namespace dunvel
