#include "preview/VerifyShard.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

#include "files/ReadFile.h"
#include "state/OneLine.h"

namespace dunvel {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxShards = 10000;
// A record lists every image of its share with its findings and audit (50 lines each at most):
// far below this for any run a CI machine finishes.
constexpr std::size_t kMaxRecordBytes = 256u << 20;

// The statuses a verify run (not a recording run) leaves, by the names the record gives them.
constexpr std::array<std::pair<ImageOutcome::Status, const char*>, 4> kStatusNames = {{
    {ImageOutcome::Status::equal, "equal"},
    {ImageOutcome::Status::differs, "differs"},
    {ImageOutcome::Status::missing, "missing"},
    {ImageOutcome::Status::unreadable, "unreadable"},
}};

const char* statusName(ImageOutcome::Status status) {
  for (const auto& [value, name] : kStatusNames) {
    if (value == status) return name;
  }
  return "equal";
}

std::optional<std::size_t> parseCount(std::string_view text) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// A file the record names beside the report: empty, or the image's name with its suffix.
bool namesItsOwnFile(const std::string& file, const ImageOutcome& outcome, const char* suffix) {
  return file.empty() || file == outcome.imageName() + suffix;
}

// A snapshot's name as verify gives it: a path below the folder searched, never leaving it.
bool isPlainRelative(const std::string& name) {
  if (name.empty() || name.front() == '/') return false;
  const std::filesystem::path path(name);
  return std::none_of(path.begin(), path.end(), [](const std::filesystem::path& part) {
    return part == ".." || part == ".";
  });
}

std::vector<std::string> lines(const Json& value) {
  std::vector<std::string> result;
  for (const Json& line : value) result.push_back(line.get<std::string>());
  return result;
}

// One outcome of a record, checked; throws Json's exceptions for a value of the wrong kind, and
// std::invalid_argument for one that is of the right kind but wrong.
ImageOutcome outcomeOf(const Json& item) {
  ImageOutcome outcome;
  outcome.subject = item.at("subject").get<std::string>();
  outcome.variant = item.at("variant").get<std::string>();
  const std::string status = item.at("status").get<std::string>();
  const auto named = std::find_if(kStatusNames.begin(), kStatusNames.end(),
                                  [&status](const auto& entry) { return status == entry.second; });
  if (named == kStatusNames.end()) throw std::invalid_argument("an unknown status " + status);
  outcome.status = named->first;
  outcome.differingPixels = item.at("differingPixels").get<std::int64_t>();
  outcome.sizesDiffer = item.at("sizesDiffer").get<bool>();
  outcome.note = item.at("note").get<std::string>();
  outcome.reference = item.at("reference").get<std::string>();
  outcome.referenceStack = item.at("referenceStack").get<std::string>();
  outcome.actualFile = item.at("actualFile").get<std::string>();
  outcome.diffFile = item.at("diffFile").get<std::string>();
  outcome.referenceFile = item.at("referenceFile").get<std::string>();
  outcome.findings = lines(item.at("findings"));
  outcome.findingsListedWith = item.at("findingsListedWith").get<std::string>();
  outcome.audit = lines(item.at("audit"));
  if (!isPlainRelative(outcome.subject) || outcome.variant.find('/') != std::string::npos) {
    throw std::invalid_argument("an image name that leaves its folder: " + outcome.imageName());
  }
  if (!namesItsOwnFile(outcome.actualFile, outcome, ".actual.png") ||
      !namesItsOwnFile(outcome.diffFile, outcome, ".diff.png") ||
      !namesItsOwnFile(outcome.referenceFile, outcome, ".reference.png")) {
    throw std::invalid_argument("a file that is not its image's own, beside " +
                                outcome.imageName());
  }
  return outcome;
}

}  // namespace

std::string VerifyShard::name() const {
  return std::to_string(index) + "/" + std::to_string(count);
}

std::optional<VerifyShard> parseVerifyShard(const std::string& text, std::string& problem) {
  const std::size_t slash = text.find('/');
  const std::optional<std::size_t> index =
      slash == std::string::npos ? std::nullopt
                                 : parseCount(std::string_view(text).substr(0, slash));
  const std::optional<std::size_t> count =
      slash == std::string::npos ? std::nullopt
                                 : parseCount(std::string_view(text).substr(slash + 1));
  if (!index || !count || *index < 1 || *index > *count || *count > kMaxShards) {
    problem = "--shard: " + oneLine(text) + " is not K/N, the K-th of N shares (1 ≤ K ≤ N ≤ " +
              std::to_string(kMaxShards) + ")";
    return std::nullopt;
  }
  return VerifyShard{*index, *count};
}

