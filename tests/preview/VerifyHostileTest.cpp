// verify on inputs, references and output folders that a pull request controls: what it
// writes stays inside --out and the references, it never waits on what it reads, and what it
// says is what happened.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "VerifyFiles.h"
#include "platform/link/LinkTestSupport.h"
#include "preview/ImageDifference.h"
#include "render/Owned.h"
#include "support/PreviewRun.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using verify_files::readAll;
using verify_files::replaceIn;
using verify_files::writeText;

fs::path example(const std::string& name) {
  return fs::path(DUNVEL_SOURCE_DIR) / "examples" / (name + ".json");
}

// Every file below folder with its size and a hash of its bytes, links as "-> TARGET", so a
// test can tell that nothing in it changed.
std::vector<std::string> contents(const fs::path& folder) {
  std::vector<std::string> seen;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    const fs::path relative = entry.path().lexically_relative(folder);
    if (entry.is_symlink()) {
      seen.push_back(relative.string() + " -> " + fs::read_symlink(entry.path()).string());
    } else if (entry.is_regular_file()) {
      const std::string bytes = readAll(entry.path());
      seen.push_back(relative.string() + ": " + std::to_string(bytes.size()) + " bytes, hash " +
                     std::to_string(std::hash<std::string>{}(bytes)));
    }
  }
  std::sort(seen.begin(), seen.end());
  return seen;
}

// Two snapshots, one in a subfolder, recorded as references and then changed, so that each
// image differs and verify writes its image, its diff and a copy of its reference.
struct ChangedSnapshots {
  TempFolder folder;
  fs::path snaps = folder.path() / "snaps";
  fs::path refs = folder.path() / "refs";
  fs::path out = folder.path() / "out";

  ChangedSnapshots() {
    fs::create_directories(snaps / "more");
    fs::copy_file(example("question"), snaps / "question.json");
    fs::copy_file(example("board"), snaps / "more/board.json");
    const ToolRun recorded =
        runPreview({"verify", snaps.string(), "--references", refs.string(), "--record"});
    EXPECT_EQ(recorded.exitCode, 0) << recorded.err;
    replaceIn(snaps / "question.json", "\"questionPoints\": 10", "\"questionPoints\": 20");
    replaceIn(snaps / "more/board.json", "\"points\": ", "\"points\": 1");
  }

  ToolRun verify(std::vector<std::string> more = {}) const {
    std::vector<std::string> args = {"verify",      snaps.string(), "--references",
                                     refs.string(), "--out",        out.string()};
    args.insert(args.end(), more.begin(), more.end());
    return runPreview(args);
  }
};

