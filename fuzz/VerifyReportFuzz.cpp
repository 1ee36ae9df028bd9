// Arbitrary names, findings and problems → junit.xml and report.html, as verify writes them.
// junit.xml must parse (expat, the parser Python's reporters use) and give back each test
// case's class and name as the report's text for them; in report.html every text is escaped,
// so the page holds exactly the tags verify writes. A broken invariant aborts so the fuzzer
// keeps the input.
//
// Input: fields separated by NUL bytes, the first byte of each saying what it is: a subject, a
// finding, an audit line, a problem, or a variant.
#include <expat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "preview/JunitReport.h"
#include "preview/MarkupText.h"
#include "preview/VerifyReport.h"

namespace {

using namespace dunvel;

void require(bool condition) {
  if (!condition) std::abort();
}

struct Cases {
  std::vector<std::string> classes;
  std::vector<std::string> names;
};

void startElement(void* data, const XML_Char* element, const XML_Char** attributes) {
  if (std::string_view(element) != "testcase") return;
  auto* cases = static_cast<Cases*>(data);
  for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
    if (std::string_view(a[0]) == "classname") cases->classes.emplace_back(a[1]);
    if (std::string_view(a[0]) == "name") cases->names.emplace_back(a[1]);
  }
}

// How many times the page opens a tag: a text that was not escaped would add to it.
std::size_t tags(const std::string& html) {
  std::size_t count = 0;
  for (const char c : html) count += c == '<' ? 1 : 0;
  return count;
}

// Whether the report sets a finding's pointer apart: it has ": " after its quoted pointer, or
// after its start.
bool hasPointer(const std::string& line) {
  std::size_t from = 0;
  if (!line.empty() && line.front() == '"') {
    for (from = 1; from < line.size() && line[from] != '"'; ++from) {
      if (line[from] == '\\') ++from;
    }
  }
  return line.find(": ", std::min(from, line.size())) != std::string::npos;
}

// The outcomes with every text replaced by one of the same shape that needs no escaping.
std::vector<ImageOutcome> plain(std::vector<ImageOutcome> outcomes) {
  for (ImageOutcome& outcome : outcomes) {
    outcome.subject = "s";
    outcome.variant = "v";
    outcome.reference = "r";
    outcome.note = "n";
    for (std::string& line : outcome.findings) line = hasPointer(line) ? "p: f" : "f";
    for (std::string& line : outcome.audit) line = hasPointer(line) ? "p: a" : "a";
  }
  return outcomes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<ImageOutcome> outcomes;
  std::vector<std::string> problems;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  ImageOutcome current;
  current.subject = "first";
  current.variant = "45mm-xLarge";
  current.status = ImageOutcome::Status::differs;
  std::size_t from = 0;
  while (from < input.size() && outcomes.size() < 64) {
    std::size_t end = input.find('\0', from);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view field = input.substr(from, end - from);
    from = end + 1;
    if (field.empty()) continue;
    const std::string text(field.substr(1));
    switch (static_cast<unsigned char>(field[0]) % 6) {
      case 0:
        outcomes.push_back(current);
        current = ImageOutcome{};
        current.subject = text;
        current.variant = "45mm-xLarge";
        current.status = static_cast<ImageOutcome::Status>(text.size() % 4);
        current.sizesDiffer = text.size() % 3 == 0;
        current.differingPixels = static_cast<std::int64_t>(text.size());
        current.actualFile = text + ".actual.png";
        current.diffFile = text + ".diff.png";
        break;
      case 1:
        current.findings.push_back(text);
        break;
      case 2:
        current.audit.push_back(text);
        break;
      case 3:
        problems.push_back(text);
        break;
      case 4:
        current.variant = text;
        break;
      case 5:
        current.note = text;
        current.reference = text;
        break;
    }
  }
  outcomes.push_back(current);

  const std::string xml = verifyJunitXml(outcomes, problems);
  Cases cases;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &cases);
  XML_SetStartElementHandler(parser, startElement);
  const XML_Status parsed = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE);
  XML_ParserFree(parser);
  require(parsed == XML_STATUS_OK);
  // A case for each image and each problem, each read back as the text verify meant: what
  // markupText keeps of it, with its references resolved.
  require(cases.classes.size() == outcomes.size() + problems.size());
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const std::string kept = markupText(outcomes[i].subject, MarkupPlace::attribute);
    Cases again;
    const std::string wrapped = "<x classname=\"" + kept + "\"/>";
    XML_Parser one = XML_ParserCreate("UTF-8");
    XML_SetUserData(one, &again);
    XML_SetStartElementHandler(one, [](void* data, const XML_Char*, const XML_Char** a) {
      static_cast<Cases*>(data)->classes.emplace_back(a[1]);
    });
    require(XML_Parse(one, wrapped.data(), static_cast<int>(wrapped.size()), XML_TRUE) ==
            XML_STATUS_OK);
    XML_ParserFree(one);
    require(again.classes.size() == 1 && again.classes[0] == cases.classes[i]);
  }

  // The page opens exactly the tags it opens for texts that need no escaping.
  const std::string html = verifyReportHtml(outcomes, problems);
  require(tags(html) ==
          tags(verifyReportHtml(plain(outcomes), std::vector<std::string>(problems.size(), "p"))));
  return 0;
}
