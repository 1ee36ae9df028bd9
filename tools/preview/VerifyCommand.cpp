#include "preview/VerifyCommand.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <ostream>
#include <system_error>
#include <thread>

#include "cli/FaceSizeOption.h"
#include "cli/NumberOption.h"
#include "cli/TextSizeOption.h"
#include "explain/FindingText.h"
#include "explain/SnapshotExplain.h"
#include "files/FolderWithin.h"
#include "files/ReadFile.h"
#include "preview/FaceVariant.h"
#include "preview/ImageCheck.h"
#include "preview/JunitReport.h"
#include "preview/ProgressLine.h"
#include "preview/VerifyCounts.h"
#include "preview/VerifyReport.h"
#include "preview/VerifyShard.h"
#include "preview/VerifySubject.h"
#include "render/DrawingStack.h"
#include "state/OneLine.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;

// The images numbered (each subject's variants in turn, subject after subject) checked by `jobs`
// threads (on this one when it is 1). Each thread has its own checker, and so its own renderers
// and fonts; an image's outcome is written only by the thread that checked it, and read once all
// have ended. The progress line hears of each image done.
std::vector<ImageOutcome> checkAll(const std::vector<VerifySubject>& subjects,
                                   const std::vector<FaceVariant>& variants,
                                   const std::vector<std::size_t>& numbers,
                                   const ImageCheckSettings& settings, unsigned jobs,
                                   ProgressLine& progress,
                                   std::vector<std::vector<std::string>>& problems) {
  const std::size_t count = numbers.size();
  std::vector<ImageOutcome> outcomes(count);
  problems.assign(count, {});
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  std::mutex failureMutex;
  std::exception_ptr failure;
  const auto work = [&] {
    try {
      ImageChecker checker(settings);
      for (std::size_t i = next++; i < count && !stop; i = next++) {
        const std::size_t number = numbers[i];
        outcomes[i] = checker.check(subjects[number / variants.size()],
                                    variants[number % variants.size()], problems[i]);
        progress.done(1);
      }
    } catch (...) {
      const std::lock_guard lock(failureMutex);
      if (!failure) failure = std::current_exception();
      stop = true;
    }
  };
  if (jobs <= 1 || count <= 1) {
    work();
  } else {
    std::vector<std::jthread> threads;
    for (unsigned i = 0; i < jobs && i < count; ++i) threads.emplace_back(work);
  }
  if (failure) std::rethrow_exception(failure);
  return outcomes;
}

std::string shown(const fs::path& path) {
  return oneLine(path.generic_string());
}

// Names and counts only the references written; those that could not be are counted apart
// (each has had its error line).
int record(const std::vector<ImageOutcome>& outcomes, bool troubled, PreviewIo& io) {
  std::size_t recorded = 0;
  std::size_t unwritten = 0;
  for (const ImageOutcome& outcome : outcomes) {
    unwritten += outcome.status == ImageOutcome::Status::unwritten ? 1 : 0;
    if (outcome.status != ImageOutcome::Status::recorded) continue;
    ++recorded;
    io.out << "recorded " << oneLine(outcome.reference) << '\n';
  }
  io.out << "verify: " << outcomes.size() << (outcomes.size() == 1 ? " image, " : " images, ")
         << recorded << " recorded, " << outcomes.size() - recorded - unwritten << " kept";
  if (unwritten > 0) io.out << ", " << unwritten << " not written";
  io.out << '\n';
  return troubled ? kExitBadInput : kExitSuccess;
}

ImageCheckSettings settingsOf(const VerifyOptions& options) {
  ImageCheckSettings settings;
  settings.references = options.references;
  settings.out = options.out;
  settings.tolerance = options.tolerance;
  settings.maxPixels = options.maxPixels;
  settings.record = options.record.empty()    ? ImageCheckSettings::Record::no
                    : options.record == "all" ? ImageCheckSettings::Record::all
                                              : ImageCheckSettings::Record::missing;
  return settings;
}

// The folder the failures and the report go to; false (said on err) when it cannot be made.
bool makeOutFolder(const fs::path& out, PreviewIo& io) {
  std::error_code error;
  fs::create_directories(out, error);
  if (!error && fs::is_directory(out)) return true;
  io.err << "dunvel-preview: cannot make the folder " << shown(out) << ": "
         << (error ? error.message() : "a file of that name is in the way") << '\n';
  return false;
}

