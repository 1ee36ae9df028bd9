#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "VerifyFiles.h"
#include "platform/link/LinkTestSupport.h"
#include "preview/ImageDifference.h"
#include "preview/PreviewCommand.h"
#include "render/Owned.h"
#include "support/PreviewRun.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using verify_files::readAll;
using verify_files::replaceIn;
using verify_files::writeText;

// A shell command's exit status and its standard output and error together.
ToolRun shell(const std::string& command) {
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

std::string shellWord(const fs::path& path) {
  return "'" + path.string() + "'";
}

// The examples as a host app's snapshots: five in the folder, the board in a subfolder.
fs::path snapshotFolder(const fs::path& root) {
  const fs::path snaps = root / "snaps";
  fs::create_directories(snaps / "more");
  for (const char* name : {"idle", "question", "answer", "tournament"}) {
    fs::copy_file(fs::path(DUNVEL_SOURCE_DIR) / "examples" / (std::string(name) + ".json"),
                  snaps / (std::string(name) + ".json"));
  }
  fs::copy_file(fs::path(DUNVEL_SOURCE_DIR) / "examples/board.json", snaps / "more/board.json");
  return snaps;
}

Owned<cairo_surface_t> png(const fs::path& path) {
  std::string problem;
  Owned<cairo_surface_t> image = readPng(path.string(), problem);
  EXPECT_TRUE(image) << problem;
  return image;
}

// The pixels marked as differing in a diff image.
std::int64_t markedPixels(const fs::path& diffPath) {
  const Owned<cairo_surface_t> diff = png(diffPath);
  if (!diff) return -1;
  std::int64_t marked = 0;
  const int width = cairo_image_surface_get_width(diff.get());
  for (int y = 0; y < cairo_image_surface_get_height(diff.get()); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(
        cairo_image_surface_get_data(diff.get()) + y * cairo_image_surface_get_stride(diff.get()));
    for (int x = 0; x < width; ++x) marked += (row[x] & 0xFFFFFF) == 0xFF00FF ? 1 : 0;
  }
  return marked;
}

// The number after `after` in text ("differs in 263 pixels": after "differs in ").
std::int64_t numberAfter(const std::string& text, const std::string& after) {
  const std::size_t at = text.find(after);
  if (at == std::string::npos) return -1;
  return std::strtoll(text.c_str() + at + after.size(), nullptr, 10);
}

// A folder of snapshots recorded, then verified once the board has changed and the idle
// screen's reference is gone: the run the report and junit.xml tests read.
struct FailedRun {
  TempFolder folder;
  fs::path snaps;
  fs::path refs;
  fs::path out;
  ToolRun verify;

  FailedRun() {
    snaps = snapshotFolder(folder.path());
    refs = folder.path() / "refs";
    out = folder.path() / "out";
    const ToolRun recorded =
        runPreview({"verify", snaps.string(), "--references", refs.string(), "--record"});
    EXPECT_EQ(recorded.exitCode, 0) << recorded.err;
    replaceIn(snaps / "more/board.json", "\"points\": ", "\"points\": 1");
    // A key the watch does not read, for explain to find.
    replaceIn(snaps / "more/board.json", "\"gameName\"", "\"gameTitle\": \"x\", \"gameName\"");
    fs::remove(refs / "idle@45mm-xLarge.png");
    verify = runPreview(
        {"verify", snaps.string(), "--references", refs.string(), "--out", out.string()});
  }
};

TEST(Verify, RecordsThenVerifiesAndPointsAtWhatChanged) {
  TempFolder folder;
  const fs::path snaps = snapshotFolder(folder.path());
  const fs::path refs = folder.path() / "refs";
  const fs::path out = folder.path() / "out";
  const std::vector<std::string> verify = {"verify",      snaps.string(), "--references",
                                           refs.string(), "--out",        out.string()};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = verify;
    args.insert(args.end(), more.begin(), more.end());
    return runPreview(args);
  };

  const ToolRun recorded = with({"--record"});
  ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
  EXPECT_NE(recorded.out.find("verify: 5 images, 5 recorded, 0 kept"), std::string::npos)
      << recorded.out;
  // A file found in a subfolder keeps its path, so its reference lives in the same subfolder.
  EXPECT_TRUE(fs::exists(refs / "more/board@45mm-xLarge.png"));
  EXPECT_TRUE(fs::exists(refs / "question@45mm-xLarge.png"));

  const ToolRun equal = with({});
  EXPECT_EQ(equal.exitCode, 0) << equal.out << equal.err;
  EXPECT_EQ(equal.out, "verify: 5 images, 5 equal, 0 differ, 0 missing\n");

  // One snapshot changed, one reference gone: each named once, the rest equal.
  replaceIn(snaps / "question.json", "\"questionPoints\": 10", "\"questionPoints\": 20");
  fs::remove(refs / "idle@45mm-xLarge.png");
  const ToolRun failed = with({});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.out.find("verify: 5 images, 3 equal, 1 differ, 1 missing\n"), std::string::npos)
      << failed.out;
  EXPECT_NE(failed.out.find("idle@45mm-xLarge: has no reference"), std::string::npos);
  const std::int64_t differing = numberAfter(failed.out, "question@45mm-xLarge: differs in ");
  EXPECT_GT(differing, 20) << failed.out;
  // The diff marks exactly the pixels counted, over the reference; the image drawn is kept.
  EXPECT_EQ(markedPixels(out / "question@45mm-xLarge.diff.png"), differing);
  const Owned<cairo_surface_t> actual = png(out / "question@45mm-xLarge.actual.png");
  const Owned<cairo_surface_t> reference = png(out / "question@45mm-xLarge.reference.png");
  ASSERT_TRUE(actual && reference);
  EXPECT_EQ(compareImages(reference.get(), actual.get(), 0, DiffImage::none).differingPixels,
            differing);
  EXPECT_TRUE(fs::exists(out / "idle@45mm-xLarge.actual.png"));
  EXPECT_FALSE(fs::exists(out / "answer@45mm-xLarge.actual.png"));

  // --record writes only what is missing; --record all every reference.
  const ToolRun missing = with({"--record"});
  EXPECT_EQ(missing.exitCode, 0);
  EXPECT_NE(missing.out.find("recorded " + (refs / "idle@45mm-xLarge.png").string()),
            std::string::npos)
      << missing.out;
  EXPECT_NE(missing.out.find("1 recorded, 4 kept"), std::string::npos) << missing.out;
  EXPECT_EQ(with({}).exitCode, 1);
  EXPECT_EQ(with({"--record", "all"}).exitCode, 0);
  EXPECT_EQ(with({}).exitCode, 0);

  // A snapshot that cannot be read fails the run, and the others are still verified.
  writeText(snaps / "broken.json", "{\"screen\": ");
  const ToolRun broken = with({});
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_NE(broken.err.find("broken.json"), std::string::npos) << broken.err;
  EXPECT_NE(broken.out.find("5 images, 5 equal"), std::string::npos) << broken.out;
  // Nor does a folder without snapshots pass for having compared nothing.
  fs::create_directories(folder.path() / "empty");
  const ToolRun empty = runPreview({"verify", (folder.path() / "empty").string(), "--references",
                                    refs.string(), "--out", out.string()});
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_NE(empty.err.find("holds no snapshot"), std::string::npos) << empty.err;
}

