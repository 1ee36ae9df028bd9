#include "preview/JunitReport.h"

#include "preview/MarkupText.h"

namespace dunvel {

std::string verifyJunitXml(const std::vector<ImageOutcome>& outcomes,
                           const std::vector<std::string>& problems) {
  std::size_t failures = 0;
  for (const ImageOutcome& outcome : outcomes) failures += outcome.failed() ? 1 : 0;
  const std::string counts = " tests=\"" + std::to_string(outcomes.size() + problems.size()) +
                             "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
                             std::to_string(problems.size()) + "\"";
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<testsuites name=\"dunvel-preview verify\"" +
      counts + ">\n<testsuite name=\"dunvel-preview verify\"" + counts + " skipped=\"0\">\n";
  for (const ImageOutcome& outcome : outcomes) {
    xml += "<testcase classname=\"" + markupText(outcome.subject, MarkupPlace::attribute) +
           "\" name=\"" + markupText(outcome.variant, MarkupPlace::attribute) + "\"";
    if (!outcome.failed()) {
      xml += "/>\n";
      continue;
    }
    const bool missing = outcome.status == ImageOutcome::Status::missing;
    std::string message = outcome.imageName() + " " + outcome.verdict();
    if (missing) message += ": " + outcome.reference;
    std::string detail = "reference: " + outcome.reference;
    if (!outcome.actualFile.empty()) detail += "\ndrawn now: " + outcome.actualFile;
    if (!outcome.diffFile.empty()) detail += "\ndiff: " + outcome.diffFile;
    for (const std::string& finding : outcome.findings) detail += "\nexplain: " + finding;
    if (!outcome.findingsListedWith.empty()) {
      detail += "\nexplain: listed with " + outcome.findingsListedWith;
    }
    const char* kind = missing                                              ? "missing"
                       : outcome.status == ImageOutcome::Status::unreadable ? "unreadable"
                                                                            : "differs";
    xml += ">\n<failure type=\"" + std::string(kind) + "\" message=\"" +
           markupText(message, MarkupPlace::attribute) + "\">" + markupText(detail) +
           "</failure>\n</testcase>\n";
  }
  for (const std::string& problem : problems) {
    xml += "<testcase classname=\"input\" name=\"read\">\n<error type=\"unreadable\" message=\"" +
           markupText(problem, MarkupPlace::attribute) + "\"/>\n</testcase>\n";
  }
  xml += "</testsuite>\n</testsuites>\n";
  return xml;
}

}  // namespace dunvel