// The largest image a merge copies from a share: a face at 8 pixels a point, as PNG, is far
// smaller.
constexpr std::size_t kMaxMergedImageBytes = 64u << 20;

// How many of explain's findings, or of the audit's, a failure lists: a snapshot of a million
// keys must not make a report of gigabytes.
constexpr std::size_t kMaxListedFindings = 50;

// The first kMaxListedFindings lines, then "and N more" for the rest.
std::vector<std::string> listed(std::vector<std::string> lines) {
  if (lines.size() <= kMaxListedFindings) return lines;
  const std::size_t more = lines.size() - kMaxListedFindings;
  lines.resize(kMaxListedFindings);
  lines.push_back("and " + std::to_string(more) + " more");
  return lines;
}

// Why a failed image may show what it shows: explain's findings for its snapshot, read once and
// listed with its first failed variant (the others name that one); and what the accessibility
// audit flags in each.
void annotateFailures(const std::vector<VerifySubject>& subjects,
                      const std::vector<FaceVariant>& variants,
                      const std::vector<std::size_t>& numbers, const ImageCheckSettings& settings,
                      std::vector<ImageOutcome>& outcomes) {
  ImageChecker auditor(settings);
  std::size_t explained = subjects.size();
  std::vector<std::string> findings;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    if (!outcomes[i].failed()) continue;
    const std::size_t s = numbers[i] / variants.size();
    const VerifySubject& subject = subjects[s];
    if (s != explained) {
      findings.clear();
      for (const SnapshotFinding& finding :
           explainSnapshot(subject.snapshot, subject.moment.timeIntervalSince1970)) {
        findings.push_back(findingLine(finding));
      }
      findings = listed(std::move(findings));
      explained = s;
    }
    outcomes[i].findings = findings;
    outcomes[i].audit = listed(auditor.audit(subject, variants[numbers[i] % variants.size()]));
  }
  listFindingsOnce(outcomes, numbers, variants.size());
}

// One line for each image that is not equal, naming what it left in the out folder.
void printFailures(const std::vector<ImageOutcome>& outcomes, const fs::path& out, PreviewIo& io) {
  for (const ImageOutcome& outcome : outcomes) {
    if (!outcome.failed()) continue;
    io.out << oneLine(outcome.imageName()) << ": " << oneLine(outcome.verdict());
    if (outcome.status == ImageOutcome::Status::missing) {
      io.out << " (" << oneLine(outcome.reference) << ")";
      if (!outcome.actualFile.empty()) io.out << "; drawn in " << shown(out / outcome.actualFile);
    } else if (!outcome.diffFile.empty()) {
      io.out << "; diff in " << shown(out / outcome.diffFile);
    }
    io.out << '\n';
  }
}

// Removes what an earlier run left under the names of this run's images and this run did not
// write: an image drawn, a diff or a copy from a failure since mended would otherwise sit beside
// a report that does not show it. Nothing else in the folder is touched. False when something
// could not be removed (said on err).
bool removeLeftovers(const std::vector<ImageOutcome>& outcomes, const fs::path& out,
                     PreviewIo& io) {
  bool removed = true;
  for (const ImageOutcome& outcome : outcomes) {
    for (const auto& [suffix, written] :
         {std::pair{".actual.png", &outcome.actualFile}, std::pair{".diff.png", &outcome.diffFile},
          std::pair{".reference.png", &outcome.referenceFile}}) {
      if (!written->empty()) continue;
      const std::string failed = removeFileWithin(out, outcome.imageName() + suffix);
      if (failed.empty()) continue;
      io.err << "dunvel-preview: " << oneLine(failed) << '\n';
      removed = false;
    }
  }
  return removed;
}

