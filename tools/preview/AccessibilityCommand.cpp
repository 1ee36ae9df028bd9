#include "preview/AccessibilityCommand.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "a11y/AccessibilityAudit.h"
#include "a11y/AccessibilityTree.h"
#include "app/ScreenPreview.h"
#include "render/FaceRenderer.h"
#include "state/OneLine.h"

namespace dunvel {
namespace {

using Json = nlohmann::ordered_json;

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string frameText(const Rect& f) {
  return "(" + number(f.x) + ", " + number(f.y) + ", " + number(f.width) + " x " +
         number(f.height) + ")";
}

double rounded(double value) {
  return std::round(value * 100) / 100;
}

std::string dump(const Json& json) {
  // Texts from a JSON file are well-formed UTF-8; `replace` guards the writer all the same.
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

int runAccessibilityCommand(const AccessibilityOptions& options, PreviewIo& io) {
  int exitCode = kExitSuccess;
  const std::optional<FaceSnapshot> snapshot = readFaceSnapshot(options.snapshot, io, exitCode);
  if (!snapshot) return exitCode;
  const ScreenPreview preview(snapshot->state, hostReach(snapshot->reachable), snapshot->now);
  FaceRenderer renderer(parseFaceSize(options.size).value_or(FaceSize::mm45));
  setUpFace(renderer, options.textSize, snapshot->now);
  const FaceLayout& layout = renderer.layout(preview.tree());
  const AccessibilityReading reading =
      readAccessibility(layout, renderer.time(), kMostElementsListed);
  const std::vector<AccessibilityElement>& elements = reading.elements;
  // Past the elements listed: a line of text, or for JSON, whose array holds the elements
  // alone, a line on standard error.
  const auto tellLeftOut = [&](const char* what) {
    if (reading.leftOut == 0) return;
    const std::string line = "and " + std::to_string(reading.leftOut) + " more elements, not " +
                             what + " (the first " + std::to_string(kMostElementsListed) +
                             " in reading order are)";
    if (options.json) {
      io.err << "dunvel-preview: " << oneLine(options.snapshot.path) << ": " << line << '\n';
    } else {
      io.out << line << '\n';
    }
  };

  if (options.audit) {
    const std::vector<AuditFinding> findings = auditAccessibility(elements, layout);
    if (options.json) {
      Json list = Json::array();
      for (const AuditFinding& finding : findings) {
        list.push_back(Json{
            {"rule", finding.rule}, {"element", finding.element}, {"message", finding.message}});
      }
      io.out << dump(list) << '\n';
    } else {
      for (const AuditFinding& finding : findings) {
        const AccessibilityElement& element = elements.at(finding.element - 1);
        io.out << finding.element << ' ' << finding.rule << ": " << roleName(element.role) << ' '
               << quotedLine(element.label) << ": " << oneLine(finding.message) << '\n';
      }
    }
    tellLeftOut("audited");
    return findings.empty() ? kExitSuccess : kExitBadInput;
  }

  if (options.json) {
    Json list = Json::array();
    for (const AccessibilityElement& element : elements) {
      const Rect& f = element.frame;
      list.push_back(
          Json{{"role", roleName(element.role)},
               {"label", element.label},
               {"traits", element.traits},
               {"frame", {rounded(f.x), rounded(f.y), rounded(f.width), rounded(f.height)}},
               {"showing", element.showing}});
    }
    io.out << dump(list) << '\n';
    tellLeftOut("listed");
    return kExitSuccess;
  }
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const AccessibilityElement& element = elements[i];
    std::string traits;
    for (const std::string& trait : element.traits) traits += (traits.empty() ? "" : ",") + trait;
    io.out << i + 1 << ' ' << roleName(element.role) << ' ' << quotedLine(element.label) << " ["
           << traits << "] " << frameText(element.frame) << (element.showing ? "" : " out of sight")
           << '\n';
  }
  tellLeftOut("listed");
  return kExitSuccess;
}

void addAccessibilityCommand(CLI::App& app, PreviewIo& io) {
  CLI::App* a11y = app.add_subcommand(
      "a11y",
      "Print what a screen reader reads of the face the companion shows for the snapshot, in\n"
      "reading order (the time first, then top to bottom, right to left): one element a line,\n"
      "its number, role (text, button, image), label, traits and frame in points. Buttons are\n"
      "read with the texts of their label joined by \", \"; shapes are not read. With --audit,\n"
      "what a reviewer would flag instead: contrast below 4.5:1, a control smaller than 44 by\n"
      "44 points, a text cut at this case and text size, a shape that speaks by colour alone;\n"
      "exit status 1 when anything is flagged.");
  auto options = std::make_shared<AccessibilityOptions>();
  addFaceSnapshotOptions(*a11y, options->snapshot);
  addFaceSizeOption(*a11y, options->size);
  addTextSizeOption(*a11y, options->textSize);
  a11y->add_flag("--json", options->json,
                 "A JSON array: {\"role\", \"label\", \"traits\", \"frame\": [x, y, width, "
                 "height], \"showing\"} in reading order; with --audit, {\"rule\", \"element\", "
                 "\"message\"}");
  a11y->add_flag("--audit", options->audit, "List what a reviewer would flag (exit 1 if any)");
  a11y->callback([options, &io] { io.exitCode = runAccessibilityCommand(*options, io); });
}

}  // namespace dunvel