TEST(Verify, ToleranceAndMaxPixelsBoundWhatCountsAsEqual) {
  TempFolder folder;
  const fs::path snapshot = folder.path() / "question.json";
  fs::copy_file(fs::path(DUNVEL_SOURCE_DIR) / "examples/question.json", snapshot);
  const fs::path refs = folder.path() / "refs";
  const fs::path out = folder.path() / "out";
  ASSERT_EQ(
      runPreview({"verify", snapshot.string(), "--references", refs.string(), "--record"}).exitCode,
      0);
  // Ten opaque pixels of the reference made 3 levels greener.
  const fs::path reference = refs / "question@45mm-xLarge.png";
  {
    const Owned<cairo_surface_t> image = png(reference);
    ASSERT_TRUE(image);
    cairo_surface_flush(image.get());
    auto* data = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(image.get()));
    const int stride = cairo_image_surface_get_stride(image.get()) / 4;
    for (int i = 0; i < 10; ++i) {
      std::uint32_t& pixel = data[(100 + i) * stride + 200];
      ASSERT_EQ(pixel >> 24, 0xFFu);
      ASSERT_LT((pixel >> 8) & 0xFF, 250u);
      pixel += 3 << 8;
    }
    cairo_surface_mark_dirty(image.get());
    ASSERT_EQ(cairo_surface_write_to_png(image.get(), reference.c_str()), CAIRO_STATUS_SUCCESS);
  }
  auto verify = [&](std::vector<std::string> more) {
    std::vector<std::string> args = {"verify",      snapshot.string(), "--references",
                                     refs.string(), "--out",           out.string()};
    args.insert(args.end(), more.begin(), more.end());
    return runPreview(args);
  };
  const ToolRun exact = verify({});
  EXPECT_EQ(exact.exitCode, 1);
  EXPECT_NE(exact.out.find("differs in 10 pixels"), std::string::npos) << exact.out;
  EXPECT_EQ(verify({"--tolerance", "3"}).exitCode, 0);
  EXPECT_EQ(verify({"--tolerance", "2"}).exitCode, 1);
  EXPECT_EQ(verify({"--max-pixels", "10"}).exitCode, 0);
  EXPECT_EQ(verify({"--max-pixels", "9"}).exitCode, 1);
  EXPECT_EQ(verify({"--tolerance", "256"}).exitCode, 2);

  // A reference of another size is never equal, however tolerant the check.
  ASSERT_EQ(
      runPreview({"png", snapshot.string(), "--size", "41mm", "-o", reference.string()}).exitCode,
      0);
  const ToolRun resized = verify({"--tolerance", "255", "--max-pixels", "1000000"});
  EXPECT_EQ(resized.exitCode, 1);
  EXPECT_NE(resized.out.find("the reference is 352x430 pixels, the image 396x484"),
            std::string::npos)
      << resized.out;
}