// Said once, in the summary and the report, when references were drawn by other library versions
// than this run's: "3 references were drawn with cairo 1.18.0, … and this run with cairo 1.16.0,
// …: a difference may be the libraries', not the app's". Empty when none was.
std::string otherStackNote(const std::vector<ImageOutcome>& outcomes, const std::string& stack) {
  std::size_t others = 0;
  const ImageOutcome* first = nullptr;
  for (const ImageOutcome& outcome : outcomes) {
    if (outcome.referenceStack.empty()) continue;
    ++others;
    if (first == nullptr) first = &outcome;
  }
  if (first == nullptr) return {};
  return std::to_string(others) + (others == 1 ? " reference was" : " references were") +
         " drawn with " + first->referenceStack + " and this run with " + stack +
         ": a difference may be the libraries', not the app's";
}

// Which of the reports could be written; each that could not is said on err.
struct ReportsWritten {
  bool html = false;
  bool junit = false;
};

ReportsWritten writeReports(const std::vector<ImageOutcome>& outcomes,
                            const std::vector<std::string>& problems, const std::string& note,
                            const fs::path& out, PreviewIo& io) {
  const auto write = [&](const char* name, const std::string& text) {
    const std::string failed = replaceFileWithin(out, name, text);
    if (!failed.empty()) io.err << "dunvel-preview: " << oneLine(failed) << '\n';
    return failed.empty();
  };
  ReportsWritten written;
  written.html = write("report.html", verifyReportHtml(outcomes, problems, note));
  written.junit = write("junit.xml", verifyJunitXml(outcomes, problems));
  return written;
}

// The end of a verify run, or of a merge of its shares: a line for each image that is not
// equal, the summary, the reports. Returns the exit code.
int finish(const std::vector<ImageOutcome>& outcomes, const std::vector<std::string>& problems,
           const std::string& stack, const fs::path& out, bool troubled, PreviewIo& io) {
  printFailures(outcomes, out, io);
  const VerifyCounts counts = VerifyCounts::of(outcomes);
  io.out << "verify: " << counts.line();
  // An input that cannot be read is no image, but it fails the run all the same.
  if (const std::size_t unread = problems.size(); unread > 0) {
    io.out << "; " << unread << (unread == 1 ? " input cannot" : " inputs cannot") << " be read";
  }
  const std::string note = otherStackNote(outcomes, stack);
  if (!note.empty()) io.out << "; " << note;
  io.out << '\n';
  const ReportsWritten reports = writeReports(outcomes, problems, note, out, io);
  if (!reports.html || !reports.junit) troubled = true;
  const bool allEqual = counts.equal == counts.images;
  if ((!allEqual || troubled) && reports.html) {
    io.out << "verify: the report is " << shown(out / "report.html") << '\n';
  }
  return allEqual && !troubled ? kExitSuccess : kExitBadInput;
}

// --merge: the shares' records joined in one run's order, their images copied beside one report.
int mergeShares(const VerifyOptions& options, PreviewIo& io) {
  std::vector<ShardRecord> records;
  std::vector<fs::path> folders;
  for (const std::string& folder : options.merge) {
    std::string problem;
    std::optional<ShardRecord> record = readShardRecord(folder, problem);
    if (!record) {
      io.err << "dunvel-preview: verify: " << problem << '\n';
      return kExitBadInput;
    }
    records.push_back(std::move(*record));
    folders.emplace_back(folder);
  }
  std::string problem;
  std::optional<MergedRun> merged = mergeShardRecords(records, folders, problem);
  if (!merged) {
    io.err << "dunvel-preview: verify: --merge: " << problem << '\n';
    return kExitBadInput;
  }
  const fs::path out(options.out);
  if (!makeOutFolder(out, io)) return kExitBadInput;
  bool troubled = false;
  for (std::size_t i = 0; i < merged->outcomes.size(); ++i) {
    ImageOutcome& outcome = merged->outcomes[i];
    const fs::path& from = merged->folders[i];
    for (std::string* file : {&outcome.actualFile, &outcome.diffFile, &outcome.referenceFile}) {
      if (file->empty()) continue;
      std::error_code same;
      if (fs::equivalent(from / *file, out / *file, same)) continue;
      const FileBytes bytes = readRegularFile(from / *file, kMaxMergedImageBytes);
      std::string failed = bytes.bytes ? replaceFileWithin(out, *file, *bytes.bytes)
                                       : shown(from / *file) + ": " + bytes.problem;
      if (failed.empty()) continue;
      // The report names only files that are there.
      io.err << "dunvel-preview: " << oneLine(failed) << '\n';
      file->clear();
      troubled = true;
    }
  }
  if (!removeLeftovers(merged->outcomes, out, io)) troubled = true;
  return finish(merged->outcomes, merged->problems, merged->stack, out,
                troubled || !merged->problems.empty(), io);
}

}  // namespace