TEST(VerifyHostile, NothingIsWrittenThroughALinkInsideOut) {
  const ChangedSnapshots run;
  const fs::path victim = run.folder.path() / "victim";
  fs::create_directories(victim);
  writeText(victim / "precious", "not a picture\n");
  const std::vector<std::string> before = contents(victim);
  // What a pull request can commit in the output folder: links at the names of the copy and
  // of the image drawn, and a subfolder that leads out.
  fs::create_directories(run.out);
  fs::create_symlink(victim / "precious", run.out / "question@45mm-xLarge.reference.png");
  fs::create_symlink(victim / "precious", run.out / "question@45mm-xLarge.actual.png");
  fs::create_directory_symlink(victim, run.out / "more");
  // Bytes after the reference's end, which a copy of its bytes would carry along.
  std::ofstream(run.refs / "question@45mm-xLarge.png", std::ios::binary | std::ios::app)
      << "<script>alert(1)</script>";

  const ToolRun verified = run.verify();
  EXPECT_EQ(verified.exitCode, 1);
  EXPECT_EQ(readAll(victim / "precious"), "not a picture\n");
  EXPECT_EQ(contents(victim), before) << verified.out << verified.err;
  // The links at file names are replaced by the files; the linked folder is refused by name.
  for (const char* name :
       {"question@45mm-xLarge.reference.png", "question@45mm-xLarge.actual.png"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(fs::is_symlink(run.out / name));
    EXPECT_TRUE(fs::is_regular_file(run.out / name));
  }
  // The copy holds the reference's pixels, and nothing else its file held.
  std::string problem;
  const Owned<cairo_surface_t> copy =
      readPng((run.out / "question@45mm-xLarge.reference.png").string(), problem);
  const Owned<cairo_surface_t> reference =
      readPng((run.refs / "question@45mm-xLarge.png").string(), problem);
  ASSERT_TRUE(copy && reference) << problem;
  EXPECT_EQ(compareImages(reference.get(), copy.get(), 0, DiffImage::none).differingPixels, 0);
  EXPECT_EQ(readAll(run.out / "question@45mm-xLarge.reference.png").find("<script>"),
            std::string::npos);
  EXPECT_NE(verified.err.find((run.out / "more").string() + ": is a symbolic link"),
            std::string::npos)
      << verified.err;

  // Recording follows no link inside the references either.
  const fs::path refs = run.folder.path() / "refs2";
  fs::create_directories(refs);
  fs::create_directory_symlink(victim, refs / "more");
  const ToolRun recorded =
      runPreview({"verify", run.snaps.string(), "--references", refs.string(), "--record"});
  EXPECT_EQ(recorded.exitCode, 1);
  EXPECT_EQ(contents(victim), before) << recorded.out << recorded.err;
  EXPECT_TRUE(fs::is_regular_file(refs / "question@45mm-xLarge.png"));
}

// The real executable under a time limit, so that a run that would wait for ever fails the test
// instead of holding it: its status (124 when the limit ended it) and its output and errors.
ToolRun runLimited(const std::vector<std::string>& arguments) {
  std::string command = "timeout 20 '" + std::string(DUNVEL_PREVIEW) + "'";
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  ToolRun result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(VerifyHostile, AFifoIsNeverWaitedOnWhetherReferenceOrInput) {
  TempFolder folder;
  const fs::path refs = folder.path() / "refs";
  const fs::path out = folder.path() / "out";
  fs::create_directories(refs);
  const fs::path snapshot = folder.path() / "question.json";
  fs::copy_file(example("question"), snapshot);
  ASSERT_EQ(::mkfifo((refs / "question@45mm-xLarge.png").c_str(), 0644), 0);
  const ToolRun reference = runLimited(
      {"verify", snapshot.string(), "--references", refs.string(), "--out", out.string()});
  EXPECT_EQ(reference.exitCode, 1) << reference.out;
  EXPECT_NE(reference.out.find("question@45mm-xLarge: has a reference that cannot be read (" +
                               (refs / "question@45mm-xLarge.png").string() +
                               ": is a FIFO, not a regular file)"),
            std::string::npos)
      << reference.out;

  // Named directly, a FIFO is a snapshot or a recording that cannot be read.
  for (const char* name : {"fifo.json", "fifo.jsonl"}) {
    SCOPED_TRACE(name);
    const fs::path fifo = folder.path() / name;
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const ToolRun input =
        runLimited({"verify", fifo.string(), "--references", refs.string(), "--out", out.string()});
    EXPECT_EQ(input.exitCode, 1) << input.out;
    EXPECT_NE(input.out.find(fifo.string() + ": is a FIFO, not a regular file"), std::string::npos)
        << input.out;
  }
}

// A PNG of width x height pixels, all black, as Cairo writes it.
void writeBlackPng(const fs::path& path, int width, int height) {
  const Owned<cairo_surface_t> image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  ASSERT_EQ(cairo_surface_write_to_png(image.get(), path.c_str()), CAIRO_STATUS_SUCCESS);
}

TEST(VerifyHostile, AReferenceOfAnotherSizeIsADifferenceWithNoPixelDecoded) {
  TempFolder folder;
  const fs::path refs = folder.path() / "refs";
  const fs::path out = folder.path() / "out";
  fs::create_directories(refs);
  const fs::path snapshot = folder.path() / "question.json";
  fs::copy_file(example("question"), snapshot);
  // Small on disk, 64 MB once decoded: the size in its header is enough to judge it.
  writeBlackPng(refs / "question@45mm-xLarge.png", 4000, 4000);
  const ToolRun verified = runPreview(
      {"verify", snapshot.string(), "--references", refs.string(), "--out", out.string()});
  EXPECT_EQ(verified.exitCode, 1);
  EXPECT_NE(verified.out.find("question@45mm-xLarge: differs in size (the reference is 4000x4000 "
                              "pixels, the image 396x484)"),
            std::string::npos)
      << verified.out;
  EXPECT_NE(verified.out.find("verify: 1 image, 0 equal, 1 differ, 0 missing\n"), std::string::npos)
      << verified.out;
  // The image drawn is left for the report; no diff is drawn, and the reference is not copied.
  EXPECT_TRUE(fs::is_regular_file(out / "question@45mm-xLarge.actual.png"));
  EXPECT_FALSE(fs::exists(out / "question@45mm-xLarge.diff.png"));
  EXPECT_FALSE(fs::exists(out / "question@45mm-xLarge.reference.png"));
}

TEST(VerifyHostile, AReferenceThatCannotBeReadIsReportedSoWithItsReason) {
  TempFolder folder;
  const fs::path refs = folder.path() / "refs";
  const fs::path out = folder.path() / "out";
  fs::create_directories(refs / "folder@45mm-xLarge.png");
  const fs::path snaps = folder.path() / "snaps";
  fs::create_directories(snaps);
  for (const char* name : {"text", "cut", "folder", "dangling"}) {
    fs::copy_file(example("question"), snaps / (std::string(name) + ".json"));
  }
  writeText(refs / "text@45mm-xLarge.png", "not a picture");
  // A PNG whose header is right and whose pixels are cut short.
  writeBlackPng(refs / "cut@45mm-xLarge.png", 396, 484);
  fs::resize_file(refs / "cut@45mm-xLarge.png", 60);
  fs::create_symlink(folder.path() / "nowhere.png", refs / "dangling@45mm-xLarge.png");
  const ToolRun verified =
      runPreview({"verify", snaps.string(), "--references", refs.string(), "--out", out.string()});
  EXPECT_EQ(verified.exitCode, 1);
  const std::string prefix = ": has a reference that cannot be read (" + refs.string() + "/";
  const std::vector<std::string> lines = {
      "cut@45mm-xLarge" + prefix + "cut@45mm-xLarge.png: not a PNG Cairo can read (",
      "dangling@45mm-xLarge" + prefix +
          "dangling@45mm-xLarge.png: cannot open: No such file or directory)",
      "folder@45mm-xLarge" + prefix + "folder@45mm-xLarge.png: is a folder, not a regular file)",
      "text@45mm-xLarge" + prefix +
          "text@45mm-xLarge.png: not a PNG (its first bytes are not a PNG header))",
      "verify: 4 images, 0 equal, 0 differ, 0 missing, 4 unreadable\n",
  };
  for (const std::string& line : lines) {
    EXPECT_NE(verified.out.find(line), std::string::npos) << line << "\n" << verified.out;
  }
  // The image drawn is kept for the report, which names the reason too.
  EXPECT_TRUE(fs::is_regular_file(out / "text@45mm-xLarge.actual.png"));
  EXPECT_FALSE(fs::exists(out / "text@45mm-xLarge.diff.png"));
  EXPECT_NE(readAll(out / "junit.xml").find("type=\"unreadable\""), std::string::npos);
}

TEST(VerifyHostile, AnInputInAFolderThatCannotBeReadFailsTheRun) {
  TempFolder folder;
  const fs::path snaps = folder.path() / "snaps";
  const fs::path refs = folder.path() / "refs";
  fs::create_directories(snaps / "sub.json");
  fs::copy_file(example("question"), snaps / "question.json");
  fs::copy_file(example("idle"), snaps / "sub.json/idle.json");
  fs::create_symlink(folder.path() / "nowhere.json", snaps / "dangling.json");
  fs::create_symlink(snaps / "loop.jsonl", snaps / "loop.jsonl");
  ASSERT_EQ(::mkfifo((snaps / "fifo.json").c_str(), 0644), 0);
  ASSERT_EQ(
      runLimited({"verify", snaps.string(), "--references", refs.string(), "--record"}).exitCode,
      1);
  const ToolRun verified = runLimited({"verify", snaps.string(), "--references", refs.string(),
                                       "--out", (folder.path() / "out").string()});
  EXPECT_EQ(verified.exitCode, 1) << verified.out;
  // A folder named like a snapshot is searched as a folder, not read as a snapshot.
  for (const std::string& line : {
           (snaps / "dangling.json").string() + ": cannot open: No such file or directory",
           (snaps / "fifo.json").string() + ": is a FIFO, not a regular file",
           (snaps / "loop.jsonl").string() + ": cannot open: Too many levels of symbolic links",
           std::string("verify: 2 images, 2 equal, 0 differ, 0 missing; 3 inputs cannot be read\n"),
       }) {
    EXPECT_NE(verified.out.find(line), std::string::npos) << line << "\n" << verified.out;
  }
}

TEST(VerifyHostile, SummariesCountOnlyWhatWasWritten) {
  TempFolder folder;
  const fs::path snapshot = folder.path() / "question.json";
  fs::copy_file(example("question"), snapshot);
  // References that cannot be written: a file stands where their folder should be.
  writeText(folder.path() / "refs", "in the way");
  const ToolRun recorded = runPreview(
      {"verify", snapshot.string(), "--references", (folder.path() / "refs").string(), "--record"});
  EXPECT_EQ(recorded.exitCode, 1);
  EXPECT_EQ(recorded.out, "verify: 1 image, 0 recorded, 0 kept, 1 not written\n");
  EXPECT_NE(recorded.err.find("refs"), std::string::npos) << recorded.err;

  // An output folder where nothing can be put: folders stand at the names of the files.
  const ChangedSnapshots run;
  for (const char* name : {"question@45mm-xLarge.diff.png", "report.html", "junit.xml",
                           "more/board@45mm-xLarge.actual.png"}) {
    fs::create_directories(run.out / name / "x");
  }
  const ToolRun verified = run.verify();
  EXPECT_EQ(verified.exitCode, 1);
  EXPECT_EQ(verified.out.find("diff in " + (run.out / "question@45mm-xLarge.diff.png").string()),
            std::string::npos)
      << verified.out;
  EXPECT_EQ(verified.out.find("the report is"), std::string::npos) << verified.out;
  EXPECT_NE(verified.out.find("more/board@45mm-xLarge: differs in "), std::string::npos);
  EXPECT_NE(verified.out.find("diff in " + (run.out / "more/board@45mm-xLarge.diff.png").string()),
            std::string::npos)
      << verified.out;
  // Each write that failed is a line of its own.
  for (const char* name : {"question@45mm-xLarge.diff.png", "report.html", "junit.xml",
                           "more/board@45mm-xLarge.actual.png"}) {
    EXPECT_NE(verified.err.find("cannot write " + (run.out / name).string() + ": Is a directory"),
              std::string::npos)
        << name << "\n"
        << verified.err;
  }
}

TEST(VerifyHostile, JunitXmlParsesAndReadsBackWhateverNamesAndFindingsHold) {
  TempFolder folder;
  const fs::path snaps = folder.path() / "snaps";
  fs::create_directories(snaps);
  // Names that XML cannot hold as they are, and a key explain names in its findings.
  writeText(snaps / "new\nline.json", R"({"screen": "idle"})");
  writeText(snaps /
                "non\xEF\xBF\xBF"
                "char.json",
            R"({"screen": "idle"})");
  writeText(snaps / "key.json", "{\"screen\": \"idle\", \"odd\xEF\xBF\xBEkey\": 1}");
  const fs::path out = folder.path() / "out";
  const ToolRun verified = runPreview({"verify", snaps.string(), "--references",
                                       (folder.path() / "refs").string(), "--out", out.string()});
  ASSERT_EQ(verified.exitCode, 1) << verified.err;
  // Python's parser, as CI reporters read it: each case's class, and whether its failure's
  // text names the key as U+FFFD stands for it.
  const std::string script =
      "import sys, xml.etree.ElementTree as E\n"
      "for c in E.parse(sys.argv[1]).getroot().iter('testcase'):\n"
      "    text = c.find('failure').text\n"
      "    print(ascii(c.get('classname')), '/odd\\ufffdkey: unknown-key' in text)\n";
  writeText(folder.path() / "cases.py", script);
  std::string lines;
  FILE* pipe = popen(("python3 '" + (folder.path() / "cases.py").string() + "' '" +
                      (out / "junit.xml").string() + "' 2>&1")
                         .c_str(),
                     "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) lines.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0) << lines;
  EXPECT_EQ(lines, "'key' True\n'new\\nline' False\n'non\\ufffdchar' False\n");
}

TEST(VerifyHostile, APassingRunLeavesNoImageOfAnEarlierFailureBehind) {
  const ChangedSnapshots run;
  ASSERT_EQ(run.verify().exitCode, 1);
  const std::vector<std::string> failed = {
      "question@45mm-xLarge.actual.png", "question@45mm-xLarge.diff.png",
      "question@45mm-xLarge.reference.png", "more/board@45mm-xLarge.actual.png"};
  for (const std::string& name : failed) ASSERT_TRUE(fs::is_regular_file(run.out / name)) << name;
  // What verify does not name stays: a file of the user's, and images of a snapshot not given.
  writeText(run.out / "notes.txt", "mine");
  writeText(run.out / "gone@45mm-xLarge.actual.png", "an image of another run");

  const ToolRun passed = run.verify({"--record", "all"});
  ASSERT_EQ(passed.exitCode, 0) << passed.err;
  const ToolRun verified = run.verify();
  EXPECT_EQ(verified.exitCode, 0) << verified.out << verified.err;
  for (const std::string& name : failed) EXPECT_FALSE(fs::exists(run.out / name)) << name;
  EXPECT_EQ(readAll(run.out / "notes.txt"), "mine");
  EXPECT_TRUE(fs::exists(run.out / "gone@45mm-xLarge.actual.png"));
  EXPECT_TRUE(fs::is_regular_file(run.out / "report.html"));
}

TEST(VerifyHostile, ARecordingsFramesAndSnapshotFilesNeverShareAReference) {
  TempFolder folder;
  const fs::path snaps = folder.path() / "snaps";
  const fs::path refs = folder.path() / "refs";
  fs::create_directories(snaps);
  const std::string frame = R"({"t":10,"wall":"","event":"frame","frame":{"type":"context",)"
                            R"("payload":{"screen":"idle"}}})";
  writeText(snaps / "a.jsonl",
            R"({"t":0,"wall":"2025-06-01T20:00:00Z","event":"start","recorder":"test"})"
            "\n" +
                frame + "\n" + frame + "\n");
  fs::copy_file(example("question"), snaps / "a-frame-000001.json");
  const ToolRun recorded =
      runPreview({"verify", snaps.string(), "--references", refs.string(), "--record"});
  EXPECT_EQ(recorded.exitCode, 1);
  EXPECT_EQ(recorded.err, "dunvel-preview: frame 1 of " + (snaps / "a.jsonl").string() +
                              ": has the name a-frame-000001 of " +
                              (snaps / "a-frame-000001.json").string() +
                              " too, so it is left out (rename one of them)\n");
  EXPECT_NE(recorded.out.find("verify: 2 images, 2 recorded, 0 kept\n"), std::string::npos)
      << recorded.out;
  // Given first, the recording keeps the name and the snapshot file is left out.
  const ToolRun other =
      runPreview({"verify", (snaps / "a.jsonl").string(), (snaps / "a-frame-000001.json").string(),
                  "--references", refs.string(), "--out", (folder.path() / "out").string()});
  EXPECT_EQ(other.exitCode, 1);
  EXPECT_NE(other.err.find((snaps / "a-frame-000001.json").string() +
                           ": has the name a-frame-000001 of frame 1 of "),
            std::string::npos)
      << other.err;

  // One file named twice, or named and found in its folder, is one input.
  const fs::path question = snaps / "a-frame-000001.json";
  for (const std::vector<std::string>& given :
       {std::vector<std::string>{question.string(), question.string()},
        std::vector<std::string>{question.string(),
                                 (snaps / "." / question.filename()).string()}}) {
    std::vector<std::string> args = {"verify"};
    args.insert(args.end(), given.begin(), given.end());
    args.insert(args.end(), {"--references", (folder.path() / "once").string(), "--record", "all"});
    const ToolRun once = runPreview(args);
    EXPECT_EQ(once.exitCode, 0) << once.err;
    EXPECT_EQ(once.err, "");
    EXPECT_NE(once.out.find("verify: 1 image, 1 recorded, 0 kept\n"), std::string::npos)
        << once.out;
  }
}

// A recording's frames beyond --max-frames are counted and left out, as film leaves them.
TEST(VerifyHostile, ARecordingsFramesAreBoundedAndTheRestCounted) {
  TempFolder folder;
  std::string night = R"({"t":0,"wall":"2025-06-01T20:00:00Z","event":"start","recorder":"test"})"
                      "\n";
  for (int i = 1; i <= 12; ++i) {
    night += R"({"t":)" + std::to_string(i * 1000) +
             R"(,"wall":"","event":"frame","frame":{"type":"context","payload":{"screen":"idle"}}})"
             "\n";
  }
  const fs::path path = folder.path() / "night.jsonl";
  writeText(path, night);
  const ToolRun recorded =
      runPreview({"verify", path.string(), "--references", (folder.path() / "refs").string(),
                  "--record", "--max-frames", "5"});
  EXPECT_EQ(recorded.exitCode, 0) << recorded.err;
  EXPECT_NE(recorded.out.find("verify: 5 images, 5 recorded, 0 kept\n"), std::string::npos)
      << recorded.out;
  EXPECT_EQ(recorded.err, "dunvel-preview: " + path.string() +
                              ": 7 snapshots after the first 5 left out (--max-frames 5)\n");
  EXPECT_FALSE(fs::exists(folder.path() / "refs/night-frame-000006@45mm-xLarge.png"));
}

// png --a11y's legend fills at most four columns of the face's height, then "and N more": a
// board of hundreds of teams asked Cairo for an image taller than it can make.
TEST(VerifyHostile, TheAccessibilitySheetsLegendIsBounded) {
  TempFolder folder;
  std::string board = R"({"screen": "board", "teams": [)";
  for (int i = 0; i < 500; ++i) {
    board += std::string(i > 0 ? ", " : "") + R"({"id": "t)" + std::to_string(i) +
             R"(", "name": "Team )" + std::to_string(i) + R"(", "points": 1})";
  }
  writeText(folder.path() / "board.json", board + "]}");
  // A few elements take one column beside the face, as they always did; many take four.
  for (const auto& [snapshot, width] : {std::pair{example("answer"), 2 * (230 + 198)},
                                        {folder.path() / "board.json", 2 * (4 * 230 + 198)}}) {
    SCOPED_TRACE(snapshot.string());
    const fs::path sheet = folder.path() / "sheet.png";
    const ToolRun drawn = runPreview({"png", snapshot.string(), "--a11y", "-o", sheet.string()});
    ASSERT_EQ(drawn.exitCode, 0) << drawn.err;
    std::string problem;
    const Owned<cairo_surface_t> image = readPng(sheet.string(), problem);
    ASSERT_TRUE(image) << problem;
    EXPECT_EQ(cairo_image_surface_get_width(image.get()), width);
    EXPECT_EQ(cairo_image_surface_get_height(image.get()), 484);
  }
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// A snapshot's findings are listed once, with its first failed image, and at most 50 of them:
// a snapshot of many keys, failed in many variants, must not make a report of gigabytes.
TEST(VerifyHostile, ASnapshotsFindingsAreListedOnceAndBounded) {
  TempFolder folder;
  std::string snapshot = R"({"screen": "idle")";
  for (int i = 0; i < 200; ++i) snapshot += ", \"k" + std::to_string(i) + "\": 1";
  writeText(folder.path() / "keys.json", snapshot + "}");
  const fs::path out = folder.path() / "out";
  const ToolRun verified =
      runPreview({"verify", (folder.path() / "keys.json").string(), "--references",
                  (folder.path() / "refs").string(), "--out", out.string(), "--size", "all"});
  ASSERT_EQ(verified.exitCode, 1) << verified.err;
  ASSERT_NE(verified.out.find("8 images, 0 equal, 0 differ, 8 missing"), std::string::npos)
      << verified.out;
  for (const char* report : {"report.html", "junit.xml"}) {
    SCOPED_TRACE(report);
    const std::string text = readAll(out / report);
    EXPECT_EQ(occurrences(text, ": unknown-key: "), 50u);
    EXPECT_EQ(occurrences(text, "and 150 more"), 1u);
    EXPECT_EQ(occurrences(text, "isted with keys@40mm-large"), 7u);
  }
}

// explain lists a snapshot's first findings, one a line as ever, and says on standard error how
// many it left out; --json counts them in the file's object.
TEST(VerifyHostile, ExplainListsTheFirstFindingsAndCountsTheRest) {
  TempFolder folder;
  std::string snapshot = R"({"screen": "idle")";
  for (int i = 0; i < 1200; ++i) snapshot += ", \"k" + std::to_string(i) + "\": 1";
  writeText(folder.path() / "keys.json", snapshot + "}");
  const std::string file = (folder.path() / "keys.json").string();
  const std::string note =
      "dunvel-preview: " + file + ": and 200 more findings, not listed (the first 1000 are)\n";
  const ToolRun text = runPreview({"explain", file, "--now", "0"});
  EXPECT_EQ(text.exitCode, 1);
  EXPECT_EQ(occurrences(text.out, ": unknown-key: "), 1000u);
  EXPECT_EQ(text.err, note);
  const ToolRun json = runPreview({"explain", file, "--json", "--now", "0"});
  EXPECT_EQ(json.exitCode, 1);
  const nlohmann::json line = nlohmann::json::parse(json.out);
  EXPECT_EQ(line["findings"].size(), 1000u);
  EXPECT_EQ(line["leftOut"], 200);
  EXPECT_EQ(json.err, note);
}

// Each command run by the real executable with its standard output a pipe whose reader has
// gone: it must end with status 1 and say why, not die of SIGPIPE with nothing said.
TEST(VerifyHostile, EveryCommandEndsWithStatusOneAndTheReasonOnAClosedPipe) {
  TempFolder folder;
  const std::string board = example("board").string();
  const std::string odd = (folder.path() / "odd.json").string();
  writeText(odd, R"({"screen": "idle", "gameTitle": "x"})");
  const std::string script =
      "import os, subprocess, sys\n"
      "r, w = os.pipe()\n"
      "os.close(r)\n"
      "p = subprocess.run(sys.argv[1:], stdout=w, stderr=subprocess.PIPE, timeout=60)\n"
      "print(p.returncode, p.stderr.decode().strip())\n";
  writeText(folder.path() / "closed.py", script);
  const std::vector<std::vector<std::string>> commands = {
      {"explain", odd},
      {"a11y", board},
      {"a11y", board, "--audit"},
      {"state", board},
      {"tree", board},
      {"verify", board, "--references", (folder.path() / "refs").string(), "--record"},
  };
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0]);
    std::string line = "python3 '" + (folder.path() / "closed.py").string() + "' '" +
                       std::string(DUNVEL_PREVIEW) + "'";
    for (const std::string& argument : command) line += " '" + argument + "'";
    std::string said;
    FILE* pipe = popen(line.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) said.append(buffer, n);
    pclose(pipe);
    EXPECT_EQ(said, "1 dunvel-preview: cannot write standard output: Broken pipe\n");
  }
}

}  // namespace
}  // namespace dunvel