TEST(Verify, ARecordingIsVerifiedFrameByFrameAsFilmDrawsIt) {
  // film tells the time in the process's zone, verify in UTC: the same here.
  setenv("TZ", "UTC", 1);
  tzset();
  TempFolder folder;
  const fs::path night = folder.path() / "night.jsonl";
  const std::string start =
      R"({"t":0,"wall":"2025-06-01T20:00:00Z","event":"start","recorder":"test"})";
  auto frame = [](int ms, const std::string& payload) {
    return R"({"t":)" + std::to_string(ms) + R"(,"wall":"","event":"frame","frame":)" +
           R"({"type":"context","payload":)" + payload + "}}";
  };
  const std::string question = readAll(fs::path(DUNVEL_SOURCE_DIR) / "examples/question.json");
  // One line of a recording, opened ten seconds before the frame arrives.
  std::string late = question;
  std::replace(late.begin(), late.end(), '\n', ' ');
  late.replace(late.find("1765136700.0"), 12, "1748807990.0");
  const std::vector<std::string> lines = {
      start, R"({"t":5,"wall":"","event":"connect"})", frame(10, R"({"screen":"idle"})"),
      frame(1000, late),
      // In the background: the idle screen's status line changes.
      R"({"t":2000,"wall":"","event":"frame","frame":{"type":"reachability","reachable":false}})",
      frame(65000, R"({"screen":"idle"})")};
  auto write = [&](const std::vector<std::string>& content) {
    std::string text;
    for (const std::string& line : content) text += line + "\n";
    writeText(night, text);
  };
  write(lines);
  const fs::path refs = folder.path() / "refs";
  const ToolRun recorded =
      runPreview({"verify", night.string(), "--references", refs.string(), "--record"});
  ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
  EXPECT_EQ(recorded.err, "");
  EXPECT_NE(recorded.out.find("3 images, 3 recorded"), std::string::npos) << recorded.out;

  const fs::path film = folder.path() / "film";
  ASSERT_EQ(runPreview({"film", night.string(), "-o", film.string()}).exitCode, 0);
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    const std::string number = "00000" + std::to_string(n);
    const Owned<cairo_surface_t> filmed = png(film / ("frame-" + number + ".png"));
    const Owned<cairo_surface_t> reference =
        png(refs / ("night-frame-" + number + "@45mm-xLarge.png"));
    ASSERT_TRUE(filmed && reference);
    EXPECT_EQ(compareImages(reference.get(), filmed.get(), 0, DiffImage::none).differingPixels, 0);
  }
  // The first and the last frame show one screen, reachable and not.
  const Owned<cairo_surface_t> first = png(refs / "night-frame-000001@45mm-xLarge.png");
  const Owned<cairo_surface_t> last = png(refs / "night-frame-000003@45mm-xLarge.png");
  EXPECT_GT(compareImages(first.get(), last.get(), 0, DiffImage::none).differingPixels, 0);

  const fs::path out = folder.path() / "out";
  std::vector<std::string> changed = lines;
  changed[5] = frame(65000, R"({"screen":"board","teams":[{"id":"t","name":"T","points":1}]})");
  write(changed);
  const ToolRun verified =
      runPreview({"verify", night.string(), "--references", refs.string(), "--out", out.string()});
  EXPECT_EQ(verified.exitCode, 1);
  EXPECT_NE(verified.out.find("night-frame-000003@45mm-xLarge: differs in"), std::string::npos)
      << verified.out;
  EXPECT_NE(verified.out.find("verify: 3 images, 2 equal, 1 differ, 0 missing"), std::string::npos)
      << verified.out;
}