int runVerifyCommand(const VerifyOptions& options, PreviewIo& io) {
  if (!options.merge.empty()) {
    if (!options.paths.empty() || !options.shard.empty()) {
      io.err << "dunvel-preview: verify: --merge joins the shares' --out folders: it takes no "
                "snapshots and no --shard\n";
      return kExitBadUsage;
    }
    return mergeShares(options, io);
  }
  if (options.paths.empty() || options.references.empty()) {
    io.err << "dunvel-preview: verify: FILE|DIR and --references are required (or --merge "
              "DIR...); see --help\n";
    return kExitBadUsage;
  }
  std::string problem;
  const std::optional<std::vector<FaceVariant>> variants =
      chooseFaceVariants(options.sizes, options.textSizes, problem);
  if (!variants) {
    io.err << "dunvel-preview: verify: " << problem << '\n';
    return kExitBadUsage;
  }
  std::optional<VerifyShard> shard;
  if (!options.shard.empty()) {
    shard = parseVerifyShard(options.shard, problem);
    if (!shard) {
      io.err << "dunvel-preview: verify: " << problem << '\n';
      return kExitBadUsage;
    }
  }
  VerifySubjects inputs = collectVerifySubjects(
      options.paths, options.reachable, Date{options.now.value_or(kVerifyDefaultNow)},
      options.maxFrames,
      [&io](const std::string& warning) { io.err << "dunvel-preview: " << warning << '\n'; });
  bool troubled = !inputs.problems.empty();
  for (const std::string& line : inputs.problems) io.err << "dunvel-preview: " << line << '\n';

  const ImageCheckSettings settings = settingsOf(options);
  const bool recording = settings.record != ImageCheckSettings::Record::no;
  if (!recording && !makeOutFolder(settings.out, io)) return kExitBadInput;
  const unsigned jobs = options.jobs > 0 ? static_cast<unsigned>(options.jobs)
                                         : std::max(1u, std::thread::hardware_concurrency());
  const std::size_t images = inputs.subjects.size() * variants->size();
  std::vector<std::size_t> numbers;
  for (std::size_t number = 0; number < images; ++number) {
    if (!shard || shard->holds(number)) numbers.push_back(number);
  }
  std::vector<std::vector<std::string>> writeProblems;
  std::vector<ImageOutcome> outcomes;
  {
    ProgressLine progress(io.err, io.errIsTerminal, "verify", "images");
    progress.setTotal(numbers.size());
    outcomes =
        checkAll(inputs.subjects, *variants, numbers, settings, jobs, progress, writeProblems);
  }
  for (const std::vector<std::string>& lines : writeProblems) {
    for (const std::string& line : lines) {
      io.err << "dunvel-preview: " << oneLine(line) << '\n';
      troubled = true;
    }
  }
  if (recording) return record(outcomes, troubled, io);

  if (!removeLeftovers(outcomes, settings.out, io)) troubled = true;
  annotateFailures(inputs.subjects, *variants, numbers, settings, outcomes);
  if (shard) {
    const ShardRecord share{drawingStack(),  *shard,  images,  variants->size(),
                            inputs.problems, numbers, outcomes};
    const std::string failed =
        replaceFileWithin(settings.out, kShardRecordFile, shardRecordJson(share));
    if (!failed.empty()) {
      io.err << "dunvel-preview: " << oneLine(failed) << '\n';
      troubled = true;
    }
  }
  return finish(outcomes, inputs.problems, drawingStack(), settings.out, troubled, io);
}

