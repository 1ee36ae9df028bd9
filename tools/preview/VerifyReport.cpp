#include "preview/VerifyReport.h"

#include "preview/MarkupText.h"
#include "preview/VerifyCounts.h"

namespace dunvel {
namespace {

constexpr const char* kStyle = R"(
body { font-family: sans-serif; background: #1c1c1e; color: #e5e5ea; margin: 24px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 17px; margin: 0 0 10px; overflow-wrap: anywhere; }
.summary { color: #aeaeb2; margin: 0 0 24px; }
.failure { background: #2c2c2e; border-radius: 10px; padding: 16px; margin: 0 0 20px; }
.verdict { color: #ff6482; font-weight: normal; }
.note { color: #aeaeb2; overflow-wrap: anywhere; }
.row { display: flex; flex-wrap: wrap; gap: 16px; align-items: flex-start; }
figure { margin: 0; }
figure img { display: block; width: 198px; height: auto; background: #000;
             border: 1px solid #48484a; image-rendering: pixelated; }
figcaption { font-size: 13px; color: #aeaeb2; margin-top: 4px; }
.findings { flex: 1 1 260px; min-width: 260px; font-size: 13px; }
.findings h3 { font-size: 14px; margin: 0 0 6px; }
.findings ul { margin: 0; padding-left: 18px; }
.findings li { margin-bottom: 4px; overflow-wrap: anywhere; }
.findings code, .problems code { color: #ffd60a; }
.passed { columns: 3 260px; font-size: 13px; color: #aeaeb2; }
.problems li { overflow-wrap: anywhere; }
)";

std::string figure(const std::string& file, const std::string& caption) {
  return "<figure><a href=\"" + markupText(urlPath(file), MarkupPlace::attribute) +
         "\"><img src=\"" + markupText(urlPath(file), MarkupPlace::attribute) + "\" alt=\"" +
         markupText(caption, MarkupPlace::attribute) + "\"></a><figcaption>" + markupText(caption) +
         "</figcaption></figure>\n";
}

// "POINTER: KIND: message", the pointer set apart; a quoted pointer ends at its closing quote.
std::string finding(const std::string& line) {
  std::size_t from = 0;
  if (!line.empty() && line.front() == '"') {
    for (from = 1; from < line.size() && line[from] != '"'; ++from) {
      if (line[from] == '\\') ++from;
    }
  }
  const std::size_t colon = line.find(": ", from);
  if (colon == std::string::npos) return "<li>" + markupText(line) + "</li>\n";
  return "<li><code>" + markupText(line.substr(0, colon)) + "</code>" +
         markupText(line.substr(colon)) + "</li>\n";
}

std::string failureSection(const ImageOutcome& outcome) {
  std::string html = "<section class=\"failure\">\n<h2>" + markupText(outcome.imageName()) +
                     " <span class=\"verdict\">" + markupText(outcome.verdict()) + "</span></h2>\n";
  if (outcome.status == ImageOutcome::Status::missing) {
    html += "<p class=\"note\">No reference at <code>" + markupText(outcome.reference) +
            "</code>: once the image drawn is right, verify --record writes it.</p>\n";
  }
  html += "<div class=\"row\">\n";
  if (!outcome.referenceFile.empty()) html += figure(outcome.referenceFile, "reference");
  if (!outcome.actualFile.empty()) html += figure(outcome.actualFile, "drawn now");
  if (!outcome.diffFile.empty()) html += figure(outcome.diffFile, "diff (magenta: differs)");
  html += "<aside class=\"findings\"><h3>What explain finds in the snapshot</h3>\n";
  if (!outcome.findingsListedWith.empty()) {
    html += "<p>Listed with " + markupText(outcome.findingsListedWith) + ".</p>\n";
  } else if (outcome.findings.empty()) {
    html += "<p>Nothing: every field is read as sent.</p>\n";
  } else {
    html += "<ul>\n";
    for (const std::string& line : outcome.findings) html += finding(line);
    html += "</ul>\n";
  }
  html += "</aside>\n";
  html += "<aside class=\"findings\"><h3>What the accessibility audit flags</h3>\n";
  if (outcome.audit.empty()) {
    html += "<p>Nothing: contrast, hit areas, texts and colours pass.</p>\n";
  } else {
    html += "<ul>\n";
    for (const std::string& line : outcome.audit) html += finding(line);
    html += "</ul>\n";
  }
  html += "</aside>\n</div>\n</section>\n";
  return html;
}

}  // namespace

std::string verifyReportHtml(const std::vector<ImageOutcome>& outcomes,
                             const std::vector<std::string>& problems,
                             const std::string& stackNote) {
  const VerifyCounts counts = VerifyCounts::of(outcomes);
  const bool passed = counts.differ == 0 && counts.missing == 0 && problems.empty();
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta "
      "charset=\"utf-8\">\n<title>dunvel-preview "
      "verify: " +
      std::string(passed ? "all equal" : "failed") + "</title>\n<style>" + kStyle +
      "</style>\n</head>\n<body>\n<h1>dunvel-preview verify: " + (passed ? "all equal" : "failed") +
      "</h1>\n<p class=\"summary\">" + markupText(counts.line()) + "</p>\n";
  if (!stackNote.empty()) html += "<p class=\"note\">" + markupText(stackNote) + "</p>\n";
  for (const ImageOutcome& outcome : outcomes) {
    if (outcome.failed()) html += failureSection(outcome);
  }
  if (!problems.empty()) {
    html += "<h2>Inputs that could not be read</h2>\n<ul class=\"problems\">\n";
    for (const std::string& problem : problems) html += "<li>" + markupText(problem) + "</li>\n";
    html += "</ul>\n";
  }
  html += "<h2>Equal (" + std::to_string(counts.equal) + ")</h2>\n<ul class=\"passed\">\n";
  for (const ImageOutcome& outcome : outcomes) {
    if (outcome.status == ImageOutcome::Status::equal)
      html += "<li>" + markupText(outcome.imageName()) + "</li>\n";
  }
  html += "</ul>\n</body>\n</html>\n";
  return html;
}

}  // namespace dunvel
