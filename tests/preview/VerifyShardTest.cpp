#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/link/LinkTestSupport.h"
#include "preview/PreviewCommand.h"
#include "preview/ProgressLine.h"
#include "preview/VerifyShard.h"
#include "render/DrawingStack.h"
#include "support/PreviewRun.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

std::string readText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Every occurrence of `from` in text replaced by `to`: two runs' outputs compared apart from
// the folder each wrote to.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// The five examples and a recording of three frames, recorded on two cases; then one example
// changed, one added and one reference gone, so a run has images equal, differing and missing.
struct ShardedFolder {
  TempFolder folder;
  fs::path snaps = folder.path() / "snaps";
  fs::path refs = folder.path() / "refs";

  ShardedFolder() {
    fs::create_directories(snaps);
    for (const char* name : {"idle", "question", "answer", "board", "tournament"}) {
      fs::copy_file(fs::path(DUNVEL_SOURCE_DIR) / "examples" / (std::string(name) + ".json"),
                    snaps / (std::string(name) + ".json"));
    }
    const std::string frame = R"(,"wall":"","event":"frame","frame":{"type":"context","payload":)";
    writeFile(snaps / "night.jsonl",
              R"({"t":0,"wall":"2025-06-01T20:00:00Z","event":"start","recorder":"test"})"
              "\n"
              R"({"t":10)" +
                  frame + R"({"screen":"idle"}}})" + "\n" + R"({"t":900)" + frame +
                  R"({"screen":"tournament"}}})" + "\n" + R"({"t":1800)" + frame +
                  R"({"screen":"board","teams":[{"id":"a","name":"الصقور","points":1}]}}})" + "\n");
    EXPECT_EQ(runPreview({"verify", snaps.string(), "--references", refs.string(), "--record",
                          "--size", "41mm", "--size", "49mm-3"})
                  .exitCode,
              0);
    writeFile(snaps / "board.json", R"({"screen": "board", "gameTitle": "x", "teams": []})");
    writeFile(snaps / "added.json", R"({"screen": "question", "questionPoints": 5})");
    fs::remove(refs / "answer@49mm-3-xLarge.png");
  }