void addVerifyCommand(CLI::App& app, PreviewIo& io) {
  CLI::App* verify = app.add_subcommand(
      "verify",
      "Draw each snapshot and compare it with its reference image, for a host app's CI:\n"
      "DIR/NAME@CASE-TEXTSIZE.png (e.g. question@45mm-xLarge.png), NAME being the file's\n"
      "name without .json (a file found in a subfolder keeps its path: sub/question@…).\n"
      "A recording (.jsonl, dunvel-watch --record) is compared frame by frame, as film\n"
      "draws it: NAME-frame-000003 is its third frame. Prints a line for each image that\n"
      "is not equal, then 'verify: N images, N equal, N differ, N missing', with\n"
      "', N unreadable' for references that cannot be read and '; N inputs cannot be\n"
      "read' for inputs.");
  verify->footer(
      "Without --now every snapshot is shown at 2025-01-01 09:41 UTC, and the time band\n"
      "always tells UTC, so the images are the same on any day, in any time zone and locale.\n"
      "What a failure leaves in --out: NAME@CASE-TEXTSIZE.actual.png (drawn now),\n"
      ".diff.png (differing pixels in magenta over the reference, dimmed) and .reference.png\n"
      "(its pixels, copied); the image drawn for a missing reference; and always report.html (the\n"
      "failures side by side, with what explain finds in each snapshot) and junit.xml.\n"
      "On a terminal, standard error shows the images done of all and the time left.\n"
      "Exit status: 0 every image equals its reference (--record: written); 1 an image\n"
      "differs or has no reference, an input cannot be read or a file written; 2 bad usage.");
  auto options = std::make_shared<VerifyOptions>();
  verify->add_option("FILE|DIR", options->paths,
                     "Snapshots (.json) and recordings (.jsonl), or folders searched for them; "
                     "required unless --merge");
  verify->add_option("--references", options->references,
                     "The folder of the reference images; required unless --merge");
  verify
      ->add_option(
          "--size", options->sizes,
          "A case to draw each snapshot on: " + faceSizeNames("all") + "; repeatable; default 45mm")
      ->check(FaceSizeName(true))
      ->allow_extra_args(false);
  verify->add_option("--text-size", options->textSizes, textSizeHelp("; or all; repeatable"))
      ->check(TextSizeName() | CLI::IsMember({"all"}))
      ->allow_extra_args(false);
  verify
      ->add_option("--now", options->now,
                   "The current date-time in seconds since 1970 for snapshot files (recordings "
                   "carry their own); default 1735724460, 2025-01-01 09:41 UTC")
      ->check(FiniteNumber());
  verify->add_flag("--reachable", options->reachable,
                   "The host app is reachable, for snapshot files (recordings carry their own)");
  verify
      ->add_option("--tolerance", options->tolerance,
                   "The largest difference in a channel (0 to 255) a pixel may show and still "
                   "count as equal")
      ->check(CLI::Range(0, 255))
      ->capture_default_str();
  verify
      ->add_option("--max-pixels", options->maxPixels,
                   "How many pixels may differ beyond the tolerance in an equal image")
      ->check(CLI::Range(std::int64_t{0}, std::numeric_limits<std::int64_t>::max()))
      ->capture_default_str();
  verify
      ->add_option("--record", options->record,
                   "Write the references that are missing instead of comparing (all: every "
                   "reference)")
      ->expected(0, 1)
      ->default_str("missing")
      ->check(CLI::IsMember({"missing", "all"}));
  verify->add_option("--out", options->out, "The folder for what a failure leaves, and the reports")
      ->capture_default_str();
  verify
      ->add_option("--jobs", options->jobs,
                   "How many images to draw at once, 1 to 256; default the number of cores")
      ->check(CLI::Range(1, 256));
  verify
      ->add_option("--max-frames", options->maxFrames,
                   "Draw at most this many frames of each recording, 1 to 10000000; the "
                   "snapshots after them are counted and left out")
      ->check(CLI::Range(std::size_t{1}, std::size_t{10'000'000}))
      ->capture_default_str();
  verify->add_option("--shard", options->shard,
                     "K/N: check only the K-th of N shares of the images (1 <= K <= N), dealt "
                     "out image by image, the same on every machine; --out then also holds "
                     "shard.json for --merge");
  verify
      ->add_option("--merge", options->merge,
                   "The --out folders of the N shares of one run: join them into one "
                   "report.html and junit.xml in --out, with the summary and exit status of "
                   "one run over every image")
      ->allow_extra_args(true);
  verify->callback([options, &io] { io.exitCode = runVerifyCommand(*options, io); });
}

}  // namespace dunvel