TEST(Verify, JunitXmlHasATestCaseForEachImageAndAFailureForEachDifference) {
  const FailedRun run;
  ASSERT_EQ(run.verify.exitCode, 1) << run.verify.out;
  const ToolRun cases =
      shell("python3 " + shellWord(fs::path(DUNVEL_SOURCE_DIR) / "tests/preview/junit_cases.py") +
            " " + shellWord(run.out / "junit.xml"));
  ASSERT_EQ(cases.exitCode, 0) << cases.out;
  std::istringstream lines(cases.out);
  std::vector<std::string> seen;
  for (std::string line; std::getline(lines, line);) seen.push_back(line);
  const std::int64_t differing = numberAfter(run.verify.out, "board@45mm-xLarge: differs in ");
  ASSERT_GT(differing, 0) << run.verify.out;
  const std::vector<std::string> expected = {
      "answer\t45mm-xLarge\t0\t0\t",
      "idle\t45mm-xLarge\t1\t0\tidle@45mm-xLarge has no reference: " +
          (run.refs / "idle@45mm-xLarge.png").string(),
      "more/board\t45mm-xLarge\t1\t0\tmore/board@45mm-xLarge differs in " +
          std::to_string(differing) + " pixels",
      "question\t45mm-xLarge\t0\t0\t",
      "tournament\t45mm-xLarge\t0\t0\t",
  };
  EXPECT_EQ(seen, expected) << cases.out;
}

// Opens the report in headless Chromium through a page that counts its images and the broken
// ones: "images=N broken=M SOURCES".
std::string reportImages(const fs::path& out) {
  fs::copy_file(fs::path(DUNVEL_SOURCE_DIR) / "tests/preview/report_images.html",
                out / "report_images.html", fs::copy_options::overwrite_existing);
  const ToolRun dom = shell(
      "timeout 120 chromium --headless --no-sandbox --disable-gpu --allow-file-access-from-files "
      "--virtual-time-budget=10000 --dump-dom " +
      shellWord("file://" + (out / "report_images.html").string()) + " 2>/dev/null");
  const std::size_t at = dom.out.find("<pre id=\"result\">");
  if (at == std::string::npos) return "no page: " + dom.out;
  const std::size_t from = at + std::string("<pre id=\"result\">").size();
  return dom.out.substr(from, dom.out.find("</pre>", from) - from);
}

TEST(Verify, TheReportShowsEveryFailureWithItsImagesInChromium) {
  const FailedRun run;
  ASSERT_EQ(run.verify.exitCode, 1) << run.verify.out;
  const std::string html = readAll(run.out / "report.html");
  // Reference, image and diff of the board (in its subfolder), the image of the idle screen.
  EXPECT_EQ(reportImages(run.out), "images=4 broken=0 ");
  EXPECT_NE(html.find("<li>answer@45mm-xLarge</li>"), std::string::npos) << html;
  EXPECT_NE(html.find("src=\"more/board@45mm-xLarge.diff.png\""), std::string::npos);
  // Beside the board's images, what explain finds in its snapshot.
  EXPECT_NE(html.find("<li><code>/gameTitle</code>: unknown-key: "), std::string::npos) << html;
  // And what the accessibility audit flags on it: the board's turn dot speaks by colour alone.
  EXPECT_NE(html.find("What the accessibility audit flags"), std::string::npos) << html;
  EXPECT_NE(html.find(" colour-only</code>: text "), std::string::npos) << html;
  // The check sees a missing image.
  fs::remove(run.out / "more/board@45mm-xLarge.diff.png");
  EXPECT_EQ(reportImages(run.out), "images=4 broken=1 more/board@45mm-xLarge.diff.png");
}

TEST(Verify, ReferencesDoNotDependOnTheDayTheTimeZoneOrTheLocale) {
  TempFolder folder;
  const fs::path snaps = snapshotFolder(folder.path());
  const fs::path refs = folder.path() / "refs";
  const std::string verify = shellWord(DUNVEL_PREVIEW) + " verify " + shellWord(snaps) +
                             " --references " + shellWord(refs) + " --out " +
                             shellWord(folder.path() / "out") + " --size all";
  // libfaketime comes before the sanitizer runtime in a sanitized build.
  const std::string env = "env ASAN_OPTIONS=verify_asan_link_order=0 ";
  const ToolRun recorded = shell(env + "TZ=UTC LC_ALL=C " + verify + " --record");
  ASSERT_EQ(recorded.exitCode, 0) << recorded.out;
  const ToolRun elsewhere = shell(env +
                                  "TZ=Pacific/Kiritimati LC_ALL=ar_SA.UTF-8 LANG=ar_SA.UTF-8 "
                                  "faketime -f '+400d' " +
                                  verify);
  EXPECT_EQ(elsewhere.exitCode, 0) << elsewhere.out;
  EXPECT_NE(elsewhere.out.find("verify: 40 images, 40 equal"), std::string::npos) << elsewhere.out;
}

}  // namespace
}  // namespace dunvel