  ToolRun verify(const fs::path& out, const std::vector<std::string>& more = {}) const {
    std::vector<std::string> arguments = {"verify", snaps.string(), "--references", refs.string(),
                                          "--out",  out.string(),   "--size",       "41mm",
                                          "--size", "49mm-3",       "--jobs",       "2"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return runPreview(arguments);
  }
};

// Split into 1, 3 and 7 shares, each image is checked by one share exactly, and the shares'
// merge says, writes and exits what one run over them all does.
TEST(VerifyShard, SharesCoverEveryImageOnceAndTheirMergeIsOneRun) {
  const ShardedFolder f;
  const fs::path one = f.folder.path() / "one";
  const ToolRun whole = f.verify(one);
  ASSERT_EQ(whole.exitCode, 1) << whole.err;
  // 6 snapshots and 3 frames on two cases.
  ASSERT_NE(whole.out.find("verify: 18 images, 13 equal, 2 differ, 3 missing"), std::string::npos)
      << whole.out;

  for (const std::size_t n : {1u, 3u, 7u}) {
    SCOPED_TRACE(n);
    std::vector<std::string> folders = {"--merge"};
    std::multiset<std::size_t> numbers;
    std::multiset<std::string> names;
    std::size_t sharesWithTheRecording = 0;
    for (std::size_t k = 1; k <= n; ++k) {
      const fs::path out =
          f.folder.path() / ("share-" + std::to_string(n) + "-" + std::to_string(k));
      const ToolRun share = f.verify(out, {"--shard", std::to_string(k) + "/" + std::to_string(n)});
      ASSERT_LE(share.exitCode, 1) << share.err;
      std::string problem;
      const std::optional<ShardRecord> record = readShardRecord(out, problem);
      ASSERT_TRUE(record) << problem;
      EXPECT_EQ(record->images, 18u);
      bool holdsTheRecording = false;
      for (std::size_t i = 0; i < record->numbers.size(); ++i) {
        numbers.insert(record->numbers[i]);
        names.insert(record->outcomes[i].imageName());
        holdsTheRecording |= record->outcomes[i].subject.starts_with("night-frame-");
      }
      sharesWithTheRecording += holdsTheRecording ? 1 : 0;
      folders.push_back(out.string());
    }
    // Disjoint and covering: every number and every image once.
    ASSERT_EQ(numbers.size(), 18u);
    for (std::size_t number = 0; number < 18; ++number) EXPECT_EQ(numbers.count(number), 1u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 18u);
    // Split by image, not by file: the recording's six images land on more than one share.
    EXPECT_EQ(sharesWithTheRecording, std::min<std::size_t>(n, 6)) << n;

    const fs::path merged = f.folder.path() / ("merged-" + std::to_string(n));
    folders.insert(folders.end(), {"--out", merged.string()});
    std::vector<std::string> arguments = {"verify"};
    arguments.insert(arguments.end(), folders.begin(), folders.end());
    const ToolRun join = runPreview(arguments);
    EXPECT_EQ(join.exitCode, whole.exitCode) << join.err;
    EXPECT_EQ(replaced(join.out, merged.string(), one.string()), whole.out);
    EXPECT_EQ(readText(merged / "report.html"), readText(one / "report.html"));
    EXPECT_EQ(readText(merged / "junit.xml"), readText(one / "junit.xml"));
    // And the images the report shows are beside it, as one run's are.
    for (const auto& entry : fs::recursive_directory_iterator(one)) {
      if (entry.path().extension() != ".png") continue;
      const fs::path relative = fs::relative(entry.path(), one);
      EXPECT_EQ(readText(merged / relative), readText(entry.path())) << relative;
    }
  }
}

TEST(VerifyShard, AShareIsKOfNAndAnythingElseIsBadUsage) {
  std::string problem;
  for (const char* good : {"1/1", "3/7", "7/7", "10000/10000"}) {
    EXPECT_TRUE(parseVerifyShard(good, problem)) << good;
  }
  const auto share = parseVerifyShard("3/7", problem);
  ASSERT_TRUE(share);
  EXPECT_TRUE(share->holds(2));
  EXPECT_TRUE(share->holds(9));
  EXPECT_FALSE(share->holds(3));
  for (const char* bad : {"0/4", "5/4", "4", "a/b", "1/0", "-1/2", "1/10001", "1/2/3", "", "/"}) {
    EXPECT_FALSE(parseVerifyShard(bad, problem)) << bad;
    EXPECT_EQ(problem.find('\n'), std::string::npos);
  }
  const ToolRun run = runPreview({"verify", DUNVEL_SOURCE_DIR "/examples/idle.json", "--references",
                                  "refs", "--shard", "5/4"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err,
            "dunvel-preview: verify: --shard: 5/4 is not K/N, the K-th of N shares (1 ≤ K ≤ N ≤ "
            "10000)\n");
  EXPECT_EQ(runPreview({"verify", "--merge", "a", "--shard", "1/2"}).exitCode, 2);
  EXPECT_EQ(runPreview({"verify", "--references", "refs"}).exitCode, 2);
}

// The shares' folders may come from other machines' artifacts: a merge takes only the N shares
// of one run, each once, and copies no file a record names outside its share's own images.
TEST(VerifyShard, AMergeRefusesWhatIsNotTheSharesOfOneRunNamingTheFolder) {
  const ShardedFolder f;
  std::vector<fs::path> shares;
  for (int k = 1; k <= 3; ++k) {
    shares.push_back(f.folder.path() / ("s" + std::to_string(k)));
    f.verify(shares.back(), {"--shard", std::to_string(k) + "/3"});
  }
  const std::string out = (f.folder.path() / "merged").string();
  struct Refusal {
    std::vector<std::string> folders;
    std::string says;
  };
  const fs::path empty = f.folder.path() / "empty";
  fs::create_directories(empty);
  const std::vector<Refusal> refusals = {
      {{shares[0].string(), shares[2].string()}, "share 2/3 is missing"},
      {{shares[0].string(), shares[1].string(), shares[1].string(), shares[2].string()},
       "share 2/3 is given twice"},
      {{empty.string()}, (empty / "shard.json").string() + ": cannot open"},
  };
  for (const Refusal& refusal : refusals) {
    std::vector<std::string> arguments = {"verify", "--merge"};
    arguments.insert(arguments.end(), refusal.folders.begin(), refusal.folders.end());
    arguments.insert(arguments.end(), {"--out", out});
    const ToolRun run = runPreview(arguments);
    EXPECT_EQ(run.exitCode, 1) << refusal.says;
    EXPECT_NE(run.err.find(refusal.says), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }

  // A record edited to name a file outside its folder, or not JSON at all.
  const fs::path record = shares[1] / "shard.json";
  const std::string text = readText(record);
  const std::string subject = "\"subject\": \"";
  ASSERT_NE(text.find(subject), std::string::npos);
  for (const std::string& bad :
       {replaced(text, subject, subject + "../../"), std::string("{\"shard\": 2,"),
        replaced(text, "\"of\": 3", "\"of\": \"3\"")}) {
    writeFile(record, bad);
    const ToolRun run = runPreview({"verify", "--merge", shares[0].string(), shares[1].string(),
                                    shares[2].string(), "--out", out});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(record.string() + ": not a record of a verify share"), std::string::npos)
        << run.err;
  }
}

TEST(VerifyShard, TheProgressLineShowsImagesDoneOfAllAndTheTimeLeftOnlyOnATerminal) {
  using std::chrono::duration;
  struct Line {
    std::size_t done;
    std::optional<std::size_t> total;
    std::optional<double> part;
    double seconds;
    const char* text;
  };
  const Line kLines[] = {
      {12, 64, std::nullopt, 12.0, "verify: 12 of 64 images, about 52 s left"},
      {1, 64, std::nullopt, 3.0, "verify: 1 of 64 images, about 3 min left"},
      {64, 64, std::nullopt, 30.0, "verify: 64 of 64 images"},
      {0, 64, std::nullopt, 0.0, "verify: 0 of 64 images"},
      {10, std::nullopt, 0.25, 10.0, "verify: 10 images, 25 % read, about 30 s left"},
      {10, std::nullopt, std::nullopt, 10.0, "verify: 10 images"},
      {1, std::nullopt, 1.5, 2.0, "verify: 1 image, 100 % read"},
  };
  for (const Line& line : kLines) {
    EXPECT_EQ(ProgressLine::text("verify", "images", line.done, line.total, line.part,
                                 duration<double>(line.seconds)),
              line.text);
  }

  const ShardedFolder f;
  for (const bool terminal : {false, true}) {
    std::istringstream in;
    std::ostringstream out, err;
    PreviewIo io{in, out, err};
    io.errIsTerminal = terminal;
    const std::string snaps = f.snaps.string();
    const std::string refs = f.refs.string();
    const std::string folder = (f.folder.path() / "out").string();
    const char* argv[] = {"dunvel-preview", "verify", snaps.c_str(), "--references",
                          refs.c_str(),     "--out",  folder.c_str()};
    runDunvelPreview(io, 7, argv);
    const std::string said = err.str();
    if (!terminal) {
      EXPECT_EQ(said.find('\r'), std::string::npos) << said;
      continue;
    }
    // The first image and the last are drawn, and the line is wiped before the summary.
    EXPECT_NE(said.find("\rverify: 1 of 9 images"), std::string::npos) << said;
    EXPECT_NE(said.find("\rverify: 9 of 9 images\x1b[K"), std::string::npos) << said;
    EXPECT_TRUE(said.ends_with("\r\x1b[K")) << said;
    EXPECT_EQ(out.str().find('\r'), std::string::npos);
  }

  // film counts the frames drawn, and tells the time left from the part of the recording read.
  for (const bool terminal : {false, true}) {
    std::istringstream in;
    std::ostringstream out, err;
    PreviewIo io{in, out, err};
    io.errIsTerminal = terminal;
    const std::string night = (f.snaps / "night.jsonl").string();
    const std::string folder = (f.folder.path() / "film").string();
    const char* argv[] = {"dunvel-preview", "film", night.c_str(), "-o", folder.c_str()};
    ASSERT_EQ(runDunvelPreview(io, 5, argv), 0) << err.str();
    const std::string said = err.str();
    if (!terminal) {
      EXPECT_EQ(said, "");
      continue;
    }
    EXPECT_NE(said.find("\rfilm: 1 frame"), std::string::npos) << said;
    EXPECT_NE(said.find("\rfilm: 3 frames, 100 % read\x1b[K"), std::string::npos) << said;
    EXPECT_TRUE(said.ends_with("\r\x1b[K")) << said;
  }
}

// References drawn by other library versions are said once, in the summary and the report,
// beside the counts; pixels decide equality as before.
TEST(VerifyShard, ReferencesDrawnWithOtherLibraryVersionsAreSaidOnce) {
  const ShardedFolder f;
  const fs::path out = f.folder.path() / "out";
  const ToolRun same = f.verify(out);
  EXPECT_EQ(same.out.find("drawn with"), std::string::npos) << same.out;
  EXPECT_EQ(readText(out / "report.html").find("drawn with"), std::string::npos);

  const std::string other = "cairo 9.0.0, pango 9.0.0, harfbuzz 9.0.0, freetype 9.0.0";
  for (const char* name : {"idle@41mm-large.png", "question@49mm-3-xLarge.png"}) {
    const fs::path path = f.refs / name;
    const std::string png = readText(path);
    ASSERT_EQ(pngText(png, kDrawingStackKeyword), drawingStack()) << name;
    // The same pixels, another stack named: this run's chunk (length, type, data, checksum)
    // taken out, another put in.
    std::string stripped = png;
    const std::size_t chunk = stripped.find("tEXt") - 4;
    stripped.erase(chunk,
                   12 + std::string(kDrawingStackKeyword).size() + 1 + drawingStack().size());
    ASSERT_EQ(pngText(stripped, kDrawingStackKeyword), std::nullopt);
    writeFile(path, withPngText(stripped, kDrawingStackKeyword, other));
  }
  const ToolRun told = f.verify(out);
  EXPECT_EQ(told.exitCode, same.exitCode);
  const std::string note = "2 references were drawn with " + other + " and this run with " +
                           drawingStack() + ": a difference may be the libraries', not the app's";
  EXPECT_NE(told.out.find("; " + note + "\n"), std::string::npos) << told.out;
  const std::string html = readText(out / "report.html");
  EXPECT_EQ(std::count(html.begin(), html.end(), '\''), 0);  // marked up, not raw
  EXPECT_NE(html.find("drawn with " + other), std::string::npos);
  std::size_t notes = 0;
  for (std::size_t at = 0; (at = html.find("drawn with", at)) != std::string::npos; ++at) ++notes;
  EXPECT_EQ(notes, 1u);
}

}  // namespace
}  // namespace dunvel