std::string shardRecordJson(const ShardRecord& record) {
  Json outcomes = Json::array();
  for (std::size_t i = 0; i < record.outcomes.size(); ++i) {
    const ImageOutcome& o = record.outcomes[i];
    outcomes.push_back({{"number", record.numbers[i]},
                        {"subject", o.subject},
                        {"variant", o.variant},
                        {"status", statusName(o.status)},
                        {"differingPixels", o.differingPixels},
                        {"sizesDiffer", o.sizesDiffer},
                        {"note", o.note},
                        {"reference", o.reference},
                        {"referenceStack", o.referenceStack},
                        {"actualFile", o.actualFile},
                        {"diffFile", o.diffFile},
                        {"referenceFile", o.referenceFile},
                        {"findings", o.findings},
                        {"findingsListedWith", o.findingsListedWith},
                        {"audit", o.audit}});
  }
  const Json json = {{"stack", record.stack},          {"shard", record.shard.index},
                     {"of", record.shard.count},       {"images", record.images},
                     {"variants", record.variants},    {"problems", record.problems},
                     {"outcomes", std::move(outcomes)}};
  // Names and findings come from snapshots as they are: bytes that are not UTF-8 are replaced,
  // never a reason to fail the run.
  return json.dump(1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<ShardRecord> readShardRecord(const std::filesystem::path& folder,
                                           std::string& problem) {
  const std::filesystem::path path = folder / kShardRecordFile;
  const std::string where = oneLine(path.generic_string());
  const FileBytes bytes = readRegularFile(path, kMaxRecordBytes);
  if (!bytes.bytes) {
    problem = where + ": " + bytes.problem +
              (bytes.kind == FileProblem::cannotRead
                   ? " (each folder must be the --out of a verify run with --shard K/N)"
                   : "");
    return std::nullopt;
  }
  try {
    const Json json = Json::parse(*bytes.bytes);
    ShardRecord record;
    record.stack = json.at("stack").get<std::string>();
    record.shard.index = json.at("shard").get<std::size_t>();
    record.shard.count = json.at("of").get<std::size_t>();
    record.images = json.at("images").get<std::size_t>();
    record.variants = json.at("variants").get<std::size_t>();
    record.problems = lines(json.at("problems"));
    if (record.shard.index < 1 || record.shard.index > record.shard.count ||
        record.shard.count > kMaxShards || record.variants < 1) {
      throw std::invalid_argument("not a share K/N of a run");
    }
    for (const Json& item : json.at("outcomes")) {
      const std::size_t number = item.at("number").get<std::size_t>();
      if (number >= record.images || !record.shard.holds(number)) {
        throw std::invalid_argument("image " + std::to_string(number) + " is not in share " +
                                    record.shard.name() + " of " + std::to_string(record.images));
      }
      record.numbers.push_back(number);
      record.outcomes.push_back(outcomeOf(item));
    }
    return record;
  } catch (const std::exception& e) {
    problem = where + ": not a record of a verify share: " + oneLine(e.what());
    return std::nullopt;
  }
}

std::optional<MergedRun> mergeShardRecords(const std::vector<ShardRecord>& records,
                                           const std::vector<std::filesystem::path>& folders,
                                           std::string& problem) {
  if (records.empty()) {
    problem = "no share to merge";
    return std::nullopt;
  }
  const ShardRecord& first = records.front();
  std::vector<const ShardRecord*> byIndex(first.shard.count, nullptr);
  std::vector<std::filesystem::path> folderOf(first.shard.count);
  for (std::size_t r = 0; r < records.size(); ++r) {
    const ShardRecord& record = records[r];
    const std::string where = oneLine(folders[r].generic_string());
    if (record.shard.count != first.shard.count || record.images != first.images ||
        record.variants != first.variants) {
      problem = where + ": share " + record.shard.name() + " of " + std::to_string(record.images) +
                " images is not of the same run as share " + first.shard.name() + " of " +
                std::to_string(first.images);
      return std::nullopt;
    }
    const ShardRecord*& slot = byIndex[record.shard.index - 1];
    if (slot != nullptr) {
      problem = where + ": share " + record.shard.name() + " is given twice";
      return std::nullopt;
    }
    slot = &record;
    folderOf[record.shard.index - 1] = folders[r];
  }
  for (std::size_t k = 0; k < byIndex.size(); ++k) {
    if (byIndex[k] == nullptr) {
      problem = "share " + VerifyShard{k + 1, first.shard.count}.name() + " is missing";
      return std::nullopt;
    }
  }

  MergedRun merged;
  merged.variants = first.variants;
  merged.stack = first.stack;
  // Which record holds each image, and where in it.
  std::vector<std::pair<std::size_t, std::size_t>> at(first.images, {byIndex.size(), 0});
  for (std::size_t k = 0; k < byIndex.size(); ++k) {
    const ShardRecord& record = *byIndex[k];
    for (std::size_t i = 0; i < record.numbers.size(); ++i) {
      if (at[record.numbers[i]].first != byIndex.size()) {
        problem = oneLine(folderOf[k].generic_string()) + ": image " +
                  std::to_string(record.numbers[i]) + " is listed twice";
        return std::nullopt;
      }
      at[record.numbers[i]] = {k, i};
    }
    for (const std::string& line : record.problems) {
      if (std::find(merged.problems.begin(), merged.problems.end(), line) == merged.problems.end())
        merged.problems.push_back(line);
    }
  }
  for (std::size_t number = 0; number < at.size(); ++number) {
    const auto [k, i] = at[number];
    if (k == byIndex.size()) {
      problem = "share " + VerifyShard{number % first.shard.count + 1, first.shard.count}.name() +
                " lacks image " + std::to_string(number);
      return std::nullopt;
    }
    merged.numbers.push_back(number);
    merged.outcomes.push_back(byIndex[k]->outcomes[i]);
    merged.folders.push_back(folderOf[k]);
  }
  listFindingsOnce(merged.outcomes, merged.numbers, merged.variants);
  return merged;
}

void listFindingsOnce(std::vector<ImageOutcome>& outcomes, const std::vector<std::size_t>& numbers,
                      std::size_t variants) {
  const ImageOutcome* firstFailed = nullptr;
  std::size_t subject = 0;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    ImageOutcome& outcome = outcomes[i];
    if (firstFailed == nullptr || numbers[i] / variants != subject) {
      subject = numbers[i] / variants;
      firstFailed = nullptr;
    }
    if (!outcome.failed()) continue;
    if (firstFailed == nullptr) {
      firstFailed = &outcome;
      outcome.findingsListedWith.clear();
      continue;
    }
    outcome.findings.clear();
    outcome.findingsListedWith = firstFailed->findings.empty() ? "" : firstFailed->imageName();
  }
}

}  // namespace dunvel
